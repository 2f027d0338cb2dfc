// MessagePumpPortWaiter on a stalled line under Wine: while a block waits for room, the thread's
// messages are dispatched (a timer's handler runs inside the wait), the hook sees each message
// first, a close from a handler ends the write with 0 before the device is closed, and a WM_QUIT
// taken during the wait is there for the thread's own loop afterwards. No windows: thread timers
// and thread messages need no display.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "serial/comm_port.h"
#include "serial/message_pump_port_waiter.h"
#include "serial/received_bytes.h"
#include "serial/recording_device.h"
#include "serial/win32_api.h"
#include "serial/win32_com_peer.h"

namespace {

using namespace std::chrono_literals;

// Larger than the line holds while the peer reads nothing.
constexpr uint32_t kBlockBytes = 1 << 20;

// The port of the test whose timer fired, for the timer's handler.
CCommPort* g_closingPort = nullptr;
std::shared_ptr<DeviceJournal> g_journal;

void CALLBACK CloseFromTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    g_journal->Add("TimerRan");
    g_closingPort->ClosePort();
}

class MessagePumpWaiterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        _putenv_s("QELPUPD_COM1", peer.NewLine().c_str());
        port = std::make_unique<CCommPort>(
            std::make_unique<RecordingDevice>(MakeSerialDevice(), journal));
        port->BaudRate = UPDATE_BAUD;
        ASSERT_EQ(port->OpenPort("COM1"), 1) << port->DescribeOpenFailure();
        port->SetWaiter(&waiter);
    }
    void TearDown() override { port.reset(); }

    // Every message the hook saw, by its number.
    std::vector<UINT> seen;
    MessagePumpPortWaiter waiter{[this](MSG& message) {
        seen.push_back(message.message);
        return message.message == WM_APP + 1;  // taken by the hook, as IsDialogMessage would
    }};
    ComPeer peer;
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    std::unique_ptr<CCommPort> port;
};

TEST_F(MessagePumpWaiterTest, CloseFromATimerInsideTheWaitEndsTheWriteWithZero) {
    g_closingPort = port.get();
    g_journal = journal;
    ASSERT_NE(SetTimer(nullptr, 0, 200, CloseFromTimer), 0u);
    port->SetWriteTimeout(20s);
    const std::string block = test::Pattern(kBlockBytes);
    EXPECT_EQ(port->WriteBlock(block.data(), kBlockBytes), 0);
    const auto events = journal->Events();
    const long ran = DeviceJournal::Find(events, "TimerRan");
    ASSERT_GE(ran, 0) << "the timer's handler never ran inside the wait";
    EXPECT_GT(DeviceJournal::Find(events, "Close", ran), ran);
    EXPECT_EQ(port->WriteBlock("late", 4), 0);
    EXPECT_NE(std::find(seen.begin(), seen.end(), static_cast<UINT>(WM_TIMER)), seen.end());
}

TEST_F(MessagePumpWaiterTest, HookSeesMessagesFirstAndAQuitOutlivesTheWait) {
    port->SetWriteTimeout(300ms);
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 0, 0);
    PostQuitMessage(7);
    const std::string block = test::Pattern(kBlockBytes);
    EXPECT_EQ(port->WriteBlock(block.data(), kBlockBytes), 0);
    EXPECT_EQ(port->LastWriteFailure(), WriteFailure::kTimedOut)
        << "a quit must not cut the write short";
    EXPECT_NE(std::find(seen.begin(), seen.end(), static_cast<UINT>(WM_APP + 1)), seen.end());
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 7u);
}

}  // namespace
