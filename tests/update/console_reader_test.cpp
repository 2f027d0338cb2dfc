// The console reader against a real log window: line assembly, dropped bytes, keywords, flags,
// the posted messages, hang-ups.

#include "update/console_reader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "framework/worker_thread.h"
#include "log_window.h"
#include "serial/receive_buffer.h"
#include "support/gui_wait.h"

using test::WaitUntil;

namespace {

class ConsoleReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window.Create(nullptr));
        session.buffer = &buffer;
        session.log = window.Log().Handle();
        session.mainWindow = window.Handle();
        reader = fw::WorkerThread("console-reader", [this] { return ConsoleReaderProc(session); });
    }
    void TearDown() override {
        session.RequestStop();
        ASSERT_TRUE(WaitUntil([&] { return window.updateEnds.load() == 1; }));
        reader.Join();
        EXPECT_EQ(window.updateEnds.load(), 1);  // exactly once
    }

    void Feed(const std::string& bytes) {
        std::atomic<int> connected{1};
        for (std::size_t i = 0; i < bytes.size(); i += RX_CHUNK) {
            ASSERT_TRUE(buffer.MakeRoom(connected));
            std::size_t n = std::min<std::size_t>(RX_CHUNK, bytes.size() - i);
            buffer.Append(reinterpret_cast<const unsigned char*>(bytes.data() + i),
                          static_cast<int>(n));
        }
    }
    // Waits until the reader has taken every byte fed so far and the log shows `expected`; returns
    // what the log shows.
    std::string LogAfterDrain(const std::string& expected) {
        EXPECT_TRUE(WaitUntil([&] { return buffer.ReadPosition() == buffer.WritePosition(); }));
        WaitUntil([&] { return window.Log().GetText() == expected; }, std::chrono::seconds(5));
        return window.Log().GetText();
    }
    bool Ended() {
        return WaitUntil([&] { return window.updateEnds.load() == 1; });
    }

    test::LogWindow window;
    ReceiveBuffer buffer;
    UpdateSession session;
    fw::WorkerThread reader;
};

TEST_F(ConsoleReaderTest, LinesEndAtLfAndCrIsDropped) {
    Feed("abc\r\n");
    Feed("abc\n");
    Feed("a\rb\r\r\n");  // a lone CR never ends a line
    Feed("\n");          // an empty line
    EXPECT_EQ(LogAfterDrain("abc\r\nabc\r\nab\r\n\r\n"), "abc\r\nabc\r\nab\r\n\r\n");
    EXPECT_EQ(window.dataRequests.load(), 0);
    EXPECT_EQ(session.flags.stop.load(), 0);
}

TEST_F(ConsoleReaderTest, CrAndLfSplitAcrossArrivalsStillMakeOneLine) {
    Feed("boot lo");
    Feed("ader\r");
    EXPECT_EQ(LogAfterDrain(""), "");  // a partial line is never shown
    Feed("\nnext");
    EXPECT_EQ(LogAfterDrain("boot loader\r\n"), "boot loader\r\n");
}

TEST_F(ConsoleReaderTest, NulAndHighBytesAreDropped) {
    Feed(std::string("a\xE9") + '\0' + "b\x80\xFF\n");
    EXPECT_EQ(LogAfterDrain("ab\r\n"), "ab\r\n");
}

TEST_F(ConsoleReaderTest, DataRequestAnywhereInALinePostsAndReadingGoesOn) {
    Feed("xx bootmode=DATAWAIT yy\n");
    ASSERT_TRUE(WaitUntil([&] { return window.dataRequests.load() == 1; }));
    Feed("bootmode=DATAWAIT\n");
    ASSERT_TRUE(WaitUntil([&] { return window.dataRequests.load() == 2; }));
    // The first row wins: a data request, not a failure.
    Feed("bootmode=DATAWAIT bootmode=ERROR\n");
    ASSERT_TRUE(WaitUntil([&] { return window.dataRequests.load() == 3; }));
    EXPECT_EQ(session.flags.stop.load(), 0);
    EXPECT_EQ(session.flags.result.load(), 1);
    EXPECT_EQ(window.updateEnds.load(), 0);
}

TEST_F(ConsoleReaderTest, KeywordsMatchExactlyAndCaseSensitively) {
    const std::string lines =
        "versionup succeed\nVERSIONUP SUCCEED\nbootmode=error\nrecord  header\n";
    Feed(lines);
    std::string shown = lines;
    for (std::size_t at = 0; (at = shown.find('\n', at)) != std::string::npos; at += 2)
        shown.insert(at, "\r");
    EXPECT_EQ(LogAfterDrain(shown), shown);
    EXPECT_EQ(session.flags.stop.load(), 0);
    EXPECT_EQ(window.updateEnds.load(), 0);
}

TEST_F(ConsoleReaderTest, StopLeavesLaterBytesUnreadAndTheEndingLineIsLast) {
    Feed("line one\nVersionup succeed.\nnot shown\n");
    ASSERT_TRUE(Ended());
    EXPECT_EQ(window.Log().GetText(), "line one\r\nVersionup succeed.\r\n");
    EXPECT_EQ(buffer.ReadPosition(),
              static_cast<int>(std::string("line one\nVersionup succeed.\n").size()));
    EXPECT_EQ(session.flags.result.load(), 1);
}

TEST_F(ConsoleReaderTest, AStopWhileIdleEndsTheReader) {
    EXPECT_EQ(window.updateEnds.load(), 0);
    session.RequestStop();  // no byte arrives
    ASSERT_TRUE(Ended());
}

TEST_F(ConsoleReaderTest, AHangUpEndsTheRunAsFailedAfterShowingWhatCame) {
    Feed("last words\npartial");
    buffer.MarkInputEnded();
    ASSERT_TRUE(Ended());
    EXPECT_EQ(window.Log().GetText(), "last words\r\n");
    EXPECT_EQ(session.flags.result.load(), 0);
}

// One row for each end keyword: the result it leaves.
struct EndCase {
    const char* line;
    int result;
};
void PrintTo(const EndCase& c, std::ostream* os) {
    *os << '"' << c.line << '"';
}

class EndKeywordTest : public ConsoleReaderTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndKeywordTest, EndsTheRunWithItsResult) {
    Feed(std::string("boot\n") + GetParam().line + "\n");
    ASSERT_TRUE(Ended());
    EXPECT_EQ(session.flags.stop.load(), 1);
    EXPECT_EQ(session.flags.result.load(), GetParam().result);
    EXPECT_EQ(window.Log().GetText(), std::string("boot\r\n") + GetParam().line + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Keywords, EndKeywordTest,
                         ::testing::Values(EndCase{"ERR: record header broken at 0x100", 0},
                                           EndCase{"bootmode=ERROR", 0},
                                           EndCase{">> Versionup succeed <<", 1},
                                           EndCase{"record end check sum error", 1},
                                           EndCase{"Warning! application area is empty", 1}),
                         [](const auto& param_info) {
                             std::string name;
                             for (char c : std::string(param_info.param.line))
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

}  // namespace
