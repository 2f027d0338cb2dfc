#pragma once
// One device's result, as the transcript's JSON line gives it to tests, benchmarks and scripts
// (shown wrapped; one line in the transcript):
//   {"port":"/tmp/line/port1","pty":"/dev/pts/7","device":2,"scenario":"record-header",
//    "ok":true,"result":"match","transfers":1,"bytes":1001,"sha256":"9f86…","whole":true,
//    "end_word":"record header error (record 1)","requested_ms":1520,"ended_ms":2480,
//    "took_ms":960}
// Fields are added, never renamed. Pure.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "simulator/scenario.h"
#include "simulator/verdict.h"

namespace qelp::sim {

struct DeviceResult {
    std::string port;       // the symlink, or the terminal when there is none
    std::string pty;        // the terminal the device played on
    std::size_t place = 1;  // in the port's row, from 1
    Scenario scenario = Scenario::kSuccess;
    Verdict verdict;  // "ok" is its exit code 0: the device saw what its scenario expects
    std::size_t transfers = 0;
    // The last transfer's byte count and SHA-256 (absent without a transfer), and whether it
    // brought the data file whole (absent without a transfer or without --data).
    std::size_t bytes = 0;
    std::optional<std::string> sha256;
    std::optional<bool> whole;
    std::optional<std::string> endWord;  // the end line as sent, escaped as the transcript does
    // Since the simulator started: its first data request, and its end line.
    std::optional<std::chrono::milliseconds> requested;
    std::optional<std::chrono::milliseconds> ended;
};

std::string resultJson(const DeviceResult& result);

// The end line without its LF or CRLF, escaped as the transcript escapes it.
std::string endWordOf(std::string_view endLine);

}  // namespace qelp::sim
