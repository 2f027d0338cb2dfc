// The serial port and its watcher on Win32 under Wine, over a COM port whose far end is the Linux
// peer (win32_com_peer.h) on a pseudo-terminal: the settings reach the line, a second open is
// refused, bytes cross unchanged both ways, a stalled line ends a write at its time-out (with no
// word of modem lines, which Wine's ports lack), a write in flight on it ends when the port
// closes, a hang-up ends the watcher, and closing the port wakes it at once. The port's device is
// wrapped in a RecordingDevice, so that tests wait for the watcher by its journal instead of by the
// clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

#include "serial/comm_port.h"
#include "serial/received_bytes.h"
#include "serial/recording_device.h"
#include "serial/win32_com_peer.h"

namespace {

using namespace std::chrono_literals;
using test::Pattern;
using test::SameBytes;

std::string Counting(long count, int first = 0) {
    std::string bytes(static_cast<size_t>(count), '\0');
    for (long i = 0; i < count; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(first + i);
    return bytes;
}

class Win32CommPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        com = peer.NewLine();
        _putenv_s("QELPUPD_COM1", com.c_str());
        port = std::make_unique<CCommPort>(
            std::make_unique<RecordingDevice>(MakeSerialDevice(), journal));
        port->BaudRate = UPDATE_BAUD;
        ASSERT_EQ(port->OpenPort("COM1"), 1) << port->DescribeOpenFailure();
    }

    std::string Take(size_t count) { return test::Take(port->Buffer(), count); }

    bool WatcherGone() {
        return port->State().watcherId.load() == std::thread::id{} &&
               port->State().watcherHandle.load() == 0;
    }

    ComPeer peer;
    std::string com;
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    std::unique_ptr<CCommPort> port;
};

TEST_F(Win32CommPortTest, OpensWithTheUpdateLineSettingsThenRaisesDtr) {
    // What Wine made of the DCB, read on the Linux side of the line.
    EXPECT_EQ(peer.Settings(), "19200 baud, 8N1, RTS/CTS");
    EXPECT_EQ(port->State().connected.load(), 1);
    EXPECT_NE(port->State().watcherId.load(), std::thread::id{});
    const auto events = journal->Events();
    EXPECT_GT(DeviceJournal::Find(events, "RaiseDtr"), DeviceJournal::Find(events, "Configure"));
}

TEST_F(Win32CommPortTest, SecondOpenIsRefusedAsBusyWhileTheFirstPortKeepsWorking) {
    CCommPort second;
    EXPECT_EQ(second.OpenPort("COM1"), 0);
    EXPECT_EQ(second.State().connected.load(), 0);
    const std::string why = second.DescribeOpenFailure();
    EXPECT_NE(why.find("\\\\.\\" + com + " (set by QELPUPD_COM1): "), std::string::npos) << why;
    EXPECT_NE(why.find("the port is busy"), std::string::npos) << why;

    peer.Send(11, 'a');
    EXPECT_EQ(Take(11), "abcdefghijk");
    peer.BeginReceive(4, 5000);
    EXPECT_EQ(port->WriteBlock("pong", 4), 1);
    EXPECT_EQ(peer.EndReceive(), "pong");

    _putenv_s("QELPUPD_COM2", "COM255");
    EXPECT_EQ(second.OpenPort("COM2"), 0);
    const std::string missing = second.DescribeOpenFailure();
    EXPECT_NE(missing.find("CreateFileW failed (error 2, "), std::string::npos) << missing;
    EXPECT_NE(missing.find("no such device"), std::string::npos) << missing;
}

TEST_F(Win32CommPortTest, EveryByteValueArrivesInOrderInReadsOfAtMost256) {
    peer.Send(4096, 0);
    EXPECT_TRUE(SameBytes(Take(4096), Counting(4096)));
    for (long size : journal->ReadSizes()) EXPECT_LE(size, RX_CHUNK);
}

TEST_F(Win32CommPortTest, UploadInBlocksArrivesByteForByte) {
    const std::string upload = Pattern(20000);
    peer.BeginReceive(upload.size(), 5000);
    for (size_t at = 0; at < upload.size(); at += 200) {
        ASSERT_EQ(port->WriteBlock(upload.data() + at, 200), 1) << "block at " << at;
    }
    EXPECT_TRUE(SameBytes(peer.EndReceive(), upload));
}

TEST_F(Win32CommPortTest, StalledLineEndsTheWriteAtTheTimeOutAndWorksOnceItMovesAgain) {
    port->SetWriteTimeout(300ms);
    port->SetHoldReport([](const OutputHold&) { ADD_FAILURE() << "a pseudo-terminal held it"; });
    const std::string block = Pattern(200);
    int written = 0;  // the peer reads nothing: the line fills within a few dozen kilobytes
    while (written < 5000 && port->WriteBlock(block.data(), 200) == 1) ++written;
    EXPECT_LT(written, 5000) << "the line never filled";
    EXPECT_EQ(port->LastWriteFailure(), WriteFailure::kTimedOut);
    EXPECT_FALSE(port->LastWriteHold().Held());

    peer.BeginReceive(1 << 20, 500);
    const std::string drained = peer.EndReceive();
    EXPECT_GE(drained.size(), static_cast<size_t>(written) * 200);
    peer.BeginReceive(4, 5000);
    EXPECT_EQ(port->WriteBlock("more", 4), 1) << "the port should work again once the peer reads";
    EXPECT_EQ(peer.EndReceive(), "more");
}

TEST_F(Win32CommPortTest, AWriteStillInFlightOnAStalledLineEndsAsThePortCloses) {
    port->SetWriteTimeout(300ms);
    const std::string block = Pattern(200);
    int written = 0;
    while (written < 5000 && port->WriteBlock(block.data(), 200) == 1) ++written;
    ASSERT_EQ(port->LastWriteFailure(), WriteFailure::kTimedOut);
    // On another thread only so that a close that waits for ever fails the test.
    auto closing = std::async(std::launch::async, [&] { return port->ClosePort(); });
    ASSERT_EQ(closing.wait_for(10s), std::future_status::ready) << "the close waited for the write";
    // Ended within its bound, not given up.
    EXPECT_EQ(port->DescribeCloseProblem(), "");
    // The write that did not drain was dropped with the output, before the handle closed.
    const auto events = journal->Events();
    const long purge = DeviceJournal::Find(events, "Purge", DeviceJournal::Find(events, "Wake"));
    ASSERT_GE(purge, 0);
    EXPECT_GT(DeviceJournal::Find(events, "Close", purge), purge);
}

TEST_F(Win32CommPortTest, HangUpEndsTheWatcherAndTheNextWrite) {
    ASSERT_TRUE(journal->WaitFor("WaitReadable"));
    peer.HangUp();
    std::atomic<int> stop{0};
    auto consumer =
        std::async(std::launch::async, [&] { return port->Buffer().WaitForData(stop); });
    ASSERT_EQ(consumer.wait_for(10s), std::future_status::ready) << "the hang-up went unnoticed";
    EXPECT_FALSE(consumer.get());
    EXPECT_TRUE(port->Buffer().InputEnded());
    EXPECT_TRUE(WatcherGone());
    EXPECT_LE(journal->Events().size(), 12u) << "the watcher kept reading a dead line";
    EXPECT_EQ(port->WriteBlock("late", 4), 0);
    EXPECT_EQ(port->LastWriteFailure(), WriteFailure::kGone);
}

TEST_F(Win32CommPortTest, ClosePortWakesTheWaitingWatcherAtOnce) {
    ASSERT_TRUE(journal->WaitFor("WaitReadable"));
    // On another thread only so that a watcher that is never woken fails the test instead of
    // hanging it; the test thread does nothing with the port meanwhile.
    auto closing = std::async(std::launch::async, [&] { return port->ClosePort(); });
    ASSERT_EQ(closing.wait_for(10s), std::future_status::ready) << "the watcher was not woken";
    EXPECT_EQ(closing.get(), 1);
    EXPECT_TRUE(WatcherGone());
    const auto events = journal->Events();
    const long wake = DeviceJournal::Find(events, "Wake");
    ASSERT_GE(wake, 0);
    EXPECT_GT(DeviceJournal::Find(events, "Woken", wake), wake);
    EXPECT_EQ(DeviceJournal::Find(events, "Close"), static_cast<long>(events.size()) - 1);
}

}  // namespace
