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
// never misnamed. The old console files are removed, and the bytes hashed, by a thread of the
// record's own while the run goes on; Finish joins it.
//
// A record that cannot be written never stops an update: the first problem of a run is reported
// once, as one line, through the problem sink (standard error unless given), and the run goes on.
//
// Thread contract: Start, DataSent and Finish run on the thread that owns the run (the UI thread in
// the window program); ConsoleLine runs on the console reader's thread, between Start and Finish,
// and costs one write() of the line. Finish may run while the reader still runs: lines after Finish
// are dropped. Qt-free, for the window program and terminal programs alike.

#include <chrono>
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

class UpdateRecord {
  public:
    using ProblemSink = std::function<void(const std::string& line)>;

    // `directory` is where the record lives; see RecordDirectory().
    explicit UpdateRecord(std::string directory, ProblemSink problems = {});
    ~UpdateRecord();
    UpdateRecord(const UpdateRecord&) = delete;
    UpdateRecord& operator=(const UpdateRecord&) = delete;

    // Creates the directory (mode 0700) where it is missing, opens the console file and starts
    // dropping the oldest console files. Once per object.
    void Start(const RunStart& start);
    // The bytes an upload is about to write: the record names their length and SHA-256, those of
    // the last upload when there are several. They are hashed on the record's thread.
    void DataSent(std::shared_ptr<const std::vector<unsigned char>> bytes);
    // One line as the log shows it, without its line end.
    void ConsoleLine(std::string_view line);
    // Appends the record line. Once, after Start; nothing happens after a Start that failed.
    void Finish(const RunEnd& end);

    bool Finished() const { return finished_; }
    // The line Finish built, without its line end; empty before, or when no record could be
    // written. For a program that passes the record on as it is (qelpupd-cli --station --json).
    const std::string& Line() const { return line_; }

  private:
    struct Fingerprint {
        std::optional<std::uint64_t> length;
        std::string sha256;  // empty when no upload wrote anything
    };
    void OpenConsoleFile();
    void PruneConsoleFiles() const;
    std::string RecordLine(const RunEnd& end, const Fingerprint& file) const;
    void Report(const std::string& what, int error);

    std::string directory_;
    ProblemSink problems_;
    RunStart start_;
    bool started_ = false;
    bool finished_ = false;
    bool usable_ = false;    // the directory exists: a record can be written
    bool reported_ = false;  // a problem of this run has been reported
    std::string consolePath_;
    std::string line_;

    // Prunes the console files, then hashes what was sent.
    std::thread background_;
    Fingerprint fingerprint_;  // written by background_, read after joining it

    // Shared with the console reader.
    std::mutex lines_;
    record_files::AppendFile consoleFile_;
    bool consoleFailed_ = false;
    std::optional<std::string> lastLine_;
    std::uint64_t lineCount_ = 0;
    bool linesClosed_ = false;
};

// Where the record lives: on Linux $XDG_STATE_HOME/qelpupd when that is an absolute path, else
// $HOME/.local/state/qelpupd; empty when neither is set.
std::string RecordDirectory();

// ISO 8601 local time with milliseconds and the zone's offset: 2026-12-08T22:30:08.123+01:00.
std::string IsoLocalTime(std::chrono::system_clock::time_point time);
