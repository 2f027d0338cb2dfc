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

}  // namespace

std::string RecordDirectory() {
    return record_files::DefaultDirectory();
}

std::string IsoLocalTime(std::chrono::system_clock::time_point time) {
    return LocalStamp(time, "%Y-%m-%dT%H:%M:%S", true);
}

UpdateRecord::UpdateRecord(std::string directory, ProblemSink problems)
    : directory_(std::move(directory)),
      problems_(problems ? std::move(problems) : ProblemSink(WriteToStderr)) {}

UpdateRecord::~UpdateRecord() {
    if (background_.joinable()) background_.join();
}

void UpdateRecord::Report(const std::string& what, int error) {
    if (reported_) return;
    reported_ = true;
    std::string line = start_.program + ": the update record is not written: " + what;
    if (error != 0) line += ": " + SystemErrorText(error);
    line += " (the update itself is not affected)";
    problems_(line);
}

void UpdateRecord::Start(const RunStart& start) {
    start_ = start;
    started_ = true;
    if (directory_.empty()) {
        Report(record_files::NoDirectoryReason(), 0);
        return;
    }
    if (const int error = record_files::MakeDirectories(directory_); error != 0) {
        Report("cannot create " + directory_, error);
        return;
    }
    usable_ = true;
    OpenConsoleFile();
    background_ = std::thread([this] { PruneConsoleFiles(); });
}

void UpdateRecord::DataSent(std::shared_ptr<const std::vector<unsigned char>> bytes) {
    if (!started_ || finished_ || !bytes) return;
    if (background_.joinable()) background_.join();
    background_ = std::thread([this, bytes = std::move(bytes)] {
        Sha256 hash;
        hash.Update(bytes->data(), bytes->size());
        fingerprint_ = {bytes->size(), Sha256::Hex(hash.Finish())};
    });
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
            Report("cannot create " + path, error);
            return;
        }
    }
    Report("cannot create a console file beside " + stem, error);
}

void UpdateRecord::PruneConsoleFiles() const {
    std::vector<record_files::FileEntry> files =
        record_files::ListFiles(directory_, kConsolePrefix, kConsoleSuffix);
    // Newest first: by last change, then by name, which starts with the time the run began.
    std::sort(files.begin(), files.end(),
              [](const record_files::FileEntry& a, const record_files::FileEntry& b) {
                  if (a.modifiedNs != b.modifiedNs) return a.modifiedNs > b.modifiedNs;
                  return a.name > b.name;
              });
    for (std::size_t i = kKeptConsoleFiles; i < files.size(); ++i)
        record_files::RemoveFile(directory_, files[i].name);
}

void UpdateRecord::ConsoleLine(std::string_view line) {
    std::lock_guard lock(lines_);
    if (linesClosed_) return;
    lastLine_ = std::string(line);
    ++lineCount_;
    if (!consoleFile_.IsOpen() || consoleFailed_) return;
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line).push_back('\n');
    int error = 0;
    if (!consoleFile_.WriteAll(text, error)) consoleFailed_ = true;
}

std::string UpdateRecord::RecordLine(const RunEnd& end, const Fingerprint& file) const {
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
    out += file.length ? std::to_string(*file.length) : "null";
    out += ",\"sha256\":";
    if (file.sha256.empty())
        out += "null";
    else
        AppendJsonString(out, file.sha256);
    const TransferResult sent = end.transfer.value_or(TransferResult{});
    out += "},\"sent\":{\"bytes\":" + std::to_string(sent.BytesSent()) +
           ",\"blocks\":" + std::to_string(sent.blocksSent) +
           ",\"remainder\":" + std::to_string(sent.remainderSent) +
           ",\"block_size\":" + std::to_string(BLOCK_SIZE) + "},\"transfer\":";
    AppendJsonString(out, TransferName(end.transfer));
    out += ",\"uploads\":" + std::to_string(end.uploads) + ",\"outcome\":";
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
    // Added last: readers that match the fields before it keep working.
    out += ",\"held_by\":";
    if (sent.heldBy.Held()) {
        out += sent.heldBy.cts && sent.heldBy.dsr ? "[\"CTS\",\"DSR\"]"
               : sent.heldBy.cts                  ? "[\"CTS\"]"
                                                  : "[\"DSR\"]";
    } else {
        out += "null";
    }
    out += "}\n";
    return out;
}

void UpdateRecord::Finish(const RunEnd& end) {
    if (!started_ || finished_) return;
    finished_ = true;
    if (background_.joinable()) background_.join();
    if (!usable_) return;

    std::string line;
    bool consoleFailed = false;
    {
        std::lock_guard lock(lines_);
        linesClosed_ = true;
        consoleFailed = consoleFailed_;
        line = RecordLine(end, fingerprint_);
        consoleFile_.Close();
    }
    if (consoleFailed) Report("the console log " + consolePath_ + " is incomplete", 0);

    const std::string path = directory_ + record_files::Separator() + kRecordFileName;
    int error = 0;
    record_files::AppendFile record = record_files::AppendFile::Open(path, error);
    if (!record.IsOpen()) {
        Report("cannot open " + path, error);
        return;
    }
    // One write of the whole line: appends from two programs never interleave.
    const long n = record.WriteOnce(line, error);
    if (n != static_cast<long>(line.size())) {
        // End a torn line, so that the lines after it still read one by one.
        int ignored = 0;
        if (n > 0) (void)record.WriteAll("\n", ignored);
        Report("cannot append to " + path, n < 0 ? error : record_files::NoSpaceError());
    }
}
