#pragma once
// The update record: what an operator needs to prove afterwards which file went to which device,
// when, and what the device said.
//
// How it works. Every run that opened a port appends one line of JSON to updates.log in the
// record directory (RecordDirectory()), and keeps the run's
// console log beside it in a file of its own, named after the start time and the port, which the
// line names. The line is written with one write to a file opened for appending, so that two
// programs on two ports never interleave their lines. Of the console files only the newest
// kKeptConsoleFiles stay. The data file's length and SHA-256 are those of the very bytes the last
// upload wrote (DataSent), not of a separate read of the file, so that a file replaced meanwhile is
// never misnamed. The old console files are removed, and the bytes hashed, by a helper thread of
// the record's own while the run goes on; Finish waits for it at most kHelperLimit, and writes the
// line without what a helper still at work would have given (named through the problem sink).
//
// The line has priority over the console log: when the disk is full, the console file keeps the
// whole lines it took and stops; when the line itself finds no room, whole lines are taken off the
// end of this run's console file until it fits. The line then says that its console log is
// incomplete and how many lines the file holds.
//
// A record that cannot be written never stops an update: each kind of problem of a run (the console
// log, the line itself, a helper left behind, the record's own code) is reported once, as one line,
// through the problem sink (standard error unless given), and the run goes on. No exception leaves
// the record: a fault of its own is named in the line, which is written as completely as it still
// can be.
//
// Thread contract: Start, DataSent and Finish run on the thread that owns the run (the UI thread in
// the window program); ConsoleLine runs on the console reader's thread, between Start and Finish,
// and costs one write() of the line. Finish may run while the reader still runs: lines after Finish
// are dropped. Qt-free, for the window program and terminal programs alike.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "update/block_transfer.h"
#include "update/record_files.h"

enum class RecordedOutcome {
    kSucceeded,         // the run ended with the success message
    kFailed,            // the run ended with the failure message
    kClosedByOperator,  // the window was closed before the run ended
};

struct RunStart {
    std::string program;  // the program's name, for the problem line and the record
    std::string version;
    std::string portName;      // "COM1"
    std::string devicePath;    // "/dev/ttyS0"
    std::string dataFilePath;  // absolute
    std::chrono::system_clock::time_point time;
};

struct RunEnd {
    // The last upload's transfer, in blocks of BLOCK_SIZE; empty when no upload sent anything (none
    // was asked for, the file could not be read, or the transfer could not be shown).
    std::optional<TransferResult> transfer;
    int uploads = 0;  // uploads the device asked for in this run
    RecordedOutcome outcome = RecordedOutcome::kClosedByOperator;
    int message = 0;      // the message that reported the outcome; 0 when none showed
    std::string endedBy;  // what decided the outcome: "device", "hang-up", "signal", ...
    std::string detail;   // the device's keyword, the signal's name, ...; empty for none
    std::chrono::system_clock::time_point time;
};

inline constexpr int kKeptConsoleFiles = 200;
inline constexpr const char* kRecordFileName = "updates.log";
// How long Finish (and a DataSent after another) waits for the helper thread.
inline constexpr std::chrono::milliseconds kHelperLimit{1000};

class UpdateRecord {
  public:
    using ProblemSink = std::function<void(const std::string& line)>;
    // Starts the helper thread on `job`; throws std::system_error when the system gives none.
    using HelperStarter = std::function<std::thread(std::function<void()> job)>;
    static std::thread StartHelper(std::function<void()> job);

    // `directory` is where the record lives; see RecordDirectory().
    explicit UpdateRecord(std::string directory, ProblemSink problems = {},
                          HelperStarter startHelper = StartHelper);
    ~UpdateRecord();
    UpdateRecord(const UpdateRecord&) = delete;
    UpdateRecord& operator=(const UpdateRecord&) = delete;

    // Creates the directory (mode 0700) where it is missing, opens the console file and starts
    // dropping the oldest console files on the helper thread. Once per object. The system's words
    // when it gave no helper thread (the record still works; the caller decides what the run does),
    // else nothing.
    std::optional<std::string> Start(const RunStart& start);
    // The bytes an upload is about to write: the record names their length and SHA-256, those of
    // the last upload when there are several. They are hashed on the helper thread, or here when
    // the system gives none.
    void DataSent(std::shared_ptr<const std::vector<unsigned char>> bytes);
    // One line as the log shows it, without its line end.
    void ConsoleLine(std::string_view line);
    // Appends the record line. Once, after Start; nothing happens after a Start that failed.
    void Finish(const RunEnd& end);

    bool Finished() const { return finished_; }
    // The line Finish wrote, without its line end; empty before, or when no record could be
    // written. For a program that passes the record on as it is (qelpupd-cli --station --json).
    const std::string& Line() const { return line_; }

  private:
    struct Fingerprint {
        std::optional<std::uint64_t> length;
        std::string sha256;  // empty when no upload wrote anything, or its hash never came
    };
    // What a helper thread shares with the record; it outlives a record that stopped waiting.
    struct HelperJob {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        std::string result;  // a hashing job's SHA-256
    };
    enum class Problem { kConsole, kRecord, kHelper, kFault, kCount };

    void OpenConsoleFile();
    // Starts `work` on the helper thread; throws std::system_error when the system gives none.
    void RunOnHelper(const char* what, std::function<std::string()> work);
    // False when the helper had not ended within kHelperLimit; it is then left to itself.
    bool WaitForHelper();
    // True when the line went in.
    bool WriteLine(const RunEnd& end);
    // Takes whole lines off the end of this run's console file, at least `bytes` where it holds
    // that many; false when nothing could be taken.
    bool ShortenConsole(std::uint64_t bytes);
    // With lines_ held: the whole line, and the shorter one for a line that could not be made.
    std::string RecordLine(const RunEnd& end) const;
    std::string ShortLine(const RunEnd& end) const;
    static void AppendOutcome(std::string& out, const RunEnd& end);
    void AppendFault(std::string& out) const;
    void Report(Problem problem, const std::string& line);
    void ReportNotWritten(const std::string& what, int error);
    // Notes a fault of the record's own code (the first one goes into the line) and reports it.
    void Fault(const char* where, const char* what) noexcept;

    std::string directory_;
    ProblemSink problems_;
    HelperStarter startHelper_;
    RunStart start_;
    bool started_ = false;
    bool finished_ = false;
    bool usable_ = false;  // the directory exists: a record can be written
    bool reported_[static_cast<int>(Problem::kCount)] = {};
    bool lineWritten_ = false;
    std::string consolePath_;
    std::string line_;

    std::thread helper_;
    std::shared_ptr<HelperJob> helperJob_;
    const char* helperWork_ = "";  // what the helper does, for the operator
    Fingerprint fingerprint_;

    // Shared with the console reader.
    std::mutex lines_;
    record_files::AppendFile consoleFile_;
    bool consoleFailed_ = false;  // the file stopped taking lines
    int consoleError_ = 0;
    bool consoleShortened_ = false;   // lines were taken off its end to make room for the line
    std::uint64_t consoleBytes_ = 0;  // what the file holds: whole lines only
    std::uint64_t consoleFileLines_ = 0;
    std::optional<std::string> lastLine_;
    std::uint64_t lineCount_ = 0;
    bool linesClosed_ = false;
    std::string fault_;  // the first fault of the record's own code; empty when none
};

// Where the record lives: on Linux $XDG_STATE_HOME/qelpupd when that is an absolute path, else
// $HOME/.local/state/qelpupd; empty when neither is set.
std::string RecordDirectory();

// ISO 8601 local time with milliseconds and the zone's offset: 2026-12-08T22:30:08.123+01:00.
std::string IsoLocalTime(std::chrono::system_clock::time_point time);
