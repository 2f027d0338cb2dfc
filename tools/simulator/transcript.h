#pragma once
// The simulator's stdout after the pty path line: one line per event, flushed at once so that a
// person or a test can follow it live.
//   device> what the device sent (escaped, without the final LF)
//   host>   what arrived from the tool, summarised
//   note:   the simulator's own remarks
//   result: the verdict, last
// Single-threaded.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace qelp::sim {

// Printable ASCII stays as it is; CR, LF and tab become \r, \n and \t; a backslash is doubled;
// every other byte becomes \xNN, so the transcript stays one line per event.
std::string escapeBytes(std::string_view bytes);
std::string hex64(std::uint64_t value);

class Transcript {
  public:
    explicit Transcript(std::FILE* out) : out_(out) {}

    void line(std::string_view text);
    void device(std::string_view sent);
    void host(std::string_view text) { prefixed("host> ", text); }
    void note(std::string_view text) { prefixed("note: ", text); }
    void result(std::string_view text) { prefixed("result: ", text); }

  private:
    void prefixed(std::string_view prefix, std::string_view text);
    std::FILE* out_;
};

}  // namespace qelp::sim
