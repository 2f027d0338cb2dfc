#pragma once
// The simulator's stdout after the pty path lines: one line per event, flushed at once so that a
// person or a test can follow it live.
//   device> what the device sent (escaped, without the final LF)
//   host>   what arrived from the tool, summarised
//   note:   the simulator's own remarks
//   result: the verdict on one device
//   {...}   the same device's result as one JSON object (device_result.h)
// With several ports each port's lines but the JSON ones begin with "[N] ", its number.
// Threads: one Transcript per port, used by that port's thread only; all of them write through
// one OutputLines, which keeps each line whole.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace qelp::sim {

// Printable ASCII stays as it is; CR, LF and tab become \r, \n and \t; a backslash is doubled;
// every other byte becomes \xNN, so the transcript stays one line per event.
std::string escapeBytes(std::string_view bytes);
std::string hex64(std::uint64_t value);
std::string millisText(std::chrono::milliseconds ms);  // "1500 ms"

// Any thread.
class OutputLines {
  public:
    explicit OutputLines(std::FILE* out) : out_(out) {}
    void line(std::string_view text);

  private:
    std::mutex mutex_;
    std::FILE* out_;
};

class Transcript {
  public:
    explicit Transcript(OutputLines& out, std::string portPrefix = {})
        : out_(out), portPrefix_(std::move(portPrefix)) {}

    void device(std::string_view sent);
    void host(std::string_view text) { prefixed("host> ", text); }
    void note(std::string_view text) { prefixed("note: ", text); }
    // The verdict and, right under it whatever the other ports write, its JSON line.
    void result(std::string_view text, std::string_view json);

  private:
    void prefixed(std::string_view prefix, std::string_view text);
    OutputLines& out_;
    std::string portPrefix_;
};

}  // namespace qelp::sim
