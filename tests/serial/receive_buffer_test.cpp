// The receive buffer on its own: its edge cases, the waits on both sides, and a producer and a
// consumer on real threads across many rewinds.
#include "serial/receive_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace {

// Its period is no divisor of the buffer's size, so that a byte out of place shows.
unsigned char Pattern(long i) {
    return static_cast<unsigned char>(i ^ (i >> 8) ^ (i >> 16));
}

class ReceiveBufferTest : public ::testing::Test {
  protected:
    // Stores `count` bytes the way the port watcher does: room first, then at most a read's worth.
    void Fill(int count) {
        unsigned char chunk[RX_CHUNK];
        for (int n = 0; count > 0; count -= n, stored += n) {
            ASSERT_TRUE(buffer.MakeRoom(connected));
            n = std::min(count, RX_CHUNK);
            for (int i = 0; i < n; ++i) chunk[i] = Pattern(stored + i);
            buffer.Append(chunk, n);
        }
    }
    void Consume(int count) {
        for (int i = 0; i < count; ++i) ASSERT_NE(buffer.GetByte(), -1);
    }
    std::future<bool> WaitForRoomElsewhere() {
        return std::async(std::launch::async, [this] { return buffer.MakeRoom(connected); });
    }
    std::future<bool> WaitForDataElsewhere() {
        return std::async(std::launch::async, [this] { return buffer.WaitForData(stop); });
    }

    ReceiveBuffer buffer;
    std::atomic<int> connected{1};
    std::atomic<int> stop{0};
    long stored = 0;
};

TEST_F(ReceiveBufferTest, GetByteTellsNothingWaitingFromStoredHighAndZeroBytes) {
    EXPECT_EQ(buffer.GetByte(), -1);
    const unsigned char bytes[] = {0xFF, 0x00, 0x80};
    buffer.Append(bytes, 3);
    EXPECT_EQ(buffer.GetByte(), 255);
    EXPECT_EQ(buffer.GetByte(), 0);
    EXPECT_EQ(buffer.GetByte(), 128);
    EXPECT_EQ(buffer.GetByte(), -1);
}

TEST_F(ReceiveBufferTest, RoomForOneMoreReadAtExactly16128Stored) {
    Fill(RX_BUFFER_SIZE - RX_CHUNK);
    EXPECT_TRUE(buffer.MakeRoom(connected));
    EXPECT_EQ(buffer.WritePosition(), 16128);
}

TEST_F(ReceiveBufferTest, RewindsOnceEverythingStoredWasConsumed) {
    Fill(16200);
    Consume(16200);
    EXPECT_TRUE(buffer.MakeRoom(connected));
    EXPECT_EQ(buffer.ReadPosition(), 0);
    EXPECT_EQ(buffer.WritePosition(), 0);
}

TEST_F(ReceiveBufferTest, ProducerWaitsUntilTheConsumerHasTakenEverything) {
    Fill(16200);
    auto producer = WaitForRoomElsewhere();
    Consume(16199);
    EXPECT_EQ(producer.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout)
        << "room was made while a byte was still unread";
    Consume(1);
    EXPECT_TRUE(producer.get());
    EXPECT_EQ(buffer.WritePosition(), 0);
}

TEST_F(ReceiveBufferTest, ClearingConnectedReleasesAWaitingProducerWithoutRewind) {
    Fill(16200);
    Consume(100);
    auto producer = WaitForRoomElsewhere();
    connected.store(0);
    buffer.WakeProducer();
    EXPECT_FALSE(producer.get());
    EXPECT_EQ(buffer.ReadPosition(), 100);
    EXPECT_EQ(buffer.WritePosition(), 16200);
}

TEST_F(ReceiveBufferTest, WaitingConsumerWakesForBytesStopAndEndOfInput) {
    auto forBytes = WaitForDataElsewhere();
    Fill(2);
    EXPECT_TRUE(forBytes.get());

    buffer.MarkInputEnded();  // what arrived before the end is still handed out
    EXPECT_TRUE(buffer.WaitForData(stop));
    Consume(2);
    EXPECT_FALSE(buffer.WaitForData(stop));

    ReceiveBuffer idle;
    auto forStop = std::async(std::launch::async, [&] { return idle.WaitForData(stop); });
    stop.store(1);
    idle.WakeConsumer();
    EXPECT_FALSE(forStop.get());

    const unsigned char unread = 'x';  // a stop leaves waiting bytes unread
    idle.Append(&unread, 1);
    EXPECT_FALSE(idle.WaitForData(stop));
    EXPECT_EQ(idle.ReadPosition(), 0);
}

// 2 MiB cannot pass through 16 KiB without at least 128 rewinds; every byte must arrive once, in
// order.
TEST_F(ReceiveBufferTest, ProducerAndConsumerThreadsAgreeOnEveryByteAcrossRewinds) {
    constexpr long kTotal = 2L << 20;
    std::thread producer([&] {
        unsigned char chunk[RX_CHUNK];
        for (long sent = 0, size = 1; sent < kTotal && buffer.MakeRoom(connected); sent += size) {
            size = std::min<long>((size + 37) % RX_CHUNK + 1,
                                  kTotal - sent);  // every size from 1 to 256
            for (long i = 0; i < size; ++i) chunk[i] = Pattern(sent + i);
            buffer.Append(chunk, static_cast<int>(size));
        }
    });
    long received = 0;
    long misplaced = 0;
    while (received < kTotal && buffer.WaitForData(stop)) {
        for (int byte = buffer.GetByte(); byte != -1; byte = buffer.GetByte())
            misplaced += byte != Pattern(received++);
    }
    producer.join();
    EXPECT_EQ(received, kTotal);
    EXPECT_EQ(misplaced, 0);
}

}  // namespace
