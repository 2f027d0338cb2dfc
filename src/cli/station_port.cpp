#include "cli/station_port.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "cli/outcome.h"
#include "cli/run_stop.h"
#include "cli/stop_signals.h"
#include "cli/stopping_port_waiter.h"
#include "serial/output_hold.h"
#include "update/system_error.h"

namespace {

using Clock = std::chrono::steady_clock;
using Kind = StationEvent::Kind;

// The device as the operator knows it: where a named link or a stable name leads.
std::string ShownDevice(const std::string& path) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    return error ? path : real.string();
}

// The run's console: the device's lines go to its console log only; its news to the port's loop;
// its first line tells the main thread that a device is there.
class StationConsoleSink final : public ConsoleSink {
  public:
    StationConsoleSink(RunMailbox& mailbox, StationEvents& events, StationEvent talking)
        : mailbox_(mailbox), events_(events), talking_(std::move(talking)) {}

    bool ShowLine(std::string_view) override {
        if (!talked_) {
            talked_ = true;
            talking_.time = std::chrono::system_clock::now();
            events_.Post(talking_);
        }
        return true;
    }
    void DataRequested() override { mailbox_.PostDataRequest(); }
    void RunEnded() override { mailbox_.PostRunEnded(); }

  private:
    RunMailbox& mailbox_;
    StationEvents& events_;
    StationEvent talking_;
    bool talked_ = false;  // the reader's thread only
};

// The transfer's figures go to the main thread; the run's stop cancels it after the block on the
// wire.
class StationUploadSink final : public UploadSink, private TransferProgress {
  public:
    StationUploadSink(StationEvents& events, StationEvent progress, const RunStop& stop)
        : events_(events), progress_(std::move(progress)), stop_(stop) {}

    void ReportFileProblem(DataFileStatus status, const std::string& path, int error) override {
        StationEvent note = progress_;
        note.kind = Kind::kNote;
        note.reason = NoteText(FileProblemLine(status, path, error));
        note.time = std::chrono::system_clock::now();
        events_.Post(std::move(note));
    }
    void ReportWriteHeld(const OutputHold& hold) override {
        StationEvent note = progress_;
        note.kind = Kind::kNote;
        note.reason = HoldNote(hold);
        note.time = std::chrono::system_clock::now();
        events_.Post(std::move(note));
    }
    TransferProgress* BeginTransfer(std::uint64_t totalBytes) override {
        total_ = totalBytes;
        steps_ = 0;
        start_ = Clock::now();
        NoteTransfer(true);
        Post(0);
        return this;
    }
    void EndTransfer(const TransferResult& result) override {
        NoteTransfer(false);
        Post(result.BytesSent());
    }

  private:
    void SetBarRange(int, int) override {}
    void SetBarStep(int) override {}
    // Just before each block is written: the blocks before it have gone out.
    void StepBar() override { Post(std::uint64_t{steps_++} * BLOCK_SIZE); }
    bool CancelRequested() override { return stop_.Requested() != StopCause::kNone; }

    void Post(std::uint64_t sent) {
        progress_.progress = {
            sent, total_,
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_)};
        progress_.time = std::chrono::system_clock::now();
        events_.Post(progress_);
    }

    StationEvents& events_;
    StationEvent progress_;
    const RunStop& stop_;
    std::uint64_t total_ = 0;
    std::uint32_t steps_ = 0;
    Clock::time_point start_;
};

RunEndReport EndReport(UpdateRun& run, const RunVerdict& verdict, Clock::duration duration) {
    RunEndReport report;
    report.outcome = verdict.outcome;
    report.timedOut = verdict.cause == EndCause::kTimeout;
    report.message = OutcomeMessage(verdict);
    report.endedBy = EndCauseName(verdict.cause);
    report.detail = verdict.detail;
    report.duration = std::chrono::duration_cast<std::chrono::milliseconds>(duration);
    report.record = run.RecordLine();
    return report;
}

}  // namespace

StationPort::StationPort(std::size_t index, PortMapping mapping, StationSettings settings,
                         StationEvents& events)
    : index_(index),
      settings_(std::move(settings)),
      events_(events),
      mapping_(std::move(mapping)) {}

StationPort::~StationPort() {
    Join();
}

bool StationPort::Start() {
    if (!mailbox_.Ready()) return false;
    try {
        thread_ = fw::WorkerThread("station-port", [this] {
            Serve();
            return 0u;
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void StationPort::PortsChanged(const PortMapping& mapping) {
    {
        std::lock_guard lock(mappingMutex_);
        mapping_ = mapping;
    }
    mailbox_.PostPortsChanged();
}

void StationPort::Finish() {
    mailbox_.PostFinish();
}

StationEvent StationPort::Event(StationEvent::Kind kind) const {
    StationEvent event;
    event.port = index_;
    event.kind = kind;
    event.time = std::chrono::system_clock::now();
    return event;
}

void StationPort::Report(StationEvent event) {
    events_.Post(std::move(event));
}

void StationPort::Serve() {
    bool waitFirst = false;  // the last try failed in a way that trying again at once would repeat
    for (;;) {
        if (!port_ && (waitFirst || !OpenPort())) {
            waitFirst = false;
            if (WaitForPort() == Next::kEnd) break;
            continue;
        }
        if (ServeRun() == Next::kEnd) break;
        if (settings_.runs && runs_ >= *settings_.runs) break;
        if (!port_) {
            // Given back until a retry time: wait for it; closed to be opened afresh: at once.
            waitFirst = retryAt_.has_value();
        } else if (port_->Buffer().InputEnded()) {
            // After a hang-up the port's device is gone, or new: it is opened again.
            ClosePort();
            lateWordDue_ = false;
            StationEvent gone = Event(Kind::kAbsent);
            gone.reason = "the port went away";
            lastProblem_ = gone;
            Report(std::move(gone));
        }
    }
    ClosePort();
    Report(Event(Kind::kClosed));
}

bool StationPort::OpenPort() {
    PortMapping mapping;
    {
        std::lock_guard lock(mappingMutex_);
        mapping = mapping_;
    }
    auto port = std::make_shared<CCommPort>();
    port->BaudRate = UPDATE_BAUD;
    if (port->OpenPort(mapping)) {
        port_ = std::move(port);
        retryAt_.reset();
        lastProblem_.reset();
        StationEvent waiting = Event(Kind::kWaiting);
        waiting.device = ShownDevice(mapping.devicePath);
        Report(std::move(waiting));
        return true;
    }
    // Gone: it is tried again when the ports change. There but refusing: also after a while,
    // since nothing announces that another program let go of it.
    const bool absent = port->OpenFailure() == DeviceFault::kNoSuchDevice;
    retryAt_.reset();
    if (!absent) retryAt_ = Clock::now() + kRetryUnavailable;
    StationEvent problem = Event(absent ? Kind::kAbsent : Kind::kUnavailable);
    problem.reason = absent ? std::string() : port->DescribeOpenFailure();
    if (!lastProblem_ || lastProblem_->kind != problem.kind ||
        (!absent && lastProblem_->reason != problem.reason)) {
        lastProblem_ = problem;
        Report(std::move(problem));
    }
    return false;
}

StationPort::Next StationPort::WaitForPort() {
    int error = 0;
    switch (mailbox_.WaitForNewsOrStop(error, retryAt_)) {
        case RunMailbox::Wake::kStop:
            return Next::kEnd;
        case RunMailbox::Wake::kFailed: {
            StationEvent failed = Event(Kind::kUnavailable);
            failed.reason = "waiting for the port failed: " + SystemErrorText(error);
            Report(std::move(failed));
            return Next::kEnd;
        }
        case RunMailbox::Wake::kTimedOut:
            return Next::kGoOn;
        case RunMailbox::Wake::kNews:
            return mailbox_.Take().finish ? Next::kEnd : Next::kGoOn;
    }
    return Next::kGoOn;
}

StationPort::Next StationPort::ServeRun() {
    PortMapping mapping;
    {
        std::lock_guard lock(mappingMutex_);
        mapping = mapping_;
    }
    const int number = runs_ + 1;
    StationEvent talking = Event(Kind::kDevice);
    talking.run = number;
    StationEvent progress = Event(Kind::kProgress);
    progress.run = number;

    // The run's stop: the process's, and from its data request its deadline too.
    RunStop stop;
    StoppingPortWaiter waiter(stop);
    StationConsoleSink console(mailbox_, events_, talking);
    StationUploadSink upload(events_, progress, stop);
    UpdateRun run(settings_.run, &waiter);
    mailbox_.DropRunNews();
    const OpenResult attached = run.Attach(port_, mapping, settings_.dataPath, console);
    if (attached.end != OpenEnd::kOpened) {
        // No reader, so nothing to serve the port with: give it back and try again later.
        ClosePort();
        StationEvent problem = Event(Kind::kUnavailable);
        problem.reason = attached.reason;
        retryAt_ = Clock::now() + kRetryUnavailable;
        lastProblem_ = problem;
        Report(std::move(problem));
        return Next::kGoOn;
    }

    Clock::time_point began{};
    // False when the run could not begin (it has ended as failed, to be recorded so).
    const auto begin = [&] {
        if (run.Begun()) return true;
        const bool begun = run.Begin();
        began = Clock::now();
        if (settings_.timeout) stop = RunStop(began + *settings_.timeout);
        ++runs_;
        StationEvent event = Event(Kind::kBegan);
        event.run = number;
        Report(std::move(event));
        return begun;
    };

    Next next = Next::kGoOn;
    for (;;) {
        int error = 0;
        const RunMailbox::Wake wake = mailbox_.WaitForNewsOrStop(error, stop.Deadline());
        if (wake == RunMailbox::Wake::kTimedOut) {
            // The next device may come on this port all the same.
            run.Stop(EndCause::kTimeout);
            break;
        }
        if (wake == RunMailbox::Wake::kStop) {
            run.Stop(EndCause::kSignal, StopSignalName());
            next = Next::kEnd;
            break;
        }
        if (wake == RunMailbox::Wake::kFailed) {
            run.Stop(EndCause::kWaitFailed, "waiting for news: " + SystemErrorText(error));
            next = Next::kEnd;
            break;
        }
        const RunMailbox::News news = mailbox_.Take();
        if (news.finish) {
            run.Stop(EndCause::kOperator);
            next = Next::kEnd;
            break;
        }
        // A request that came with the device's end came before it, and is answered first.
        if (news.dataRequest) {
            lateWordDue_ = false;
            if (begin()) {
                mailbox_.BeginUpload();
                run.Upload(upload);
                mailbox_.EndUpload();
            }
        }
        if (news.runEnded) {
            // A failure word without a request (bootmode=ERROR at boot) is a device that failed:
            // a run of its own. A success without a request served nothing, and the first word
            // after a time-out is the timed-out device's own: neither is counted again.
            const EndCause cause = run.EndedBy();
            if (!run.Begun() && (cause == EndCause::kDeviceSuccess || lateWordDue_)) {
                StationEvent note = Event(Kind::kNote);
                note.reason = lateWordDue_
                                  ? "the timed-out device ended late; its word is not a new run"
                                  : "the device reported success without asking for the data; "
                                    "not counted";
                Report(std::move(note));
            } else if (cause == EndCause::kDeviceFailure) {
                begin();
            }
            if (cause == EndCause::kDeviceSuccess || cause == EndCause::kDeviceFailure)
                lateWordDue_ = false;
            break;
        }
    }
    run.Close();
    if (port_->State().connected.load() == 0) {
        // A reader that did not stop in time keeps the port's buffer: the port was closed under
        // it, and is opened afresh.
        ClosePort();
        StationEvent note = Event(Kind::kNote);
        note.reason = "the console reader did not stop in time; the port is opened again";
        Report(std::move(note));
    } else if (run.EndedBy() == EndCause::kTimeout) {
        // As a lone run's time-out does: the port closes, which drops what the timed-out
        // transfer left queued (the next device must not get it) and lowers DTR; it is opened
        // again at once.
        ClosePort();
        lateWordDue_ = true;
    }
    if (!run.Begun()) return next;
    const RunVerdict& verdict = run.Conclude();
    run.Record();
    StationEvent ended = Event(Kind::kEnded);
    ended.run = number;
    ended.ended = EndReport(run, verdict, Clock::now() - began);
    Report(std::move(ended));
    return next;
}

void StationPort::ClosePort() {
    if (!port_) return;
    port_->ClosePort();
    if (const std::string problem = port_->DescribeCloseProblem(); !problem.empty()) {
        StationEvent note = Event(Kind::kNote);
        note.reason = problem;
        Report(std::move(note));
    }
    port_.reset();
}
