// ReceiveBuffer: the bytes received on the serial line, on their way from the port watcher (the one
// producer) to the console reader (the one consumer).
//
// How it works: a linear 16384-byte store with a read position (next byte to hand out) and a write
// position (bytes stored so far), 0 <= read <= write <= RX_BUFFER_SIZE. Consumed bytes stay where
// they are; when the producer needs room for its next read (RX_CHUNK bytes) and the consumer has
// taken every stored byte, both positions go back to 0. When the consumer lags, the producer waits
// for it, and the serial driver's queue and the hardware handshake hold the device back meanwhile.
//
// Thread contract:
//   consumer thread only:  GetByte, WaitForData
//   producer thread only:  Append, MakeRoom, MarkInputEnded
//   any thread:            WakeConsumer, WakeProducer, InputEnded, ReadPosition, WritePosition
// One short std::mutex guards both positions, so that GetByte and the rewind never interleave; it
// is never held while bytes are copied in. Neither side polls: the consumer sleeps on a condition
// variable that Append and MarkInputEnded signal, and the producer sleeps on one that GetByte
// signals once the buffer is drained. A flag owned by another thread (the consumer's stop flag, the
// producer's connected flag) takes effect once that thread has changed it and called the matching
// Wake function.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

inline constexpr int RX_BUFFER_SIZE = 16384;
// The producer always reads up to this many bytes at a time, so this much room must be free before
// a read.
inline constexpr int RX_CHUNK = 256;

class ReceiveBuffer {
  public:
    ReceiveBuffer();
    ReceiveBuffer(const ReceiveBuffer&) = delete;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

    // Consumer: the next byte as 0..255, or -1 when nothing is waiting. Never waits.
    int GetByte();

    // Consumer: blocks until a byte is waiting (true), or until stop != 0 or the input has ended
    // and every byte was taken (false). A stop wins over waiting bytes: they stay unread. A stop
    // set by another thread takes effect once that thread calls WakeConsumer().
    bool WaitForData(const std::atomic<int>& stop);

    // Any thread: makes a pending WaitForData re-check its conditions at once.
    void WakeConsumer();

    // Producer: the line hung up, nothing more will arrive. Wakes the consumer.
    void MarkInputEnded();
    bool InputEnded() const;

    // Producer: stores n bytes at the write position. The caller made room first (MakeRoom).
    void Append(const unsigned char* bytes, int n);

    // Producer: makes room for the next read of RX_CHUNK bytes. While there is none and connected
    // != 0, rewinds when the consumer has taken everything, otherwise waits for the consumer to
    // drain the buffer. True once there is room; false when connected became 0 first (nothing is
    // rewound then). A connected flag cleared by another thread takes effect once that thread calls
    // WakeProducer().
    bool MakeRoom(const std::atomic<int>& connected);

    // Any thread: makes a pending MakeRoom re-check its conditions at once.
    void WakeProducer();

    int ReadPosition() const;
    int WritePosition() const;

  private:
    const std::unique_ptr<unsigned char[]> storage_;
    mutable std::mutex mutex_;
    std::condition_variable dataArrived_;  // consumer waits here
    std::condition_variable drained_;      // producer waits here
    // Guarded by mutex_. writePos_ is changed by the producer only, so the producer may read it
    // unlocked.
    int readPos_ = 0;
    int writePos_ = 0;
    bool inputEnded_ = false;
    bool producerWaiting_ = false;  // lets GetByte skip the signal when nobody waits for room
};
