// ComPeer: the Windows side of wine_com_peer (tests/wine/com_peer.cpp), the Linux program that
// plays the device at the far end of a COM port under Wine. It connects over the loopback to the
// address in QELPUPD_COM_PEER (tests/wine/with_com_peer.sh sets it) and sends one command at a
// time; every answer has a deadline, so a peer that hangs fails the test instead of hanging it.
// Test thread only.
#pragma once

#include <cstdint>
#include <string>

class ComPeer {
  public:
    // Throws std::runtime_error when there is no peer to talk to.
    ComPeer();
    ~ComPeer();
    ComPeer(const ComPeer&) = delete;
    ComPeer& operator=(const ComPeer&) = delete;

    // A fresh line; the previous one hangs up. Returns its COM name, "COM12".
    std::string NewLine();
    // The line's settings as the port left them: "19200 baud, 8N1, RTS/CTS".
    std::string Settings();
    // Writes `count` bytes first, first + 1, ... (mod 256) to the port; returns the peer's clock
    // just before the write (PeerClock()).
    int64_t Send(long count, int first = 0);
    // Starts reading: until `count` bytes came or none came for `idleMs`, at `baud`'s pace when
    // not 0. The bytes come with EndReceive(); meanwhile the test writes.
    void BeginReceive(size_t count, int idleMs, unsigned baud = 0);
    std::string EndReceive();
    // Closes the device's end: the port sees the line hang up.
    void HangUp();
    // The peer's CLOCK_MONOTONIC_RAW in nanoseconds, which Wine's QueryPerformanceCounter counts.
    int64_t PeerClock();

  private:
    void Ask(const std::string& command);
    // The answer to the last command, without its first word, which must be `word`.
    std::string Answer(const std::string& word);

    uintptr_t socket_;
    std::string pending_;
};

// QueryPerformanceCounter in nanoseconds: the peer's clock, as Wine runs it.
int64_t LocalClock();
