// The console reader with the window program's sink, against a real log window: the lines land in
// the log control, and the data request and the end arrive as the main dialog's posted messages.

#include "app/window_console_sink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "framework/worker_thread.h"
#include "log_window.h"
#include "serial/receive_buffer.h"
#include "support/gui_wait.h"
#include "update/console_reader.h"

namespace {

using test::WaitUntil;

class WindowConsoleSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window.Create(nullptr));
        session.buffer = &buffer;
    }

    void StartReader() {
        sink = WindowConsoleSink(window.Log().Handle(), window.Handle());
        reader =
            fw::WorkerThread("console-reader", [this] { return ConsoleReaderProc(session, sink); });
    }

    void Feed(const std::string& bytes) {
        std::atomic<int> connected{1};
        ASSERT_TRUE(buffer.MakeRoom(connected));
        buffer.Append(reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()));
    }

    test::LogWindow window;
    ReceiveBuffer buffer;
    UpdateSession session;
    WindowConsoleSink sink;
    fw::WorkerThread reader;
};

TEST_F(WindowConsoleSinkTest, LinesGoToTheLogAndTheReaderPostsItsRequestsAndItsEnd) {
    StartReader();
    Feed("boot\r\nbootmode=DATAWAIT\n");
    ASSERT_TRUE(WaitUntil([&] { return window.dataRequests.load() == 1; }));
    EXPECT_EQ(window.Log().GetText(), "boot\r\nbootmode=DATAWAIT\r\n");
    Feed("Versionup succeed\n");
    ASSERT_TRUE(WaitUntil([&] { return window.updateEnds.load() == 1; }));
    reader.Join();
    EXPECT_EQ(window.Log().GetText(), "boot\r\nbootmode=DATAWAIT\r\nVersionup succeed\r\n");
    EXPECT_EQ(window.updateEnds.load(), 1);
    EXPECT_EQ(window.dataRequests.load(), 1);
}

// The run records only the lines the sink showed: once the log is gone (the window closed while the
// device still talks), a line is not shown, and the sink says so.
TEST_F(WindowConsoleSinkTest, SaysWhetherTheLogTookTheLine) {
    sink = WindowConsoleSink(window.Log().Handle(), window.Handle());
    EXPECT_TRUE(sink.ShowLine("boot\r\n"));
    window.DestroyWindow();
    EXPECT_FALSE(sink.ShowLine("late\r\n"));
}

}  // namespace
