#include "update/update_record.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

#include "update/json_text.h"
#include "update/record_files.h"
#include "update/sha256.h"
#include "update/standard_streams.h"
#include "update/system_error.h"

namespace {

constexpr const char* kConsolePrefix = "console-";
constexpr const char* kConsoleSuffix = ".log";

// A port name as part of a file name: letters, digits, '-', '_' and '.' stay, the rest becomes '_'.
std::string FileNamePart(const std::string& name) {
    std::string part = name;
    for (char& c : part)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'))
            c = '_';
    return part.empty() ? "port" : part;
}

// The local time as `format` (strftime) gives it, then milliseconds and the zone's offset.
std::string LocalStamp(std::chrono::system_clock::time_point time, const char* format,
                       bool colonInOffset) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch() %
                                                                        std::chrono::seconds(1))
                      .count();
    if (millis < 0) millis += 1000;
    const record_files::LocalTime local = record_files::ToLocalTime(seconds);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, format, &local.fields);
    // Offsets lie within a day.
    const int offset = local.offsetMinutes % (24 * 60);
    const int magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%c%02d%s%02d", stamp, static_cast<int>(millis),
                  offset < 0 ? '-' : '+', magnitude / 60, colonInOffset ? ":" : "", magnitude % 60);
    return text;
}

const char* TransferName(const std::optional<TransferResult>& transfer) {
    if (!transfer) return "none";
    switch (transfer->end) {
        case TransferEnd::kComplete:
            return "complete";
        case TransferEnd::kCancelled:
            return "cancelled";
        case TransferEnd::kWriteFailed:
            return "write-failed";
        case TransferEnd::kHungUp:
            return "hung-up";
    }
    return "none";
}

const char* OutcomeName(RecordedOutcome outcome) {
    switch (outcome) {
        case RecordedOutcome::kSucceeded:
            return "succeeded";
        case RecordedOutcome::kFailed:
            return "failed";
        case RecordedOutcome::kClosedByOperator:
            return "closed-by-operator";
    }
    return "failed";
}

void WriteToStderr(const std::string& line) {
    const std::string whole = line + "\n";
    // Nothing more can be done for a standard error that does not take it.
    (void)WriteAll(kStandardError, whole);
}

// Room made in the console file beyond the line itself, doubled at each try: a block or two of the
// file system, whatever its block size turns out to be.
constexpr std::uint64_t kSpareRoom = 8192;

constexpr const char* kHashing = "hashing the data file";

void PruneConsoleFiles(const std::string& directory) {
    std::vector<record_files::FileEntry> files =
        record_files::ListFiles(directory, kConsolePrefix, kConsoleSuffix);
    // Newest first: by last change, then by name, which starts with the time the run began.
    std::sort(files.begin(), files.end(),
              [](const record_files::FileEntry& a, const record_files::FileEntry& b) {
                  if (a.modifiedNs != b.modifiedNs) return a.modifiedNs > b.modifiedNs;
                  return a.name > b.name;
              });
    for (std::size_t i = kKeptConsoleFiles; i < files.size(); ++i)
        record_files::RemoveFile(directory, files[i].name);
}

// One write of the whole line, so that appends from two programs never interleave. A piece that a
// full disk took in part is taken back while it is the file's end (else it is ended), so that the
// lines after it still read one by one.
bool AppendLine(record_files::AppendFile& file, const std::string& line, int& error) {
    int ignored = 0;
    const std::int64_t before = file.Size(ignored);
    const long n = file.WriteOnce(line, error);
    if (n == static_cast<long>(line.size())) return true;
    if (n >= 0) error = record_files::NoSpaceError();
    if (n > 0) {
        const bool ours = before >= 0 && file.Size(ignored) == before + n;
        if (!(ours && file.Truncate(static_cast<std::uint64_t>(before), ignored)))
            (void)file.WriteAll("\n", ignored);
    }
    return false;
}

}  // namespace

std::string RecordDirectory() {
    return record_files::DefaultDirectory();
}

std::string IsoLocalTime(std::chrono::system_clock::time_point time) {
    return LocalStamp(time, "%Y-%m-%dT%H:%M:%S", true);
}

std::thread UpdateRecord::StartHelper(std::function<void()> job) {
    return std::thread(std::move(job));
}

UpdateRecord::UpdateRecord(std::string directory, ProblemSink problems, HelperStarter startHelper)
    : directory_(std::move(directory)),
      problems_(problems ? std::move(problems) : ProblemSink(WriteToStderr)),
      startHelper_(startHelper ? std::move(startHelper) : HelperStarter(StartHelper)) {}

UpdateRecord::~UpdateRecord() {
    // A helper works on its own share only: one still at work is left to finish by itself.
    if (helper_.joinable()) {
        std::unique_lock lock(helperJob_->mutex);
        const bool done = helperJob_->done;
        lock.unlock();
        if (done)
            helper_.join();
        else
            helper_.detach();
    }
}

void UpdateRecord::Report(Problem problem, const std::string& line) {
    bool& reported = reported_[static_cast<int>(problem)];
    if (reported) return;
    reported = true;
    try {
        problems_(start_.program + ": " + line);
    } catch (...) {
        // The program's own sink failed: the record has said what it could.
    }
}

void UpdateRecord::ReportNotWritten(const std::string& what, int error) {
    std::string line = "the update record is not written: " + what;
    if (error != 0) line += ": " + SystemErrorText(error);
    Report(Problem::kRecord, line + " (the update itself is not affected)");
}

void UpdateRecord::Fault(const char* where, const char* what) noexcept {
    try {
        const std::string fault = std::string(where) + ": " + what;
        {
            std::lock_guard lock(lines_);
            if (fault_.empty()) fault_ = fault;
        }
        Report(Problem::kFault, "the update record met a fault of its own (" + fault +
                                    "); it is written as completely as it can be");
    } catch (...) {
        // Out of everything: the line says what it still can.
    }
}

std::optional<std::string> UpdateRecord::Start(const RunStart& start) {
    start_ = start;
    started_ = true;
    try {
        if (directory_.empty()) {
            ReportNotWritten(record_files::NoDirectoryReason(), 0);
            return std::nullopt;
        }
        if (const int error = record_files::MakeDirectories(directory_); error != 0) {
            ReportNotWritten("cannot create " + directory_, error);
            return std::nullopt;
        }
        usable_ = true;
        OpenConsoleFile();
        try {
            RunOnHelper("removing old console logs", [directory = directory_] {
                PruneConsoleFiles(directory);
                return std::string();
            });
        } catch (const std::system_error& error) {
            return error.code().message();
        }
    } catch (const std::exception& error) {
        Fault("starting", error.what());
    }
    return std::nullopt;
}

void UpdateRecord::RunOnHelper(const char* what, std::function<std::string()> work) {
    auto job = std::make_shared<HelperJob>();
    helper_ = startHelper_([job, work = std::move(work)] {
        std::string result;
        try {
            result = work();
        } catch (...) {
            // Nothing comes of this job; the record goes on without it.
        }
        std::lock_guard lock(job->mutex);
        job->result = std::move(result);
        job->done = true;
        job->ended.notify_all();
    });
    helperJob_ = std::move(job);
    helperWork_ = what;
}

bool UpdateRecord::WaitForHelper() {
    if (!helper_.joinable()) return true;
    std::string result;
    {
        std::unique_lock lock(helperJob_->mutex);
        if (!helperJob_->ended.wait_for(lock, kHelperLimit, [this] { return helperJob_->done; })) {
            lock.unlock();
            helper_.detach();
            const std::string late = std::string(helperWork_) + " did not finish within " +
                                     std::to_string(kHelperLimit.count()) + " ms";
            // A hash that never came leaves the line short of it: the line says why.
            if (helperWork_ == kHashing) {
                std::lock_guard lines(lines_);
                if (fault_.empty()) fault_ = late;
            }
            Report(Problem::kHelper, "the update record's helper thread (" + late +
                                         ") is left behind; the record is written without it");
            return false;
        }
        result = std::move(helperJob_->result);
    }
    helper_.join();
    if (!result.empty()) fingerprint_.sha256 = std::move(result);
    return true;
}

void UpdateRecord::DataSent(std::shared_ptr<const std::vector<unsigned char>> bytes) {
    if (!started_ || finished_ || !bytes) return;
    try {
        WaitForHelper();
        fingerprint_ = {bytes->size(), {}};
        auto hash = [bytes] {
            Sha256 sha;
            sha.Update(bytes->data(), bytes->size());
            return Sha256::Hex(sha.Finish());
        };
        try {
            RunOnHelper(kHashing, hash);
        } catch (const std::exception&) {
            // No thread to spare: hashed here, which costs the run a moment and loses nothing.
            fingerprint_.sha256 = hash();
        }
    } catch (const std::exception& error) {
        Fault("hashing the data sent", error.what());
    }
}

void UpdateRecord::OpenConsoleFile() {
    const std::string stem =
        directory_ + record_files::Separator() + kConsolePrefix +
        // 20261208T223008.123+0100: no ':', which shells and other systems handle badly.
        LocalStamp(start_.time, "%Y%m%dT%H%M%S", false) + "-" + FileNamePart(start_.portName);
    // Two runs within one millisecond on one port cannot both hold it; a clash is a copied clock.
    int error = 0;
    for (int attempt = 1; attempt <= 9; ++attempt) {
        const std::string path =
            stem + (attempt == 1 ? "" : "-" + std::to_string(attempt)) + kConsoleSuffix;
        record_files::AppendFile file = record_files::AppendFile::CreateNew(path, error);
        if (file.IsOpen()) {
            consoleFile_ = std::move(file);
            consolePath_ = path;
            return;
        }
        if (!record_files::IsExistsError(error)) {
            Report(Problem::kConsole, "the console log is not kept: cannot create " + path + ": " +
                                          SystemErrorText(error));
            return;
        }
    }
    Report(Problem::kConsole, "the console log is not kept: cannot create a console file beside " +
                                  stem + ": " + SystemErrorText(error));
}

void UpdateRecord::ConsoleLine(std::string_view line) {
    try {
        std::lock_guard lock(lines_);
        if (linesClosed_) return;
        lastLine_ = std::string(line);
        ++lineCount_;
        if (!consoleFile_.IsOpen() || consoleFailed_) return;
        std::string text;
        text.reserve(line.size() + 1);
        text.append(line).push_back('\n');
        int error = 0;
        if (consoleFile_.WriteAll(text, error)) {
            consoleBytes_ += text.size();
            ++consoleFileLines_;
            return;
        }
        // The file keeps whole lines only: a line the disk took in part is taken back.
        consoleFailed_ = true;
        consoleError_ = error;
        int ignored = 0;
        (void)consoleFile_.Truncate(consoleBytes_, ignored);
    } catch (const std::exception& error) {
        {
            std::lock_guard lock(lines_);
            consoleFailed_ = consoleFailed_ || consoleFile_.IsOpen();
        }
        Fault("a console line", error.what());
    }
}

bool UpdateRecord::ShortenConsole(std::uint64_t bytes) {
    std::lock_guard lock(lines_);
    if (!consoleFile_.IsOpen() || consoleBytes_ == 0) return false;
    const std::uint64_t limit = consoleBytes_ > bytes ? consoleBytes_ - bytes : 0;
    // Back from the end to the last line end at or before `limit`, counting the lines passed.
    std::uint64_t cut = 0;
    std::uint64_t removed = 0;
    char chunk[4096];
    for (std::uint64_t to = consoleBytes_; to > 0 && cut == 0;) {
        const std::uint64_t from = to > sizeof chunk ? to - sizeof chunk : 0;
        int error = 0;
        if (consoleFile_.ReadAt(from, chunk, to - from, error) != static_cast<long>(to - from))
            return false;
        for (std::uint64_t end = to; end > from; --end) {
            if (chunk[end - 1 - from] != '\n') continue;
            if (end <= limit) {
                cut = end;
                break;
            }
            ++removed;
        }
        to = from;
    }
    int error = 0;
    if (!consoleFile_.Truncate(cut, error)) return false;
    consoleBytes_ = cut;
    consoleFileLines_ -= removed;
    consoleShortened_ = true;
    return true;
}

std::string UpdateRecord::RecordLine(const RunEnd& end) const {
    std::string out = "{\"start\":";
    AppendJsonString(out, IsoLocalTime(start_.time));
    out += ",\"end\":";
    AppendJsonString(out, IsoLocalTime(end.time));
    out += ",\"program\":";
    AppendJsonString(out, start_.program);
    out += ",\"version\":";
    AppendJsonString(out, start_.version);
    out += ",\"port\":";
    AppendJsonString(out, start_.portName);
    out += ",\"device\":";
    AppendJsonString(out, start_.devicePath);
    out += ",\"data_file\":{\"path\":";
    AppendJsonString(out, start_.dataFilePath);
    out += ",\"length\":";
    out += fingerprint_.length ? std::to_string(*fingerprint_.length) : "null";
    out += ",\"sha256\":";
    if (fingerprint_.sha256.empty())
        out += "null";
    else
        AppendJsonString(out, fingerprint_.sha256);
    const TransferResult sent = end.transfer.value_or(TransferResult{});
    out += "},\"sent\":{\"bytes\":" + std::to_string(sent.BytesSent()) +
           ",\"blocks\":" + std::to_string(sent.blocksSent) +
           ",\"remainder\":" + std::to_string(sent.remainderSent) +
           ",\"block_size\":" + std::to_string(BLOCK_SIZE) + "},\"transfer\":";
    AppendJsonString(out, TransferName(end.transfer));
    out += ",\"uploads\":" + std::to_string(end.uploads) + ",\"outcome\":";
    AppendOutcome(out, end);
    out += ",\"last_line\":";
    if (lastLine_)
        AppendJsonString(out, *lastLine_);
    else
        out += "null";
    out += ",\"console_lines\":" + std::to_string(lineCount_) + ",\"console_log\":";
    if (consolePath_.empty())
        out += "null";
    else
        AppendJsonString(out, consolePath_);
    const bool complete = consoleFile_.IsOpen() && !consoleFailed_ && !consoleShortened_;
    out += ",\"console_log_complete\":";
    out += complete ? "true" : "false";
    out += ",\"console_log_lines\":" + std::to_string(consoleFileLines_);
    out += ",\"held_by\":";
    if (sent.heldBy.Held()) {
        out += sent.heldBy.cts && sent.heldBy.dsr ? "[\"CTS\",\"DSR\"]"
               : sent.heldBy.cts                  ? "[\"CTS\"]"
                                                  : "[\"DSR\"]";
    } else {
        out += "null";
    }
    AppendFault(out);
    return out;
}

void UpdateRecord::AppendOutcome(std::string& out, const RunEnd& end) {
    AppendJsonString(out, OutcomeName(end.outcome));
    out += ",\"message\":";
    out += end.message != 0 ? std::to_string(end.message) : "null";
    out += ",\"ended_by\":";
    AppendJsonString(out, end.endedBy);
    out += ",\"detail\":";
    if (end.detail.empty())
        out += "null";
    else
        AppendJsonString(out, end.detail);
}

void UpdateRecord::AppendFault(std::string& out) const {
    out += ",\"record_problem\":";
    if (fault_.empty())
        out += "null";
    else
        AppendJsonString(out, fault_);
    out += "}\n";
}

std::string UpdateRecord::ShortLine(const RunEnd& end) const {
    std::string out = "{\"start\":";
    AppendJsonString(out, IsoLocalTime(start_.time));
    out += ",\"program\":";
    AppendJsonString(out, start_.program);
    out += ",\"port\":";
    AppendJsonString(out, start_.portName);
    out += ",\"device\":";
    AppendJsonString(out, start_.devicePath);
    out += ",\"data_file\":{\"path\":";
    AppendJsonString(out, start_.dataFilePath);
    out += "},\"outcome\":";
    AppendOutcome(out, end);
    AppendFault(out);
    return out;
}

void UpdateRecord::Finish(const RunEnd& end) {
    if (!started_ || finished_) return;
    finished_ = true;
    try {
        WaitForHelper();
        if (usable_) WriteLine(end);
    } catch (const std::exception& error) {
        Fault("writing the record", error.what());
        // As much of the line as can still be put together: who, what, how it ended, and why the
        // rest is missing.
        try {
            std::string line;
            {
                std::lock_guard lock(lines_);
                line = ShortLine(end);
            }
            int ignored = 0;
            record_files::AppendFile record = record_files::AppendFile::Open(
                directory_ + record_files::Separator() + kRecordFileName, ignored);
            if (usable_ && !lineWritten_ && record.IsOpen() && AppendLine(record, line, ignored))
                line_ = line.substr(0, line.find_last_not_of('\n') + 1);
        } catch (...) {
            // Nothing more can be written.
        }
    }
    std::lock_guard lock(lines_);
    linesClosed_ = true;
    consoleFile_.Close();
}

bool UpdateRecord::WriteLine(const RunEnd& end) {
    {
        std::lock_guard lock(lines_);
        linesClosed_ = true;
    }
    const std::string path = directory_ + record_files::Separator() + kRecordFileName;
    int error = 0;
    record_files::AppendFile record = record_files::AppendFile::Open(path, error);
    bool written = record.IsOpen();
    if (!written) ReportNotWritten("cannot open " + path, error);
    for (std::uint64_t room = kSpareRoom; written; room *= 2) {
        std::string line;
        {
            std::lock_guard lock(lines_);
            line = RecordLine(end);
        }
        if (AppendLine(record, line, error)) {
            lineWritten_ = true;
            line_ = line.substr(0, line.find_last_not_of('\n') + 1);
            break;
        }
        // The line has priority over the console log: whole lines of this run's console file make
        // room for it.
        if (!record_files::IsNoSpaceError(error) || !ShortenConsole(line.size() + room)) {
            ReportNotWritten("cannot append to " + path, error);
            written = false;
        }
    }

    std::string incomplete;
    {
        std::lock_guard lock(lines_);
        if (consolePath_.empty() || !(consoleFailed_ || consoleShortened_)) return written;
        std::string why = consoleFailed_ && consoleError_ != 0 ? SystemErrorText(consoleError_)
                          : consoleFailed_                     ? "a line could not be written"
                                                               : "";
        if (consoleShortened_)
            why += std::string(why.empty() ? "" : ", and ") +
                   "lines were taken off its end to make room for the update record";
        incomplete = "the console log " + consolePath_ + " is incomplete (it holds " +
                     std::to_string(consoleFileLines_) + " of the " + std::to_string(lineCount_) +
                     " lines shown: " + why + ")";
    }
    Report(Problem::kConsole,
           incomplete + (written ? "; the update record is written and says so" : ""));
    return written;
}
