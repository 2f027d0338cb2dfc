// The console reader over a receive buffer, reporting to a recording sink: line assembly, dropped
// bytes, keywords, flags, the reports to the sink, hang-ups. No windows.

#include "update/console_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "serial/receive_buffer.h"

namespace {

using namespace std::chrono_literals;

// What the reader has reported so far.
struct Seen {
    std::string log;
    int dataRequests = 0;
    int runEnds = 0;
};

// Notes what the reader reports; the test thread waits on it with a deadline.
class RecordingSink final : public ConsoleSink {
  public:
    bool ShowLine(std::string_view shown) override {
        Change([&] { seen_.log.append(shown); });
        return true;
    }
    void DataRequested() override {
        Change([&] { ++seen_.dataRequests; });
    }
    void RunEnded() override {
        Change([&] { ++seen_.runEnds; });
    }

    // Waits until `holds` is true of what was reported, at most `deadline`.
    bool WaitFor(const std::function<bool(const Seen&)>& holds,
                 std::chrono::milliseconds deadline = 10s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return holds(seen_); });
    }
    Seen Now() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

  private:
    void Change(const std::function<void()>& change) {
        std::lock_guard lock(mutex_);
        change();
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Seen seen_;
};

class ConsoleReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session.buffer = &buffer;
        reader = std::thread([this] { ConsoleReaderProc(session, sink); });
    }
    void TearDown() override {
        session.RequestStop();
        EXPECT_TRUE(Ended());
        reader.join();
        EXPECT_EQ(sink.Now().runEnds, 1);  // exactly once
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
    // Waits until the reader has taken every byte fed so far; the buffer has no wait for that, so
    // look every millisecond, up to a deadline.
    bool Drained() {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (buffer.ReadPosition() != buffer.WritePosition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    // What the log shows once it shows `expected`, or after a deadline.
    std::string LogOnce(const std::string& expected) {
        sink.WaitFor([&](const Seen& s) { return s.log == expected; }, 5s);
        return sink.Now().log;
    }
    bool Ended() {
        return sink.WaitFor([](const Seen& s) { return s.runEnds > 0; });
    }

    ReceiveBuffer buffer;
    UpdateSession session;
    RecordingSink sink;
    std::thread reader;
};

TEST_F(ConsoleReaderTest, LinesEndAtLfAndCrIsDropped) {
    Feed("abc\r\n");
    Feed("abc\n");
    Feed("a\rb\r\r\n");  // a lone CR never ends a line
    Feed("\n");          // an empty line
    EXPECT_EQ(LogOnce("abc\r\nabc\r\nab\r\n\r\n"), "abc\r\nabc\r\nab\r\n\r\n");
    EXPECT_EQ(sink.Now().dataRequests, 0);
    EXPECT_EQ(session.flags.stop.load(), 0);
}

TEST_F(ConsoleReaderTest, CrAndLfSplitAcrossArrivalsStillMakeOneLine) {
    Feed("boot lo");
    Feed("ader\r");
    ASSERT_TRUE(Drained());
    EXPECT_EQ(sink.Now().log, "");  // a partial line is never shown
    Feed("\nnext");
    EXPECT_EQ(LogOnce("boot loader\r\n"), "boot loader\r\n");
}

TEST_F(ConsoleReaderTest, NulAndHighBytesAreDropped) {
    Feed(std::string("a\xE9") + '\0' + "b\x80\xFF\n");
    EXPECT_EQ(LogOnce("ab\r\n"), "ab\r\n");
}

TEST_F(ConsoleReaderTest, DataRequestAnywhereInALineIsReportedAndReadingGoesOn) {
    const auto requests = [](int n) { return [n](const Seen& s) { return s.dataRequests == n; }; };
    Feed("xx bootmode=DATAWAIT yy\n");
    ASSERT_TRUE(sink.WaitFor(requests(1)));
    Feed("bootmode=DATAWAIT\n");
    ASSERT_TRUE(sink.WaitFor(requests(2)));
    // The first row wins: a data request, not a failure.
    Feed("bootmode=DATAWAIT bootmode=ERROR\n");
    ASSERT_TRUE(sink.WaitFor(requests(3)));
    EXPECT_EQ(session.flags.stop.load(), 0);
    EXPECT_EQ(session.flags.result.load(), 1);
    EXPECT_EQ(sink.Now().runEnds, 0);
}

TEST_F(ConsoleReaderTest, TheLineShowsBeforeItsDataRequest) {
    Feed("bootmode=DATAWAIT\n");
    ASSERT_TRUE(sink.WaitFor([](const Seen& s) { return s.dataRequests == 1; }));
    EXPECT_EQ(sink.Now().log, "bootmode=DATAWAIT\r\n");
}

TEST_F(ConsoleReaderTest, KeywordsMatchExactlyAndCaseSensitively) {
    const std::string lines =
        "versionup succeed\nVERSIONUP SUCCEED\nbootmode=error\nrecord  header\n";
    Feed(lines);
    std::string shown = lines;
    for (std::size_t at = 0; (at = shown.find('\n', at)) != std::string::npos; at += 2)
        shown.insert(at, "\r");
    EXPECT_EQ(LogOnce(shown), shown);
    EXPECT_EQ(session.flags.stop.load(), 0);
    EXPECT_EQ(sink.Now().runEnds, 0);
}

TEST_F(ConsoleReaderTest, StopLeavesLaterBytesUnreadAndTheEndingLineIsLast) {
    Feed("line one\nVersionup succeed.\nnot shown\n");
    ASSERT_TRUE(Ended());
    EXPECT_EQ(sink.Now().log, "line one\r\nVersionup succeed.\r\n");
    EXPECT_EQ(buffer.ReadPosition(),
              static_cast<int>(std::string("line one\nVersionup succeed.\n").size()));
    EXPECT_EQ(session.flags.result.load(), 1);
}

TEST_F(ConsoleReaderTest, AStopWhileIdleEndsTheReader) {
    EXPECT_EQ(sink.Now().runEnds, 0);
    session.RequestStop();  // no byte arrives
    ASSERT_TRUE(Ended());
}

TEST_F(ConsoleReaderTest, AHangUpEndsTheRunAsFailedAfterShowingWhatCame) {
    Feed("last words\npartial");
    buffer.MarkInputEnded();
    ASSERT_TRUE(Ended());
    EXPECT_EQ(sink.Now().log, "last words\r\n");
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
    EXPECT_EQ(sink.Now().log, std::string("boot\r\n") + GetParam().line + "\r\n");
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
