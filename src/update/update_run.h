#pragma once
// One update run, from the port's opening to its record, for both programs.
//
// How it works. The run drives the port, the update flags, the console reader's thread and the
// update record, and decides the outcome once (run_verdict.h) from what happened. The program that
// drives it - the window program's main dialog, the terminal program's loop - calls, on the thread
// that owns the port:
//   Open      opens a port of the run's own, starts the record and the console reader;
//   Attach    instead, for a port the program keeps open across runs (a station): starts the
//             console reader on it; the record waits for Begin, and the device's lines until then
//             are kept (the newest kKeptEarlyLines) for its console log;
//   Begin     after Attach, at the device's first data request (or its end word): the record
//             starts, with the kept lines first. A run that never began leaves no record;
//   Upload    on the device's data request, which the reader reports to the console sink: reads the
//             data file whole and sends those very bytes in blocks under the upload sink's display;
//   Stop      when the run must end before the device ends it (the operator, a signal, a time-out,
//             a wait that failed): a transfer under way stops after the block on the wire;
//   Conclude  once the reader has reported its end, or after Close: decides the outcome the first
//             time and gives that same verdict ever after, so that what the program shows, what it
//             records and the status it ends with cannot differ;
//   Record    appends the record's line for the concluded verdict, once;
//   Close     stops the reader, waits for it at most kReaderLimit, and closes a port of its own
//             (DTR dropped); an attached one stays open, with whatever its reader did not take for
//             the next run's reader;
//   EndNow    instead of Stop, Record and Close when the process may end as soon as the caller
//             returns (the session ends): from wherever the thread is, a handler inside the upload
//             too, it lets the block on the wire go out, closes the port and writes the record.
// The reader reports each line, the data request and its end to the console sink on its own thread;
// every line the sink shows goes to the record too. A line the sink could not show is in neither.
// A request the device makes counts as unanswered from the moment the upload starts until its
// transfer begins: a success the device reports meanwhile (inside a box about the data file) is no
// success.
//
// Thread contract: all members on the thread that owns the port. The console sink's calls come on
// the reader's thread (console_sink.h); the upload sink's on the owning thread. The port's writes
// wait through the waiter given (an attached port's too, until Close), so a window program can keep
// serving its windows meanwhile. A reader that has not stopped within kReaderLimit is left running
// and named through the problem sink; it keeps what it uses alive (an attached port too, which is
// then closed), but calls the program's console sink no more once it returns from the call it is
// in.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "framework/worker_thread.h"
#include "serial/comm_port.h"
#include "update/block_transfer.h"
#include "update/console_sink.h"
#include "update/data_file.h"
#include "update/data_upload.h"
#include "update/run_verdict.h"
#include "update/update_record.h"
#include "update/update_session.h"

// How long Close waits for the console reader to stop.
inline constexpr std::chrono::milliseconds kReaderLimit{1000};

struct RunSettings {
    std::string program;  // for the record and its problem line
    std::string version;
    std::string recordDirectory = RecordDirectory();
    // One line each on the run's own troubles: the record not written, a thread that did not stop
    // in time, a call the port's driver never ended. Empty: standard error.
    UpdateRecord::ProblemSink recordProblems;
    DataFileLock lock = DataFileLock::kExclusive;
    // Starts the console reader's thread; throws std::system_error when the system gives none.
    std::function<fw::WorkerThread(std::function<unsigned()>)> startReader = StartReader;
    // Starts the record's helper thread, the same way.
    UpdateRecord::HelperStarter startRecordHelper = UpdateRecord::StartHelper;

    static fw::WorkerThread StartReader(std::function<unsigned()> proc);
};

enum class OpenEnd {
    kOpened,
    kPortUnusable,  // nothing stays open and nothing is recorded
    // The port did open, but the run could not start: nothing was sent, the port is closed again,
    // and the run is concluded as failed and recorded.
    kReaderFailed,  // no thread for the console reader
    kRecordFailed,  // no thread for the record's helper
};

struct OpenResult {
    OpenEnd end = OpenEnd::kPortUnusable;
    std::string reason;  // for the operator at a terminal: which device, what it is, and why
};

class UpdateRun {
  public:
    // `waiter`: how the port's writes wait; nullptr for the port's own, which sleeps.
    explicit UpdateRun(RunSettings settings, PortWaiter* waiter = nullptr);
    ~UpdateRun();
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;

    OpenResult Open(const PortMapping& port, const std::string& dataFilePath, ConsoleSink& console);
    // `port` is open and stays the caller's. kPortUnusable and kRecordFailed are not returned;
    // kReaderFailed leaves nothing to record.
    OpenResult Attach(std::shared_ptr<CCommPort> port, const PortMapping& mapping,
                      const std::string& dataFilePath, ConsoleSink& console);
    // After Attach: the run begins and its record starts. False when it could not: the record got
    // no helper thread, and the run has ended as failed (record-failed) before anything was sent.
    // Once; later calls do nothing.
    bool Begin();
    bool Begun() const { return shared_->record != nullptr; }

    // Reads the data file and sends it. A file that cannot be opened ends the run as failed once
    // the sink has reported it; a file that could not be read otherwise leaves the run going, but a
    // success the device reports afterwards - or while the sink reports the problem - no longer
    // counts.
    void Upload(UploadSink& sink);

    // Ends the run by `cause` unless the device ended it first; `detail` names a signal or why a
    // wait failed. A transfer under way stops after the block on the wire.
    void Stop(EndCause cause, std::string detail = {});
    // Ends the run at once, from wherever the owning thread is, a handler that the upload's waits
    // serve too: stops it as Stop does, lets the block on the wire go out (within kLastBlockWait;
    // not at all while the modem lines hold it back), closes the port (DTR dropped) and appends
    // the record with the transfer's figures as they stand. The console reader is told to stop,
    // not joined: it may be waiting for this very thread. For an end that will not wait for the
    // stack to unwind: the process may end as soon as the caller returns. What runs after it (an
    // upload returning, Record, Close) changes nothing that was recorded.
    void EndNow(EndCause cause, std::string detail);
    // The run's end was noted: by the device, a hang-up, a file problem or a stop.
    bool Ended() const { return shared_->session.endCause.load() != EndCause::kNone; }
    // The port is open: the run has not been closed.
    bool PortOpen() const { return portOpen_; }
    // What ended the run first; kNone while it goes on.
    EndCause EndedBy() const { return shared_->session.endCause.load(); }

    // The run's outcome: decided from what happened at the first call, the same ever after.
    const RunVerdict& Conclude();
    // Appends the record's line for the concluded verdict (concluding first if need be), with the
    // transfer's figures as they stand. Once; later calls do nothing.
    void Record();
    bool Recorded() const { return !shared_->record || shared_->record->Finished(); }
    // Stops the reader, waits for it at most kReaderLimit, and closes the port. A run that nothing
    // else ended ends as closed by the operator. Once; later calls do nothing.
    void Close();

    // As for any stop: the block on the wire gets the port's whole write time-out.
    static constexpr std::chrono::milliseconds kLastBlockWait{10000};

    const std::string& DataFilePath() const { return dataFilePath_; }
    // The record's line once written, as written (without its line end); empty before, or when
    // the record could not be written.
    const std::string& RecordLine() const;
    // The last upload's transfer; empty when none sent anything.
    const std::optional<TransferResult>& LastTransfer() const { return lastTransfer_; }
    // The data file's length at the last upload that read it.
    std::uint64_t LastFileLength() const { return lastFileLength_; }

    // The lines a device printed before its run began that its console log keeps.
    static constexpr std::size_t kKeptEarlyLines = 200;

  private:
    class RecordingConsole;
    class AnsweringSink;
    // What the reader uses, shared with its thread so that a reader left running never outlives it.
    struct Shared {
        UpdateSession session;
        std::shared_ptr<CCommPort> port;
        std::unique_ptr<UpdateRecord> record;
        std::unique_ptr<RecordingConsole> console;
    };
    // The port did open but the run could not start: it ends by `cause`, with the port closed.
    OpenResult EndAtOpen(OpenEnd end, EndCause cause, const std::string& devicePath,
                         const std::string& what, std::string reason);
    void TellProblem(const std::string& line);
    OpenResult StartConsoleReader();
    // The record's start; the system's words when it gave the record no helper thread.
    std::optional<std::string> StartRecord();
    // Closes the port and notes a problem of its driver for the operator and the record.
    void ClosePort();

    RunSettings settings_;
    PortWaiter* waiter_;
    std::string dataFilePath_;
    PortMapping mapping_;
    std::shared_ptr<Shared> shared_;
    bool ownsPort_ = false;  // Open's port, not an attached one
    fw::WorkerThread reader_;
    bool portOpen_ = false;
    std::string stopDetail_;
    bool stopRequested_ = false;  // Stop was called: a transfer stops after its block
    int uploads_ = 0;
    std::optional<TransferResult> lastTransfer_;
    std::uint64_t lastFileLength_ = 0;
    // The last data request got nothing: from its upload's start until its transfer began.
    bool lastRequestUnanswered_ = false;
    std::optional<DataFileStatus> lastFileProblem_;
    std::optional<RunVerdict> verdict_;
    bool closed_ = false;  // Close has run
    // The last upload, growing while it runs, and whether its transfer is under way.
    UploadResult upload_;
    bool transferring_ = false;
    std::string portProblem_;  // the port's close problem, for the record's detail
};
