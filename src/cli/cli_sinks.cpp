#include "cli/cli_sinks.h"

#include <algorithm>
#include <cstring>

#include "cli/outcome.h"

bool CliConsoleSink::ShowLine(std::string_view shown) {
    // A standard output that no longer takes the lines leaves them in the record all the same.
    output_.DeviceLine(shown);
    return true;
}

void CliUploadSink::ReportFileProblem(DataFileStatus status, const std::string& path, int error) {
    if (const std::string line = FileProblemLine(status, path, error); !line.empty())
        output_.Note(line);
}

TransferProgress* CliUploadSink::BeginTransfer(std::uint64_t totalBytes) {
    // The bar counts whole blocks; the bytes shown count the remainder too.
    total_ = totalBytes;
    steps_ = 0;
    start_ = std::chrono::steady_clock::now();
    output_.BeginProgress();
    NoteTransfer(true);
    return this;
}

void CliUploadSink::StepBar() {
    // StepBar comes just before each block is written: the blocks before it have gone out.
    output_.Progress(Figures(std::uint64_t{steps_} * BLOCK_SIZE));
    ++steps_;
}

bool CliUploadSink::CancelRequested() {
    return stop_.Requested() != StopCause::kNone;
}

void CliUploadSink::ReportWriteHeld(const OutputHold& hold) {
    output_.Note("qelpupd-cli: " + port_ + ": " + HoldNote(hold) + "\n");
}

void CliUploadSink::EndTransfer(const TransferResult& result) {
    NoteTransfer(false);
    output_.EndProgress(Figures(result.BytesSent()));
}

ProgressFigures CliUploadSink::Figures(std::uint64_t sent) const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_);
    return {sent, std::max(total_, sent), elapsed};
}
