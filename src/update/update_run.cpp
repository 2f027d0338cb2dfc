#include "update/update_run.h"

#include <system_error>
#include <utility>

#include "update/console_reader.h"
#include "update/standard_streams.h"

// Passes the reader's reports on to the program's sink; a line the sink showed goes to the record.
class UpdateRun::RecordingConsole final : public ConsoleSink {
  public:
    RecordingConsole(ConsoleSink& shown, UpdateRecord& record) : shown_(shown), record_(record) {}

    bool ShowLine(std::string_view line) override {
        if (!shown_.ShowLine(line)) return false;
        // The record keeps the device's text; its console file ends each line with LF.
        if (line.ends_with("\r\n")) line.remove_suffix(2);
        record_.ConsoleLine(line);
        return true;
    }
    void DataRequested() override { shown_.DataRequested(); }
    void RunEnded() override { shown_.RunEnded(); }

  private:
    ConsoleSink& shown_;
    UpdateRecord& record_;
};

// The program's upload sink, with a stop of the run taken as a Cancel press of its display: the
// transfer then ends after the block on the wire. The device's own end keywords stop no transfer.
class UpdateRun::StoppableSink final : public UploadSink, private TransferProgress {
  public:
    StoppableSink(UploadSink& sink, const bool& stopRequested, bool& transferring)
        : sink_(sink), stopRequested_(stopRequested), transferring_(transferring) {}

    void ReportFileProblem(DataFileStatus status, const std::string& path, int error) override {
        sink_.ReportFileProblem(status, path, error);
    }
    TransferProgress* BeginTransfer(std::uint64_t totalBytes) override {
        shown_ = sink_.BeginTransfer(totalBytes);
        transferring_ = shown_ != nullptr;
        return shown_ ? this : nullptr;
    }
    void ReportWriteHeld(const OutputHold& hold) override { sink_.ReportWriteHeld(hold); }
    void EndTransfer(const TransferResult& result) override {
        transferring_ = false;
        sink_.EndTransfer(result);
    }

  private:
    void SetBarRange(int lower, int upper) override { shown_->SetBarRange(lower, upper); }
    void SetBarStep(int step) override { shown_->SetBarStep(step); }
    void StepBar() override { shown_->StepBar(); }
    bool CancelRequested() override { return shown_->CancelRequested() || stopRequested_; }

    UploadSink& sink_;
    const bool& stopRequested_;
    bool& transferring_;
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
    auto opened = std::make_unique<CCommPort>();
    opened->BaudRate = UPDATE_BAUD;
    opened->SetWaiter(waiter_);
    if (!opened->OpenPort(port)) return {OpenEnd::kPortUnusable, opened->DescribeOpenFailure()};
    port_ = std::move(opened);

    // Every run that opened the port is recorded.
    record_ = std::make_unique<UpdateRecord>(settings_.recordDirectory, settings_.recordProblems);
    record_->Start({settings_.program, settings_.version, port.name, port.devicePath, dataFilePath_,
                    std::chrono::system_clock::now()});
    console_ = std::make_unique<RecordingConsole>(console, *record_);

    session_.buffer = &port_->Buffer();
    session_.flags.stop.store(0);
    session_.flags.result.store(1);
    try {
        reader_ = settings_.startReader([this] { return ConsoleReaderProc(session_, *console_); });
    } catch (const std::system_error& error) {
        // Without its reader the port would show nothing and answer nothing: give it back.
        session_.buffer = nullptr;
        port_.reset();
        stopDetail_ = error.code().message();
        session_.EndAsFailed(EndCause::kReaderFailed);
        Record(Verdict());
        return {OpenEnd::kReaderFailed,
                port.devicePath + ": cannot start the console reader: " + stopDetail_};
    }
    return {OpenEnd::kOpened, {}};
}

void UpdateRun::Upload(UploadSink& sink) {
    // A stopped run answers no more requests.
    if (!port_ || stopRequested_) return;
    ++uploads_;
    StoppableSink stoppable(sink, stopRequested_, transferring_);
    UploadResult upload =
        UploadDataFile(dataFilePath_, *port_, session_, stoppable, settings_.lock, &upload_);
    // Ended and recorded from inside the upload: what the upload says now is no longer news.
    if (!record_ || record_->Finished()) return;
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

void UpdateRun::EndNow(EndCause cause, std::string detail) {
    Stop(cause, std::move(detail));
    if (!port_) return;
    // The last upload's transfer, also when its upload has not returned yet.
    if (upload_.transfer) {
        TransferResult figures = *upload_.transfer;
        if (transferring_) {
            // The transfer stops here: the block on the wire goes out, or is given up.
            figures.end = TransferEnd::kCancelled;
            if (port_->Writing()) {
                if (port_->FinishBlock(kLastBlockWait)) {
                    figures = WithWriteUnderWayDone(figures, upload_.bytes->size());
                } else {
                    figures.end = TransferEnd::kWriteFailed;
                    figures.heldBy = port_->LastWriteHold();
                }
            }
        }
        lastTransfer_ = figures;
        lastFileLength_ = upload_.bytes->size();
        if (record_) record_->DataSent(upload_.bytes);
    }
    ClosePort();
    Record(Verdict());
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
    // What the operator could not have learnt from the device: a hold on the line, a driver.
    for (const std::string& note :
         {lastTransfer_ && lastTransfer_->heldBy.Held()
              ? "the device held the output back: " + DescribeHold(lastTransfer_->heldBy)
              : std::string(),
          portProblem_}) {
        if (!note.empty()) end.detail += (end.detail.empty() ? "" : "; ") + note;
    }
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
    if (port_) ClosePort();
    session_.buffer = nullptr;
    port_.reset();
}

void UpdateRun::ClosePort() {
    port_->ClosePort();
    const std::string problem = port_->DescribeCloseProblem();
    if (problem.empty() || problem == portProblem_) return;
    portProblem_ = problem;
    const std::string line = settings_.program + ": " + problem;
    if (settings_.recordProblems)
        settings_.recordProblems(line);
    else
        (void)WriteAll(kStandardError, line + "\n");
}
