#pragma once
// The terminal program's side of the update core: what the console reader and the upload report
// goes to the terminal output and the run loop.
//
// CliConsoleSink is called on the console reader's thread (console_sink.h); CliUploadSink and its
// progress on the main thread, which owns the port and runs the upload (data_upload.h).

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "cli/run_mailbox.h"
#include "cli/run_stop.h"
#include "cli/terminal_output.h"
#include "update/console_sink.h"
#include "update/update_run.h"

class CliConsoleSink final : public ConsoleSink {
  public:
    CliConsoleSink(TerminalOutput& output, RunMailbox& mailbox)
        : output_(output), mailbox_(mailbox) {}

    bool ShowLine(std::string_view shown) override;
    void DataRequested() override { mailbox_.PostDataRequest(); }
    void RunEnded() override { mailbox_.PostRunEnded(); }

  private:
    TerminalOutput& output_;
    RunMailbox& mailbox_;
};

// Shows the transfer's progress, and asks for the transfer to stop after the block on the wire once
// the run's stop came (run_stop.h).
class CliUploadSink final : public UploadSink, private TransferProgress {
  public:
    CliUploadSink(TerminalOutput& output, std::string port, const RunStop& stop)
        : output_(output), port_(std::move(port)), stop_(stop) {}

    void ReportFileProblem(DataFileStatus status, const std::string& path, int error) override;
    TransferProgress* BeginTransfer(std::uint64_t totalBytes) override;
    // A note at once, as the write still waits.
    void ReportWriteHeld(const OutputHold& hold) override;
    // The last figures, with what actually went out.
    void EndTransfer(const TransferResult& result) override;

  private:
    void SetBarRange(int, int) override {}
    void SetBarStep(int) override {}
    void StepBar() override;
    bool CancelRequested() override;

    ProgressFigures Figures(std::uint64_t sent) const;

    TerminalOutput& output_;
    const std::string port_;
    const RunStop& stop_;
    std::uint64_t total_ = 0;
    std::uint32_t steps_ = 0;
    std::chrono::steady_clock::time_point start_;
};
