#pragma once
// A thread that writes what the program queues to standard output or standard error, so that a
// stream whose reader stops taking text (a pager left open, a pipe to a program that hung, a tee to
// a full disk) holds up this thread alone: never the console reader, a stop, or the run's record.
//
// How it works. Put queues pieces of text, each for a descriptor, and returns at once; the thread
// writes them in order. Droppable pieces are refused while kCapacity bytes wait already, and the
// caller counts them; the others (notes, final lines, a station's event lines) are taken until
// kLimit bytes wait, so that a stream stalled for a station's whole shift cannot take the memory.
// After a write fails, the pieces for that descriptor are refused. Finish takes no more pieces and
// waits until the queue is written, giving up once nothing went out for `idle`, or after `limit`;
// a thread still stuck then stays blocked in its write until the process ends, holding only its
// own share. Without a thread (the system gave none) Put writes at once, as before.
//
// Thread contract: Put from any thread; Finish and the destructor on the thread that owns it.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class StreamWriter {
  public:
    static constexpr std::size_t kCapacity = 64 * 1024;
    static constexpr std::size_t kLimit = 8 * 1024 * 1024;

    struct Piece {
        int fd;
        std::string text;
    };

    StreamWriter();
    ~StreamWriter();
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    // Queues `pieces`, all or none; false when they were refused.
    bool Put(std::vector<Piece> pieces, bool droppable);
    // True when everything queued was written.
    bool Finish(std::chrono::milliseconds idle, std::chrono::milliseconds limit);
    // What still waits to be written, in bytes.
    std::size_t Waiting() const;

  private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
    std::thread thread_;
};
