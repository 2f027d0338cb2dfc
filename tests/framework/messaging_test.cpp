// Posting and sending between threads, and what happens once the window is gone.

#include <gtest/gtest.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <thread>

#include "framework/window.h"
#include "support/gui_wait.h"
#include "test_dialog.h"

using namespace std::chrono_literals;
using test::RecordingDialog;
using test::WaitUntil;

namespace {

class MessagingTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create(nullptr)); }
    RecordingDialog dialog;
};

TEST_F(MessagingTest, PostIsQueuedForTheUiThreadAndReturnsAtOnce) {
    EXPECT_TRUE(fw::PostMessage(dialog.Handle(), test::WM_TEST_PING, 7, 8));
    EXPECT_EQ(dialog.events.size(), 1u);  // only "init": nothing ran yet
    ASSERT_TRUE(WaitUntil([&] { return dialog.events.size() == 2; }));
    EXPECT_EQ(dialog.events.back(), "ping 7 8");
}

TEST_F(MessagingTest, SendFromAWorkerRunsOnTheUiThreadAndReturnsTheResult) {
    std::atomic<fw::LRESULT> result{-1};
    std::atomic<bool> ranOnUiThread{false};
    std::thread worker([&] {
        result = fw::SendCall(dialog.Handle(), [&](fw::Window& w) {
            ranOnUiThread = fw::OnUiThread();
            return w.WindowProc(test::WM_TEST_PING, 41, 0);
        });
    });
    ASSERT_TRUE(WaitUntil([&] { return result.load() != -1; }));
    worker.join();
    EXPECT_EQ(result.load(), 42);
    EXPECT_TRUE(ranOnUiThread.load());
}

TEST_F(MessagingTest, MessagesToAGoneWindowDoNothingAndReturnAtOnce) {
    fw::WindowHandle handle = dialog.Handle();
    dialog.DestroyWindow();
    EXPECT_FALSE(handle.IsAlive());
    EXPECT_FALSE(fw::PostMessage(handle, test::WM_TEST_PING, 1, 2));
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        EXPECT_EQ(fw::SendMessage(handle, test::WM_TEST_PING, 1, 2), 0);
        returned = true;
    });
    worker.join();  // the UI thread does not run: the send must not need it
    EXPECT_TRUE(returned.load());
    QApplication::processEvents();
    EXPECT_EQ(dialog.events.size(), 1u);
}

TEST_F(MessagingTest, APostQueuedBeforeTheWindowWentIsDropped) {
    fw::PostMessage(dialog.Handle(), test::WM_TEST_PING, 1, 2);
    dialog.DestroyWindow();
    QApplication::processEvents();
    EXPECT_EQ(dialog.events.size(), 1u);
}

// The UI thread destroys the window while a worker waits in a send to it, then joins the worker:
// the join must not deadlock, because the pending send is released with the window.
TEST_F(MessagingTest, ASendPendingWhenTheWindowIsDestroyedIsReleased) {
    std::atomic<bool> sending{false};
    std::atomic<fw::LRESULT> result{-1};
    std::thread worker([&] {
        sending = true;
        result = fw::SendMessage(dialog.Handle(), test::WM_TEST_PING, 5, 0);
    });
    while (!sending.load()) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);  // let the worker reach its wait
    dialog.DestroyWindow();             // without pumping: the queued call has not run
    worker.join();
    EXPECT_EQ(result.load(), 0);
    QApplication::processEvents();  // the stale call finds no window
    EXPECT_EQ(dialog.events.size(), 1u);
}

TEST_F(MessagingTest, ManySendersAllComplete) {
    constexpr int kThreads = 4, kSends = 200;
    std::atomic<int> completed{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&] {
            for (int i = 0; i < kSends; ++i)
                if (fw::SendMessage(dialog.Handle(), test::WM_TEST_PING, 1, 0) == 2) ++completed;
        });
    ASSERT_TRUE(WaitUntil([&] { return completed.load() == kThreads * kSends; }));
    for (auto& w : workers) w.join();
}

}  // namespace
