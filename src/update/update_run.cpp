#include "update/update_run.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <system_error>
#include <utility>

#include "update/console_reader.h"
#include "update/standard_streams.h"

// Passes the reader's reports on to the program's sink; a line the sink showed goes to the record,
// or, until the record starts, to the kept early lines (the newest only). Once cut off, it passes
// nothing on: the run no longer waits for its reader, and the program's sink may be gone.
class UpdateRun::RecordingConsole final : public ConsoleSink {
  public:
    explicit RecordingConsole(ConsoleSink& shown) : shown_(shown) {}

    bool ShowLine(std::string_view line) override {
        if (cut_.load() || !shown_.ShowLine(line)) return false;
        // The record keeps the device's text; its console file ends each line with LF.
        if (line.ends_with("\r\n")) line.remove_suffix(2);
        std::lock_guard lock(mutex_);
        if (record_) {
            record_->ConsoleLine(line);
        } else {
            early_.emplace_back(line);
            if (early_.size() > kKeptEarlyLines) early_.pop_front();
        }
        return true;
    }
    void DataRequested() override {
        if (!cut_.load()) shown_.DataRequested();
    }
    void RunEnded() override {
        if (!cut_.load()) shown_.RunEnded();
    }
    void CutOff() { cut_.store(true); }

    // Owning thread, once the record has started: the kept lines go first, in their order.
    void StartRecording(UpdateRecord& record) {
        std::lock_guard lock(mutex_);
        for (const std::string& line : early_) record.ConsoleLine(line);
        early_.clear();
        record_ = &record;
    }

  private:
    ConsoleSink& shown_;
    std::atomic<bool> cut_{false};
    std::mutex mutex_;  // the reader's lines against the owning thread's start of the record
    UpdateRecord* record_ = nullptr;
    std::deque<std::string> early_;
};

// The program's upload sink as the run sees it: a file problem is noted before the program is told
// of it, and the request counts as answered once the transfer has its display. A stop of the run is
// taken as a Cancel press of that display: the transfer then ends after the block on the wire. The
// device's own end keywords stop no transfer.
class UpdateRun::AnsweringSink final : public UploadSink, private TransferProgress {
  public:
    AnsweringSink(UploadSink& sink, UpdateRun& run) : sink_(sink), run_(run) {}

    void ReportFileProblem(DataFileStatus status, const std::string& path, int error) override {
        // The program may report it in a box, inside whose event loop the device's end is taken
        // and its outcome shown: that outcome must already know that nothing went out.
        run_.lastFileProblem_ = status;
        sink_.ReportFileProblem(status, path, error);
    }
    TransferProgress* BeginTransfer(std::uint64_t totalBytes) override {
        shown_ = sink_.BeginTransfer(totalBytes);
        if (!shown_) return nullptr;
        run_.lastRequestUnanswered_ = false;
        run_.transferring_ = true;
        return this;
    }
    void ReportWriteHeld(const OutputHold& hold) override { sink_.ReportWriteHeld(hold); }
    void EndTransfer(const TransferResult& result) override {
        run_.transferring_ = false;
        sink_.EndTransfer(result);
    }

  private:
    void SetBarRange(int lower, int upper) override { shown_->SetBarRange(lower, upper); }
    void SetBarStep(int step) override { shown_->SetBarStep(step); }
    void StepBar() override { shown_->StepBar(); }
    bool CancelRequested() override { return shown_->CancelRequested() || run_.stopRequested_; }

    UploadSink& sink_;
    UpdateRun& run_;
    TransferProgress* shown_ = nullptr;
};

fw::WorkerThread RunSettings::StartReader(std::function<unsigned()> proc) {
    return fw::WorkerThread("console-reader", std::move(proc));
}

UpdateRun::UpdateRun(RunSettings settings, PortWaiter* waiter)
    : settings_(std::move(settings)), waiter_(waiter), shared_(std::make_shared<Shared>()) {}

UpdateRun::~UpdateRun() {
    Close();
}

OpenResult UpdateRun::Open(const PortMapping& port, const std::string& dataFilePath,
                           ConsoleSink& console) {
    dataFilePath_ = dataFilePath;
    mapping_ = port;
    auto opened = std::make_shared<CCommPort>();
    opened->BaudRate = UPDATE_BAUD;
    opened->SetWaiter(waiter_);
    if (!opened->OpenPort(port)) return {OpenEnd::kPortUnusable, opened->DescribeOpenFailure()};
    Shared& shared = *shared_;
    shared.port = std::move(opened);
    ownsPort_ = true;
    portOpen_ = true;
    shared.console = std::make_unique<RecordingConsole>(console);

    // Every run that opened the port is recorded: the record starts before the first line.
    if (std::optional<std::string> refused = StartRecord()) {
        // A system without a thread to spare is in no state for an update: none begins.
        return EndAtOpen(OpenEnd::kRecordFailed, EndCause::kRecordFailed, port.devicePath,
                         "cannot start the update record's helper thread", std::move(*refused));
    }
    return StartConsoleReader();
}

OpenResult UpdateRun::Attach(std::shared_ptr<CCommPort> port, const PortMapping& mapping,
                             const std::string& dataFilePath, ConsoleSink& console) {
    dataFilePath_ = dataFilePath;
    mapping_ = mapping;
    Shared& shared = *shared_;
    shared.port = std::move(port);
    shared.port->SetWaiter(waiter_);
    portOpen_ = true;
    shared.console = std::make_unique<RecordingConsole>(console);
    return StartConsoleReader();
}

OpenResult UpdateRun::StartConsoleReader() {
    Shared& shared = *shared_;
    shared.session.buffer = &shared.port->Buffer();
    shared.session.flags.stop.store(0);
    shared.session.flags.result.store(1);
    try {
        reader_ = settings_.startReader(
            [kept = shared_] { return ConsoleReaderProc(kept->session, *kept->console); });
    } catch (const std::system_error& error) {
        // Without its reader the port would show nothing and answer nothing: give it back.
        return EndAtOpen(OpenEnd::kReaderFailed, EndCause::kReaderFailed, mapping_.devicePath,
                         "cannot start the console reader", error.code().message());
    }
    return {OpenEnd::kOpened, {}};
}

std::optional<std::string> UpdateRun::StartRecord() {
    Shared& shared = *shared_;
    shared.record = std::make_unique<UpdateRecord>(
        settings_.recordDirectory, settings_.recordProblems, settings_.startRecordHelper);
    std::optional<std::string> refused = shared.record->Start(
        {settings_.program, settings_.version, mapping_.name, mapping_.devicePath, dataFilePath_,
         std::chrono::system_clock::now()});
    shared.console->StartRecording(*shared.record);
    return refused;
}

bool UpdateRun::Begin() {
    if (Begun() || !shared_->console) return true;
    if (std::optional<std::string> refused = StartRecord()) {
        // Nothing is sent: the run ends as failed, and is recorded so.
        Stop(EndCause::kRecordFailed, std::move(*refused));
        return false;
    }
    return true;
}

OpenResult UpdateRun::EndAtOpen(OpenEnd end, EndCause cause, const std::string& devicePath,
                                const std::string& what, std::string reason) {
    shared_->session.buffer = nullptr;
    // An attached port goes back to its owner as it came, without this run's waiter.
    if (!ownsPort_) shared_->port->SetWaiter(nullptr);
    shared_->port.reset();
    portOpen_ = false;
    stopDetail_ = reason;
    shared_->session.EndAsFailed(cause);
    Record();
    return {end, devicePath + ": " + what + ": " + reason};
}

void UpdateRun::Upload(UploadSink& sink) {
    // A stopped run answers no more requests.
    if (!portOpen_ || stopRequested_) return;
    ++uploads_;
    lastRequestUnanswered_ = true;
    lastFileProblem_.reset();
    AnsweringSink answering(sink, *this);
    // upload_ grows as the upload goes, for an end from inside it (EndNow).
    UploadDataFile(dataFilePath_, *shared_->port, shared_->session, answering, settings_.lock,
                   &upload_);
    // Ended and recorded from inside the upload: what the upload says now is no longer news.
    if (Recorded()) return;
    if (upload_.bytes) lastFileLength_ = upload_.bytes->size();
    if (!upload_.transfer) return;
    lastTransfer_ = upload_.transfer;
    if (shared_->record) shared_->record->DataSent(upload_.bytes);
}

void UpdateRun::Stop(EndCause cause, std::string detail) {
    stopRequested_ = true;
    UpdateSession& session = shared_->session;
    if (session.NoteEnd(cause)) {
        stopDetail_ = std::move(detail);
        // Whatever the reader reports after this is no success.
        session.flags.result.store(0);
    }
    session.RequestStop();
}

void UpdateRun::EndNow(EndCause cause, std::string detail) {
    Stop(cause, std::move(detail));
    if (!portOpen_) return;
    CCommPort& port = *shared_->port;
    // The last upload's transfer, also when its upload has not returned yet.
    if (upload_.transfer) {
        TransferResult figures = *upload_.transfer;
        if (transferring_) {
            // The transfer stops here: the block on the wire goes out, or is given up.
            figures.end = TransferEnd::kCancelled;
            if (port.Writing()) {
                if (port.FinishBlock(kLastBlockWait)) {
                    figures = WithWriteUnderWayDone(figures, upload_.bytes->size());
                } else {
                    figures.end = TransferEnd::kWriteFailed;
                    figures.heldBy = port.LastWriteHold();
                }
            }
        }
        lastTransfer_ = figures;
        lastFileLength_ = upload_.bytes->size();
        shared_->record->DataSent(upload_.bytes);
    }
    // The reader is told to stop, not waited for: it may be waiting for this very thread.
    ClosePort();
    portOpen_ = false;
    Record();
}

const RunVerdict& UpdateRun::Conclude() {
    if (verdict_) return *verdict_;
    const UpdateSession& session = shared_->session;
    RunFacts facts;
    facts.cause = session.endCause.load();
    if (const KeywordRule* rule = session.endKeyword.load())
        facts.keyword = std::string(rule->keyword);
    facts.detail = stopDetail_;
    facts.lastRequestUnanswered = uploads_ > 0 && lastRequestUnanswered_;
    facts.fileProblem = lastFileProblem_;
    verdict_ = DecideOutcome(facts);
    return *verdict_;
}

void UpdateRun::Record() {
    UpdateRecord* record = shared_->record.get();
    if (!record || record->Finished()) return;
    const RunVerdict& verdict = Conclude();
    RunEnd end;
    end.transfer = lastTransfer_;
    end.uploads = uploads_;
    end.outcome = verdict.outcome;
    end.message = OutcomeMessage(verdict);
    end.endedBy = EndCauseName(verdict.cause);
    end.detail = verdict.detail;
    // What the operator could not have learnt from the device: a hold on the line, a driver.
    for (const std::string& note :
         {lastTransfer_ && lastTransfer_->heldBy.Held() ? HeldNote(lastTransfer_->heldBy)
                                                        : std::string(),
          portProblem_}) {
        if (!note.empty()) end.detail += (end.detail.empty() ? "" : "; ") + note;
    }
    end.time = std::chrono::system_clock::now();
    record->Finish(end);
}

void UpdateRun::Close() {
    if (closed_) return;
    closed_ = true;
    Shared& shared = *shared_;
    bool readerLeft = false;
    if (reader_.Started()) {
        // Ended by the program itself (the window closed by Esc, Enter or the exit command).
        if (shared.session.NoteEnd(EndCause::kOperator)) shared.session.flags.result.store(0);
        shared.session.RequestStop();
        if (!reader_.JoinFor(kReaderLimit)) {
            // Left to itself: it holds what it uses, and tells the program nothing more.
            shared.console->CutOff();
            reader_.Detach();
            readerLeft = true;
            TellProblem(settings_.program + ": the console reader did not stop within " +
                        std::to_string(kReaderLimit.count()) +
                        " ms; the port is closed and the run recorded without it");
        }
    }
    portOpen_ = false;
    // Never opened, or given back as the run could not start.
    if (!shared.port) return;
    // An attached port goes back to its owner without this run's waiter, and stays open unless a
    // reader left running still looks at its buffer: no later run may share that.
    if (!ownsPort_) shared.port->SetWaiter(nullptr);
    if (ownsPort_ || readerLeft) ClosePort();
    // The reader left running may still look at the port's buffer, which stays.
    if (readerLeft) return;
    shared.session.buffer = nullptr;
    shared.port.reset();
}

const std::string& UpdateRun::RecordLine() const {
    static const std::string none;
    return shared_->record ? shared_->record->Line() : none;
}

void UpdateRun::TellProblem(const std::string& line) {
    if (settings_.recordProblems)
        settings_.recordProblems(line);
    else
        (void)WriteAll(kStandardError, line + "\n");
}

void UpdateRun::ClosePort() {
    CCommPort& port = *shared_->port;
    port.ClosePort();
    const std::string problem = port.DescribeCloseProblem();
    if (problem.empty() || problem == portProblem_) return;
    portProblem_ = problem;
    TellProblem(settings_.program + ": " + problem);
}
