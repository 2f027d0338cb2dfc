// The event-loop waiter on a real port over a pseudo-terminal: while WriteBlock waits for room or
// for the queue to drain, the UI thread serves its posted messages; a message box opened inside
// the wait does not turn into a write time-out; a port closed inside the wait ends the write.
#include "framework/event_loop_port_waiter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <future>

#include "framework/message_box.h"
#include "serial/comm_port.h"
#include "serial/pass_through_device.h"
#include "serial/pty_peer.h"
#include "support/gui_wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Larger than a pseudo-terminal holds: its writer must wait for the peer to read.
constexpr size_t kBigBlock = 1 << 20;

// The real device, except that its output queue reads full while `held` is set: a pseudo-terminal
// hands every byte to its peer at once, a real line does not.
class HeldQueueDevice final : public PassThroughDevice {
  public:
    HeldQueueDevice(std::unique_ptr<SerialDevice> real, bool& held)
        : PassThroughDevice(std::move(real)), held_(held) {}
    DeviceStatus OutputQueued() override {
        return held_ ? DeviceStatus{200} : PassThroughDevice::OutputQueued();
    }

  private:
    bool& held_;
};

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 5 + i / 241);
    return bytes;
}

void Post(std::function<void()> handler) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(handler),
                              Qt::QueuedConnection);
}

class EventLoopWaitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QELPUPD_COM1", peer.SlavePath().c_str(), 1);
        port = std::make_unique<CCommPort>(
            std::make_unique<HeldQueueDevice>(MakeSerialDevice(), held));
        port->BaudRate = UPDATE_BAUD;
        ASSERT_EQ(port->OpenPort("COM1"), 1) << port->DescribeOpenFailure();
        port->SetWaiter(&waiter);
    }
    void TearDown() override {
        port.reset();
        if (received.valid()) received.wait();
    }

    void StartReading(size_t bytes) {
        received = std::async(std::launch::async, [this, bytes] { return peer.Receive(bytes); });
    }

    PtyPeer peer;
    bool held = false;
    fw::EventLoopPortWaiter waiter;
    std::unique_ptr<CCommPort> port;
    std::future<std::string> received;
};

// The posted message is what lets the block finish: were it served only after WriteBlock returned,
// the block would end at the write time-out with 0.
TEST_F(EventLoopWaitTest, PostedMessageIsServedWhileABlockWaitsForRoomOrDrains) {
    const struct {
        const char* name;
        size_t size;
        bool holdQueue;
    } cases[] = {{"waiting for room", kBigBlock, false}, {"draining", 200, true}};
    for (const auto& c : cases) {
        port->SetWriteTimeout(5s);
        held = c.holdQueue;
        bool served = false;
        Post([&] {
            served = true;
            StartReading(c.size);
            held = false;
        });
        const std::string block = Pattern(c.size);
        EXPECT_EQ(port->WriteBlock(block.data(), static_cast<uint32_t>(c.size)), 1) << c.name;
        EXPECT_TRUE(served) << c.name;
        ASSERT_TRUE(received.valid()) << c.name;
        EXPECT_TRUE(received.get() == block) << c.name;
    }
}

TEST_F(EventLoopWaitTest, MessageBoxOpenPastTheDeadlineIsNoWriteTimeOut) {
    // Fill the line with the default waiter first.
    port->SetWaiter(nullptr);
    port->SetWriteTimeout(50ms);
    const std::string fill = Pattern(4096);
    int blocks = 0;
    while (blocks < 1000 && port->WriteBlock(fill.data(), 4096) == 1) ++blocks;
    ASSERT_LT(blocks, 1000) << "the line never filled";

    port->SetWaiter(&waiter);
    port->SetWriteTimeout(300ms);
    // The operator reads the box for longer than the write time-out; meanwhile the line empties.
    test::ModalAnswerer answerer([this](QWidget* box) {
        QTimer::singleShot(600ms, box, [this, box] {
            peer.Receive(1 << 24, 0);
            QTest::keyClick(box, Qt::Key_Return);
        });
    });
    Post([] { fw::MessageBox("result"); });
    EXPECT_EQ(port->WriteBlock("block", 5), 1);
    EXPECT_EQ(answerer.Seen(), 1);
}

TEST_F(EventLoopWaitTest, PortClosedByAHandlerEndsTheWaitAndTheWrite) {
    port->SetWriteTimeout(60s);
    Post([this] { port->ClosePort(); });
    const std::string block = Pattern(kBigBlock);
    const auto start = Clock::now();
    EXPECT_EQ(port->WriteBlock(block.data(), kBigBlock), 0);
    EXPECT_LT(Clock::now() - start, 30s) << "the wait outlived the port";
}

}  // namespace
