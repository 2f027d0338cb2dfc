#include "update/update_run.h"

#include <deque>
#include <mutex>
#include <system_error>
#include <utility>

#include "update/console_reader.h"

// Passes the reader's reports on to the program's sink; a line the sink showed goes to the record,
// or, until the record starts, to the kept early lines (the newest only).
class UpdateRun::RecordingConsole final : public ConsoleSink {
  public:
    explicit RecordingConsole(ConsoleSink& shown) : shown_(shown) {}

    bool ShowLine(std::string_view line) override {
        if (!shown_.ShowLine(line)) return false;
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
    void DataRequested() override { shown_.DataRequested(); }
    void RunEnded() override { shown_.RunEnded(); }

    // Owning thread, once the record has started: the kept lines go first, in their order.
    void StartRecording(UpdateRecord& record) {
        std::lock_guard lock(mutex_);
        for (const std::string& line : early_) record.ConsoleLine(line);
        early_.clear();
        record_ = &record;
    }

  private:
    ConsoleSink& shown_;
    std::mutex mutex_;  // the reader's lines against the owning thread's start of the record
    UpdateRecord* record_ = nullptr;
    std::deque<std::string> early_;
};

// The program's upload sink, with a stop of the run taken as a Cancel press of its display: the
// transfer then ends after the block on the wire. The device's own end keywords stop no transfer.
class UpdateRun::StoppableSink final : public UploadSink, private TransferProgress {
  public:
    StoppableSink(UploadSink& sink, const bool& stopRequested)
        : sink_(sink), stopRequested_(stopRequested) {}

    void ReportFileProblem(DataFileStatus status, const std::string& path, int error) override {
        sink_.ReportFileProblem(status, path, error);
    }
    TransferProgress* BeginTransfer(std::uint64_t totalBytes) override {
        shown_ = sink_.BeginTransfer(totalBytes);
        return shown_ ? this : nullptr;
    }
    void EndTransfer(const TransferResult& result) override { sink_.EndTransfer(result); }

  private:
    void SetBarRange(int lower, int upper) override { shown_->SetBarRange(lower, upper); }
    void SetBarStep(int step) override { shown_->SetBarStep(step); }
    void StepBar() override { shown_->StepBar(); }
    bool CancelRequested() override { return shown_->CancelRequested() || stopRequested_; }

    UploadSink& sink_;
    const bool& stopRequested_;
    TransferProgress* shown_ = nullptr;
};

fw::WorkerThread RunSettings::StartReader(std::function<unsigned()> proc) {
    return fw::WorkerThread("console-reader", std::move(proc));
}

UpdateRun::UpdateRun(RunSettings settings, PortWaiter* waiter)
    : settings_(std::move(settings)), waiter_(waiter) {}

UpdateRun::~UpdateRun() {
    Close();
}

OpenResult UpdateRun::Open(const PortMapping& port, const std::string& dataFilePath,
                           ConsoleSink& console) {
    dataFilePath_ = dataFilePath;
    mapping_ = port;
    auto opened = std::make_unique<CCommPort>();
    opened->BaudRate = UPDATE_BAUD;
    opened->SetWaiter(waiter_);
    if (!opened->OpenPort(port)) return {OpenEnd::kPortUnusable, opened->DescribeOpenFailure()};
    ownPort_ = std::move(opened);
    port_ = ownPort_.get();
    // Every run that opened the port is recorded: the record starts before the first line.
    console_ = std::make_unique<RecordingConsole>(console);
    Begin();
    return StartConsoleReader();
}

OpenResult UpdateRun::Attach(CCommPort& port, const PortMapping& mapping,
                             const std::string& dataFilePath, ConsoleSink& console) {
    dataFilePath_ = dataFilePath;
    mapping_ = mapping;
    port_ = &port;
    port_->SetWaiter(waiter_);
    console_ = std::make_unique<RecordingConsole>(console);
    return StartConsoleReader();
}

OpenResult UpdateRun::StartConsoleReader() {
    session_.buffer = &port_->Buffer();
    session_.flags.stop.store(0);
    session_.flags.result.store(1);
    try {
        reader_ = settings_.startReader([this] { return ConsoleReaderProc(session_, *console_); });
    } catch (const std::system_error& error) {
        // Without its reader the port would show nothing and answer nothing: give it back.
        session_.buffer = nullptr;
        if (!ownPort_) port_->SetWaiter(nullptr);
        port_ = nullptr;
        ownPort_.reset();
        stopDetail_ = error.code().message();
        session_.EndAsFailed(EndCause::kReaderFailed);
        Record(Verdict());
        return {OpenEnd::kReaderFailed,
                mapping_.devicePath + ": cannot start the console reader: " + stopDetail_};
    }
    return {OpenEnd::kOpened, {}};
}

void UpdateRun::Begin() {
    if (record_ || !console_) return;
    record_ = std::make_unique<UpdateRecord>(settings_.recordDirectory, settings_.recordProblems);
    record_->Start({settings_.program, settings_.version, mapping_.name, mapping_.devicePath,
                    dataFilePath_, std::chrono::system_clock::now()});
    console_->StartRecording(*record_);
}

void UpdateRun::Upload(UploadSink& sink) {
    // A stopped run answers no more requests.
    if (!port_ || stopRequested_) return;
    ++uploads_;
    StoppableSink stoppable(sink, stopRequested_);
    UploadResult upload =
        UploadDataFile(dataFilePath_, *port_, session_, stoppable, settings_.lock);
    if (upload.bytes) lastFileLength_ = upload.bytes->size();
    lastFileProblem_.reset();
    if (upload.file != DataFileStatus::kOk) lastFileProblem_ = upload.file;
    // Nothing went out: a success the device reports now would be no proof of an update.
    lastRequestUnanswered_ = !upload.transfer;
    if (!upload.transfer) return;
    lastTransfer_ = upload.transfer;
    if (record_) record_->DataSent(std::move(upload.bytes));
}

void UpdateRun::Stop(EndCause cause, std::string detail) {
    stopRequested_ = true;
    if (session_.NoteEnd(cause)) {
        stopDetail_ = std::move(detail);
        // Whatever the reader reports after this is no success.
        session_.flags.result.store(0);
    }
    session_.RequestStop();
}

RunVerdict UpdateRun::Verdict() const {
    RunFacts facts;
    facts.cause = session_.endCause.load();
    if (const KeywordRule* rule = session_.endKeyword.load())
        facts.keyword = std::string(rule->keyword);
    facts.detail = stopDetail_;
    facts.lastRequestUnanswered = uploads_ > 0 && lastRequestUnanswered_;
    facts.fileProblem = lastFileProblem_;
    return DecideOutcome(facts);
}

void UpdateRun::Record(const RunVerdict& verdict) {
    if (!record_ || record_->Finished()) return;
    RunEnd end;
    end.transfer = lastTransfer_;
    end.uploads = uploads_;
    end.outcome = verdict.outcome;
    end.message = OutcomeMessage(verdict);
    end.endedBy = EndCauseName(verdict.cause);
    end.detail = verdict.detail;
    end.time = std::chrono::system_clock::now();
    record_->Finish(end);
}

void UpdateRun::Close() {
    if (reader_.Started()) {
        // Ended by the program itself (the window closed by Esc, Enter or the exit command).
        if (session_.NoteEnd(EndCause::kOperator)) session_.flags.result.store(0);
        session_.RequestStop();
        reader_.Join();
    }
    session_.buffer = nullptr;
    // An attached port goes back to its owner as it came, without this run's waiter.
    if (port_ && !ownPort_) port_->SetWaiter(nullptr);
    port_ = nullptr;
    ownPort_.reset();
}

const std::string& UpdateRun::RecordLine() const {
    static const std::string none;
    return record_ ? record_->Line() : none;
}
