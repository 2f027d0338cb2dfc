#include "cli/stream_writer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <system_error>

#include "update/standard_streams.h"

struct StreamWriter::Queue {
    mutable std::mutex mutex;
    std::condition_variable wake;      // the thread: something to write, or the end
    std::condition_variable progress;  // Finish: a piece went out, or the thread ended
    std::deque<Piece> pieces;
    std::size_t bytes = 0;      // of the pieces queued or being written
    std::uint64_t written = 0;  // pieces done so far
    std::set<int> failed;       // descriptors that refused a write
    bool closing = false;
    bool ended = false;

    void Run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return !pieces.empty() || closing; });
            if (pieces.empty()) break;
            Piece piece = std::move(pieces.front());
            pieces.pop_front();
            const bool skip = failed.contains(piece.fd);
            lock.unlock();
            const bool ok = skip || WriteAll(piece.fd, piece.text);
            lock.lock();
            if (!ok) failed.insert(piece.fd);
            bytes -= piece.text.size();
            ++written;
            progress.notify_all();
        }
        ended = true;
        progress.notify_all();
    }
};

StreamWriter::StreamWriter() : queue_(std::make_shared<Queue>()) {
    try {
        thread_ = std::thread([queue = queue_] { queue->Run(); });
    } catch (const std::system_error&) {
        // No thread to spare: Put writes at once.
    }
}

StreamWriter::~StreamWriter() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(queue_->mutex);
        queue_->closing = true;
        queue_->wake.notify_all();
        if (!queue_->ended) {
            // Blocked in a write that may never return: left to the process's end.
            thread_.detach();
            return;
        }
    }
    thread_.join();
}

bool StreamWriter::Put(std::vector<Piece> pieces, bool droppable) {
    if (!thread_.joinable()) {
        bool ok = true;
        for (const Piece& piece : pieces) ok = WriteAll(piece.fd, piece.text) && ok;
        return ok;
    }
    std::lock_guard lock(queue_->mutex);
    std::size_t size = 0;
    for (const Piece& piece : pieces) {
        if (queue_->failed.contains(piece.fd)) return false;
        size += piece.text.size();
    }
    if (queue_->closing || queue_->bytes + size > (droppable ? kCapacity : kLimit)) return false;
    for (Piece& piece : pieces) queue_->pieces.push_back(std::move(piece));
    queue_->bytes += size;
    queue_->wake.notify_all();
    return true;
}

bool StreamWriter::Finish(std::chrono::milliseconds idle, std::chrono::milliseconds limit) {
    if (!thread_.joinable()) return true;
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(queue_->mutex);
    queue_->closing = true;
    queue_->wake.notify_all();
    while (!queue_->ended) {
        const std::uint64_t before = queue_->written;
        const auto until = std::min(std::chrono::steady_clock::now() + idle, giveUp);
        queue_->progress.wait_until(lock, until,
                                    [&] { return queue_->ended || queue_->written != before; });
        if (queue_->ended) break;
        if (queue_->written == before || std::chrono::steady_clock::now() >= giveUp) return false;
    }
    lock.unlock();
    thread_.join();
    return true;
}

std::size_t StreamWriter::Waiting() const {
    std::lock_guard lock(queue_->mutex);
    return queue_->bytes;
}
