#include "serial/receive_buffer.h"

#include <cassert>
#include <cstring>

ReceiveBuffer::ReceiveBuffer() : storage_(std::make_unique<unsigned char[]>(RX_BUFFER_SIZE)) {}

int ReceiveBuffer::GetByte() {
    std::lock_guard lock(mutex_);
    if (readPos_ >= writePos_) return -1;
    const int byte = storage_[readPos_];
    ++readPos_;
    if (readPos_ == writePos_ && producerWaiting_) drained_.notify_one();
    return byte;
}

bool ReceiveBuffer::WaitForData(const std::atomic<int>& stop) {
    std::unique_lock lock(mutex_);
    dataArrived_.wait(lock,
                      [&] { return stop.load() != 0 || readPos_ < writePos_ || inputEnded_; });
    return stop.load() == 0 && readPos_ < writePos_;
}

void ReceiveBuffer::WakeConsumer() {
    // Taking the lock orders this wake-up after a waiter's last look at the flags: none is lost.
    std::lock_guard lock(mutex_);
    dataArrived_.notify_all();
}

void ReceiveBuffer::MarkInputEnded() {
    std::lock_guard lock(mutex_);
    inputEnded_ = true;
    dataArrived_.notify_all();
}

bool ReceiveBuffer::InputEnded() const {
    std::lock_guard lock(mutex_);
    return inputEnded_;
}

void ReceiveBuffer::Append(const unsigned char* bytes, int n) {
    assert(n >= 0 && writePos_ + n <= RX_BUFFER_SIZE);
    if (n <= 0) return;
    // The consumer never looks at or beyond writePos_, so the copy needs no lock; publishing does.
    std::memcpy(storage_.get() + writePos_, bytes, static_cast<size_t>(n));
    std::lock_guard lock(mutex_);
    writePos_ += n;
    dataArrived_.notify_one();
}

bool ReceiveBuffer::MakeRoom(const std::atomic<int>& connected) {
    std::unique_lock lock(mutex_);
    while (writePos_ + RX_CHUNK > RX_BUFFER_SIZE) {
        if (connected.load() == 0) return false;
        if (readPos_ == writePos_) {
            readPos_ = 0;
            writePos_ = 0;
            break;
        }
        producerWaiting_ = true;
        drained_.wait(lock);
        producerWaiting_ = false;
    }
    return true;
}

void ReceiveBuffer::WakeProducer() {
    std::lock_guard lock(mutex_);
    drained_.notify_all();
}

int ReceiveBuffer::ReadPosition() const {
    std::lock_guard lock(mutex_);
    return readPos_;
}

int ReceiveBuffer::WritePosition() const {
    std::lock_guard lock(mutex_);
    return writePos_;
}
