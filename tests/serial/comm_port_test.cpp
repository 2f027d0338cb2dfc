// The serial port and its watcher over real pseudo-terminals, the master playing the device. The
// port's device is wrapped in a RecordingDevice, so that tests see the order of calls and wait for
// the watcher by its journal instead of by the clock.
#include "serial/comm_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <future>

#include "serial/pty_peer.h"
#include "serial/received_bytes.h"
#include "serial/recording_device.h"

namespace {

using namespace std::chrono_literals;

using test::Pattern;
using test::SameBytes;

class CommPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QELPUPD_COM1", peer.SlavePath().c_str(), 1);
        port = std::make_unique<CCommPort>(
            std::make_unique<RecordingDevice>(MakeSerialDevice(), journal));
        port->BaudRate = UPDATE_BAUD;
        ASSERT_EQ(port->OpenPort("COM1"), 1) << port->DescribeOpenFailure();
    }

    // Takes `count` bytes out of the buffer as the console reader does, waiting for them.
    std::string Take(size_t count) { return test::Take(port->Buffer(), count); }

    bool WatcherGone() {
        return port->State().watcherId.load() == std::thread::id{} &&
               port->State().watcherHandle.load() == 0;
    }

    PtyPeer peer;
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    std::unique_ptr<CCommPort> port;
};

TEST_F(CommPortTest, OpensWithTheUpdateLineSettingsThenPurgesThenRaisesDtr) {
    termios tio{};
    ASSERT_EQ(tcgetattr(peer.Master(), &tio), 0);  // a master reads its slave's settings
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(cfgetispeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD),
              static_cast<tcflag_t>(CS8 | CRTSCTS | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(port->State().connected.load(), 1);
    EXPECT_NE(port->State().watcherId.load(), std::thread::id{});
    const auto events = journal->Events();
    // What came in at the old speed goes only once the new one holds.
    const long purged = DeviceJournal::Find(events, "Purge");
    EXPECT_GT(purged, DeviceJournal::Find(events, "Configure"));
    EXPECT_GT(DeviceJournal::Find(events, "RaiseDtr"), purged);
}

TEST_F(CommPortTest, SecondOpenFailsWhileTheFirstPortKeepsWorking) {
    CCommPort second;
    EXPECT_EQ(second.OpenPort("COM1"), 0);
    EXPECT_EQ(second.State().connected.load(), 0);
    const std::string why = second.DescribeOpenFailure();
    // The device, and why it was taken.
    EXPECT_NE(why.find(peer.SlavePath() + " (set by QELPUPD_COM1): flock failed"),
              std::string::npos)
        << why;
    EXPECT_NE(why.find("busy, held by process " + std::to_string(getpid())), std::string::npos)
        << why;

    peer.Send("still here\n");
    EXPECT_EQ(Take(11), "still here\n");
    EXPECT_EQ(port->WriteBlock("pong", 4), 1);
    EXPECT_EQ(peer.Receive(4), "pong");

    setenv("QELPUPD_COM2", "/dev/qelpupd-no-such-port", 1);
    EXPECT_EQ(second.OpenPort("COM2"), 0);
    EXPECT_NE(second.DescribeOpenFailure().find("open failed (errno 2"), std::string::npos);
    EXPECT_NE(second.DescribeOpenFailure().find("no such device"), std::string::npos);
}

TEST_F(CommPortTest, ThousandBytesArriveInOrderInReadsOfAtMost256) {
    peer.Send(Pattern(1000));
    EXPECT_TRUE(SameBytes(Take(1000), Pattern(1000)));
    for (long size : journal->ReadSizes()) EXPECT_LE(size, RX_CHUNK);
}

// Closing (or destroying) the port wakes the waiting watcher and joins it before the device is
// closed and the buffer freed; then nothing touches the device any more.
TEST_F(CommPortTest, ClosePortEndsAWaitingWatcherFirst) {
    ASSERT_TRUE(journal->WaitFor("WaitReadable"));
    EXPECT_EQ(port->ClosePort(), 1);
    EXPECT_EQ(port->State().connected.load(), 0);
    EXPECT_TRUE(WatcherGone());
    const auto events = journal->Events();
    const long wake = DeviceJournal::Find(events, "Wake");
    ASSERT_GE(wake, 0);
    EXPECT_GT(DeviceJournal::Find(events, "DropDtr", wake), wake);
    // Nothing was written: only the input is dropped.
    EXPECT_GT(DeviceJournal::Find(events, "PurgeInput", wake), wake);
    EXPECT_GT(DeviceJournal::Find(events, "Woken", wake), wake);
    EXPECT_EQ(events.back(), "Close");
    EXPECT_EQ(DeviceJournal::Find(events, "Close"), static_cast<long>(events.size()) - 1);
}

// What a completed write handed on is the device's even when the port closes before the device has
// read it; only a write that did not drain leaves bytes to drop.
TEST_F(CommPortTest, ClosingDropsOnlyWhatAWriteLeftUnsent) {
    const std::string block = Pattern(200);
    ASSERT_EQ(port->WriteBlock(block.data(), 200), 1);
    port->ClosePort();
    EXPECT_TRUE(SameBytes(peer.Receive(200, 1000), block));
    const auto closing = [](const std::vector<std::string>& events) {
        return DeviceJournal::Find(events, "DropDtr");
    };
    const auto events = journal->Events();
    EXPECT_EQ(DeviceJournal::Find(events, "Purge", closing(events)), -1);

    PtyPeer silent;  // never reads: the line's queue fills and a block runs out of time
    setenv("QELPUPD_COM2", silent.SlavePath().c_str(), 1);
    auto journal2 = std::make_shared<DeviceJournal>();
    CCommPort stalled(std::make_unique<RecordingDevice>(MakeSerialDevice(), journal2));
    ASSERT_EQ(stalled.OpenPort("COM2"), 1);
    stalled.SetWriteTimeout(100ms);
    while (stalled.WriteBlock(block.data(), 200) == 1) {
    }
    EXPECT_EQ(stalled.LastWriteFailure(), WriteFailure::kTimedOut);
    stalled.ClosePort();
    const auto stalledEvents = journal2->Events();
    EXPECT_GT(DeviceJournal::Find(stalledEvents, "Purge", closing(stalledEvents)), 0);
}

TEST_F(CommPortTest, DestroyingThePortEndsAWaitingWatcherFirst) {
    ASSERT_TRUE(journal->WaitFor("WaitReadable"));
    port.reset();
    const auto events = journal->Events();
    EXPECT_GE(DeviceJournal::Find(events, "Woken"), 0);
    EXPECT_EQ(DeviceJournal::Find(events, "Close"), static_cast<long>(events.size()) - 1);
}

TEST_F(CommPortTest, WatcherWaitingForRoomIsReleasedByCloseWithoutRewind) {
    peer.Send(Pattern(16200));
    ASSERT_TRUE(journal->WaitFor("", 16200));
    EXPECT_EQ(port->ClosePort(), 1);
    EXPECT_TRUE(WatcherGone());
    EXPECT_EQ(port->Buffer().ReadPosition(), 0);
    EXPECT_EQ(port->Buffer().WritePosition(), 16200);
}

TEST_F(CommPortTest, ReceptionStartsOverAtTheBeginningOnceTheReaderCaughtUp) {
    peer.Send(Pattern(16200));
    EXPECT_TRUE(SameBytes(Take(16200), Pattern(16200)));
    peer.Send(Pattern(100, 16200));
    EXPECT_TRUE(SameBytes(Take(100), Pattern(100, 16200)));
    EXPECT_EQ(port->Buffer().WritePosition(), 100);
}

TEST_F(CommPortTest, BlockThatCannotDrainEndsAfterTheTimeOutWithZero) {
    EXPECT_EQ(port->WriteBlock(Pattern(200).data(), 200), 1);
    EXPECT_TRUE(SameBytes(peer.Receive(200), Pattern(200)));

    port->SetWriteTimeout(100ms);
    int written = 0;  // the peer reads nothing: the line fills within a few dozen kilobytes
    while (written < 5000 && port->WriteBlock(Pattern(200).data(), 200) == 1) ++written;
    EXPECT_LT(written, 5000) << "the line never filled";
    peer.Receive(1 << 20, 0);
    EXPECT_EQ(port->WriteBlock("more", 4), 1) << "the port should work again once the peer reads";
}

TEST_F(CommPortTest, HangUpEndsTheWatcherAndIsRecorded) {
    ASSERT_TRUE(journal->WaitFor("WaitReadable"));
    peer.HangUp();
    std::atomic<int> stop{0};
    auto consumer =
        std::async(std::launch::async, [&] { return port->Buffer().WaitForData(stop); });
    ASSERT_EQ(consumer.wait_for(10s), std::future_status::ready) << "the hang-up went unnoticed";
    EXPECT_FALSE(consumer.get());
    EXPECT_TRUE(port->Buffer().InputEnded());
    EXPECT_TRUE(WatcherGone());
    EXPECT_LE(journal->Events().size(), 12u) << "the watcher kept polling a dead line";
    EXPECT_EQ(port->WriteBlock("late", 4), 0);
}

}  // namespace
