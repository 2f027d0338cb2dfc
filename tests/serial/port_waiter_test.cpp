// WriteBlock's waits over a real pseudo-terminal whose far end stops reading, so that a large block
// must wait for room: the default waiter ends at the deadline or at a hang-up, and what a handler
// served inside a wait may do (write again, close the port) cannot harm the block in progress.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>

#include "serial/comm_port.h"
#include "serial/pty_peer.h"
#include "serial/recording_device.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Larger than a pseudo-terminal holds: its writer must wait for the peer to read.
constexpr size_t kBlockBytes = 1 << 20;

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 11 + i / 253);
    return bytes;
}

// The default waiter, announcing its first wait to another thread and, before it, running `serve`
// on the waiting thread as an event loop would run a handler. Interrupt() is noted in the journal.
class ServingWaiter final : public PortWaiter {
  public:
    ServingWaiter(std::shared_ptr<DeviceJournal> journal, std::function<void()> serve)
        : journal_(std::move(journal)), serve_(std::move(serve)) {}

    PortWaitEnd Wait(PortWaitObject object, std::chrono::milliseconds timeout) override {
        if (auto serve = std::exchange(serve_, nullptr)) serve();
        {
            std::lock_guard lock(mutex_);
            waiting_ = true;
        }
        waitingChanged_.notify_all();
        if (interrupted_) return PortWaitEnd::kInterrupted;
        return polling_.Wait(object, timeout);
    }
    void Interrupt() override {
        journal_->Add("Interrupt");
        interrupted_ = true;
    }
    bool AwaitFirstWait() {
        std::unique_lock lock(mutex_);
        return waitingChanged_.wait_for(lock, 10s, [this] { return waiting_; });
    }

  private:
    std::shared_ptr<DeviceJournal> journal_;
    std::function<void()> serve_;
    PollingPortWaiter polling_;
    bool interrupted_ = false;
    std::mutex mutex_;
    std::condition_variable waitingChanged_;
    bool waiting_ = false;
};

class PortWaitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QELPUPD_COM1", peer.SlavePath().c_str(), 1);
        port = std::make_unique<CCommPort>(
            std::make_unique<RecordingDevice>(MakeSerialDevice(), journal));
        port->BaudRate = UPDATE_BAUD;
        ASSERT_EQ(port->OpenPort("COM1"), 1) << port->DescribeOpenFailure();
    }

    // Starts reading everything the port sends, on another thread.
    void StartReading() {
        received =
            std::async(std::launch::async, [this] { return peer.Receive(kBlockBytes, 500); });
    }

    PtyPeer peer;
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    std::unique_ptr<CCommPort> port;
    std::future<std::string> received;
};

TEST_F(PortWaitTest, DefaultWaiterEndsAtTheDeadlineWithZero) {
    port->SetWriteTimeout(300ms);
    const std::string block = Pattern(kBlockBytes);
    const auto start = Clock::now();
    EXPECT_EQ(port->WriteBlock(block.data(), kBlockBytes), 0);
    EXPECT_GE(Clock::now() - start, 300ms) << "gave up before the deadline";
}

TEST_F(PortWaitTest, DefaultWaiterEndsAtOnceWhenTheLineHangsUp) {
    ServingWaiter waiter(journal, nullptr);
    port->SetWaiter(&waiter);
    port->SetWriteTimeout(60s);
    const std::string block = Pattern(kBlockBytes);
    auto write =
        std::async(std::launch::async, [&] { return port->WriteBlock(block.data(), kBlockBytes); });
    ASSERT_TRUE(waiter.AwaitFirstWait());
    peer.HangUp();
    ASSERT_EQ(write.wait_for(10s), std::future_status::ready) << "the hang-up went unnoticed";
    EXPECT_EQ(write.get(), 0);
}

TEST_F(PortWaitTest, SecondBlockFromInsideTheWaitIsRefusedAndTheFirstArrivesWhole) {
    int nested = -1;
    ServingWaiter waiter(journal, [&] {
        nested = port->WriteBlock("cut in", 6);
        StartReading();
    });
    port->SetWaiter(&waiter);
    const std::string block = Pattern(kBlockBytes);
    EXPECT_EQ(port->WriteBlock(block.data(), kBlockBytes), 1);
    EXPECT_EQ(nested, 0);
    ASSERT_TRUE(received.valid());
    EXPECT_TRUE(received.get() == block);
}

TEST_F(PortWaitTest, ClosingThePortInsideTheWaitEndsTheWriteWithZero) {
    ServingWaiter waiter(journal, [&] { port->ClosePort(); });
    port->SetWaiter(&waiter);
    port->SetWriteTimeout(60s);
    const std::string block = Pattern(kBlockBytes);
    EXPECT_EQ(port->WriteBlock(block.data(), kBlockBytes), 0);
    const auto events = journal->Events();
    const long interrupt = DeviceJournal::Find(events, "Interrupt");
    ASSERT_GE(interrupt, 0) << "the waiter was not told";
    EXPECT_GT(DeviceJournal::Find(events, "Close", interrupt), interrupt)
        << "the descriptor was closed under the waiter";
    EXPECT_EQ(port->WriteBlock("late", 4), 0);
}

}  // namespace
