#pragma once
// One update run, from the port's opening to its record, for both programs.
//
// How it works. The run drives the port, the update flags, the console reader's thread and the
// update record, and decides the outcome in one place (run_verdict.h) from what happened. The
// program that drives it - the window program's main dialog, the terminal program's loop - calls,
// on the thread that owns the port:
//   Open     opens a port of the run's own, starts the record and the console reader;
//   Attach   instead, for a port the program keeps open across runs (a station): starts the
//            console reader on it; the record waits for Begin, and the device's lines until then
//            are kept (the newest kKeptEarlyLines) for its console log;
//   Begin    after Attach, at the device's first data request (or its end word): the record
//            starts, with the kept lines first. A run that never began leaves no record;
//   Upload   on the device's data request, which the reader reports to the console sink: reads the
//            data file whole and sends those very bytes in blocks under the upload sink's display;
//   Stop     when the run must end before the device ends it (the operator, a signal, a time-out,
//            a wait that failed): a transfer under way stops after the block on the wire;
//   Verdict  the outcome as it stands, once the reader has reported its end or after Close;
//   Record   appends the record's line, once;
//   Close    stops and joins the reader; closes a port of its own (DTR dropped), leaves an
//            attached one open, with any bytes the reader did not take for the next run's reader.
// The reader reports each line, the data request and its end to the console sink on its own thread;
// every line the sink shows goes to the record too. A line the sink could not show is in neither.
//
// Thread contract: all members on the thread that owns the port. The console sink's calls come on
// the reader's thread (console_sink.h); the upload sink's on the owning thread. The port's writes
// wait through the waiter given (an attached port too, until Close), so a window program can keep
// serving its windows meanwhile.

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

struct RunSettings {
    std::string program;  // for the record and its problem line
    std::string version;
    std::string recordDirectory = RecordDirectory();
    UpdateRecord::ProblemSink recordProblems;  // empty: standard error
    DataFileLock lock = DataFileLock::kExclusive;
    // Starts the console reader's thread; throws std::system_error when the system gives none.
    std::function<fw::WorkerThread(std::function<unsigned()>)> startReader = StartReader;

    static fw::WorkerThread StartReader(std::function<unsigned()> proc);
};

enum class OpenEnd {
    kOpened,
    kPortUnusable,  // nothing stays open and nothing is recorded
    kReaderFailed,  // the port did open, so the run is recorded as failed; but nothing started
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
    // `port` is open and stays the caller's; it must outlive the run. kPortUnusable is not
    // returned; kReaderFailed leaves nothing to record.
    OpenResult Attach(CCommPort& port, const PortMapping& mapping, const std::string& dataFilePath,
                      ConsoleSink& console);
    // After Attach: the run begins and its record starts. Once; later calls do nothing.
    void Begin();
    bool Begun() const { return record_ != nullptr; }

    // Reads the data file and sends it. A file that cannot be opened ends the run as failed once
    // the sink has reported it; a file that could not be read otherwise leaves the run going, but a
    // success the device reports afterwards no longer counts.
    void Upload(UploadSink& sink);

    // Ends the run by `cause` unless the device ended it first; `detail` names a signal or why a
    // wait failed. A transfer under way stops after the block on the wire.
    void Stop(EndCause cause, std::string detail = {});
    // The run's end was noted: by the device, a hang-up, a file problem or a stop.
    bool Ended() const { return session_.endCause.load() != EndCause::kNone; }
    // The port is open: the run has not been closed.
    bool PortOpen() const { return port_ != nullptr; }
    // What ended the run first; kNone while it goes on.
    EndCause EndedBy() const { return session_.endCause.load(); }

    RunVerdict Verdict() const;
    // Appends the record's line for `verdict` with the transfer's figures as they stand. Once;
    // later calls do nothing.
    void Record(const RunVerdict& verdict);
    bool Recorded() const { return !record_ || record_->Finished(); }
    // Stops and joins the reader and closes the port. A run that nothing else ended ends as closed
    // by the operator. Once; later calls do nothing.
    void Close();

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
    class StoppableSink;

    OpenResult StartConsoleReader();

    RunSettings settings_;
    PortWaiter* waiter_;
    std::string dataFilePath_;
    PortMapping mapping_;
    std::unique_ptr<CCommPort> ownPort_;  // Open's; empty after Attach
    CCommPort* port_ = nullptr;           // the port the run works on, until Close
    UpdateSession session_;
    std::unique_ptr<UpdateRecord> record_;
    std::unique_ptr<RecordingConsole> console_;
    fw::WorkerThread reader_;
    std::string stopDetail_;
    bool stopRequested_ = false;  // Stop was called: a transfer stops after its block
    int uploads_ = 0;
    std::optional<TransferResult> lastTransfer_;
    std::uint64_t lastFileLength_ = 0;
    bool lastRequestUnanswered_ = false;
    std::optional<DataFileStatus> lastFileProblem_;
};
