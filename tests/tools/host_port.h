#pragma once
// The update tool's side of the line, opened as the tool opens it: the pty slave with
// O_RDWR|O_NOCTTY|O_NONBLOCK, flushed, raw, 19200 baud, 8N1, RTS/CTS. Time-outs only keep a broken
// run from hanging the suite.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class HostPort {
  public:
    explicit HostPort(const std::string& path);
    ~HostPort() { close(); }
    HostPort(const HostPort&) = delete;
    HostPort& operator=(const HostPort&) = delete;

    // The next line exactly as it arrived, LF included; empty on time-out or hang-up.
    std::optional<std::string> readRawLine();
    // Writes in blocks of 200 bytes; returns how many were taken before a block could not go out
    // within stallTimeout, or the line hung up.
    std::size_t writeInBlocks(const std::vector<std::uint8_t>& data,
                              std::chrono::seconds stallTimeout = std::chrono::seconds(20));
    // True once poll reports POLLHUP: the device closed its end.
    bool waitForHangUp();
    void close();

  private:
    int fd_ = -1;
    std::string pending_;
};

// As the console shows a line: 0x00, 0x80..0xFF, CR and LF dropped.
std::string asConsoleShowsIt(const std::string& rawLine);
