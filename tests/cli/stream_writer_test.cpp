// A stream whose reader stopped taking text: the writer keeps what the program must say up to its
// limit and refuses the rest, so that a station left writing to a hung pipe for a whole shift
// keeps its memory; droppable text is refused much earlier. Finish then gives up in time.

#include "cli/stream_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;

TEST(StreamWriterTest, AStalledStreamHoldsNoMoreThanTheLimitAndFinishGivesUp) {
    signal(SIGPIPE, SIG_IGN);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::size_t taken = 0;
    {
        StreamWriter writer;
        const std::string line(1000, 'x');
        while (writer.Put({{ends[1], line}}, true) && taken < 4 * StreamWriter::kCapacity)
            taken += line.size();
        // The pipe's own buffer and the piece being written are beyond the queue's count.
        EXPECT_LE(writer.Waiting(), StreamWriter::kCapacity);
        while (writer.Put({{ends[1], line}}, false) && taken < 4 * StreamWriter::kLimit)
            taken += line.size();
        EXPECT_LE(writer.Waiting(), StreamWriter::kLimit);
        EXPECT_GT(writer.Waiting(), StreamWriter::kLimit - line.size());
        EXPECT_FALSE(writer.Finish(100ms, 500ms));
    }
    // The writer's thread, left blocked in its write, ends once the pipe breaks; the write end
    // stays open, since that thread may still be using it.
    close(ends[0]);
}

}  // namespace
