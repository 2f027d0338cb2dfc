#pragma once
// The device's end of the line: the master side of a pseudo-terminal whose slave the tool opens
// as its serial port. Every wait is a poll() that a stop signal (StopSignal's descriptor) ends at
// once. Used by one thread, its port's.
//
// How Linux pseudo-terminals behave here (measured on Debian 12, kernel 6.1):
// - tcgetattr and tcsetattr on the master read and change the *slave's* settings. Calling
//   cfmakeraw on the master would therefore put the slave into raw mode before the tool opened
//   it, and fire our own wait for the tool's settings at once. The master's own side does no
//   translation: the kernel sets it up with no input, output or local processing, and user space
//   cannot reach those settings. So the simulator leaves termios alone; the tests show all 256
//   byte values crossing unchanged in both directions once the tool has made the slave raw.
// - While the slave is still in its default cooked mode with ECHO, bytes written to the master
//   sit in the slave's input queue and come straight back to the master as echo. Hence nothing is
//   written until the settings read through the master show ICANON off (the tool's raw mode).
// - With no descriptor of the slave open, poll on the master reports POLLHUP and read fails with
//   EIO; opening the slave again clears that, and the settings survive in between. The slave
//   descriptor that openpty returns is therefore kept only until the tool's settings show up,
//   then closed: from then on the tool's descriptor is the only one, and its close is seen as
//   POLLHUP and EIO on the master. Bytes the tool wrote just before closing are read first.
// - POLLHUP on the master is reported even when no events are asked for and unread data waits,
//   so the stall scenario notices the close without reading.
// - When the master closes, the slave sees POLLIN|POLLERR|POLLHUP and reads 0, and its path
//   disappears. A writer on the slave gets EAGAIN once about 17 KB wait unread in the master;
//   TIOCOUTQ on the slave stays 0 all the while.
// - Settings change only through an open descriptor of the slave, and an inotify watch on the
//   slave's path reports every open (IN_OPEN, also through a symlink), so waiting for the tool
//   costs nothing until it opens the port.
// - Several devices in a row on one terminal: the raw settings the tool left survive its close,
//   so before waiting for a reopen rearm() puts the fresh terminal's settings back (tcsetattr
//   through the master works while no slave is open). What the tool wrote and a swapped-out
//   device never read stays queued in the master until tcflush(TCIFLUSH), which empties the
//   kernel's flip buffers too; FIONREAD counts only the first 4095 bytes of it.

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qelp::sim {

enum class WaitResult { kReady, kTimedOut, kInterrupted, kHungUp };

class PtyDevice {
  public:
    using Clock = std::chrono::steady_clock;

    explicit PtyDevice(int stopFd);  // throws std::system_error
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& slavePath() const { return slavePath_; }

    // The slave's settings, as the tool left them.
    std::optional<termios> portSettings() const;

    // Waits until the slave's settings show raw mode (Ready) or the deadline: asleep until
    // something opens the slave, then looking every 20 ms.
    WaitResult waitUntilRaw(Clock::time_point deadline);
    // Closes the slave descriptor from openpty, so that the tool's close becomes a hang-up.
    void releaseOwnSlave();
    // After the tool closed the port: the fresh settings again, so that waitUntilRaw waits for
    // the tool's setup when it reopens. A tool found already back keeps the settings it left.
    void rearm();
    // Drops what the tool sent that nobody read; returns a lower bound of the bytes dropped.
    std::size_t dropUnread();

    WaitResult writeAll(std::string_view bytes);

    struct ReadResult {
        WaitResult status;
        std::size_t count;  // bytes read when Ready
    };
    ReadResult read(std::span<std::uint8_t> into, Clock::time_point deadline);

    // Waits without reading; HungUp once the tool has closed the port.
    WaitResult waitForHangUp(Clock::time_point deadline);

    // Closes the master: the device "unplugs" itself.
    void hangUp();

  private:
    enum class Woken { kMaster, kMasterHungUp, kStop, kDeadline };
    Woken pollMaster(short events, std::optional<Clock::time_point> deadline);
    void drainOpens();

    int stopFd_;
    int master_ = -1;
    int ownSlave_ = -1;
    int openWatch_ = -1;  // inotify, IN_OPEN of the slave; -1: none to be had, look all along
    std::string slavePath_;
    termios fresh_{};
};

}  // namespace qelp::sim
