#pragma once
// What qelpupd-cli shows of a transfer on standard error, as text; no I/O. On a terminal one line
// is redrawn in place (at most a few times a second, and whenever the percentage changes); when
// standard error goes to a file or a pipe, a line is written at every further 10 %.
//
// One object per transfer, used on the thread that runs it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

struct ProgressFigures {
    std::uint64_t sent = 0;                // bytes that went out
    std::uint64_t total = 0;               // bytes of the data file
    std::chrono::milliseconds elapsed{0};  // since the transfer began
};

// 0 to 100; an empty file counts as done.
int ProgressPercent(std::uint64_t sent, std::uint64_t total);

// " 42%  11800/28000 bytes  1.9 kB/s  0:08 left". The rate and the time left show as "--" until
// the first bytes have gone out.
std::string FormatProgress(const ProgressFigures& figures);

class ProgressReport {
  public:
    enum class Mode { kTerminal, kLines };
    explicit ProgressReport(Mode mode) : mode_(mode) {}

    // The text to write for these figures, or nothing. On a terminal it begins with "\r" and ends
    // by clearing the rest of the line; as lines it ends with "\n".
    std::optional<std::string> Update(const ProgressFigures& figures);
    // The text that ends the display with the last figures: the terminal's line drawn one last
    // time and ended, or the line of the last 10 % step not written yet. Empty when nothing is due.
    std::string Finish(const ProgressFigures& figures);
    // On a terminal, the text that takes the progress line away (before another line is written
    // there) and whether it is shown; Redraw puts it back.
    std::string Clear() const;
    std::string Redraw() const;

  private:
    static constexpr std::chrono::milliseconds kRedrawInterval{200};

    Mode mode_;
    int lastPercent_ = -1;
    int lastStep_ = 0;  // the last 10 % step written as a line
    std::chrono::milliseconds lastDrawn_{0};
    std::string shown_;  // the terminal's current progress text, empty when none is drawn
};
