// PassThroughDevice: a SerialDevice that hands every call to a real one. Tests derive from it to
// note the calls they care about (recording_device.h, the block sizes of a transfer) and leave the
// rest to the real device on a pseudo-terminal.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "serial/serial_device.h"

class PassThroughDevice : public SerialDevice {
  public:
    explicit PassThroughDevice(std::unique_ptr<SerialDevice> real) : real_(std::move(real)) {}

    DeviceStatus Open(const std::string& path) override { return real_->Open(path); }
    bool IsOpen() const override { return real_->IsOpen(); }
    DeviceStatus Configure(const DeviceControlBlock& s) override { return real_->Configure(s); }
    DeviceStatus Purge(bool output) override { return real_->Purge(output); }
    DeviceStatus SetDtr(bool raised) override { return real_->SetDtr(raised); }
    DeviceStatus ReadModemLines(ModemLines& lines) override { return real_->ReadModemLines(lines); }
    DeviceStatus Write(const void* data, long length) override {
        return real_->Write(data, length);
    }
    PortWaitObject WaitObject() const override { return real_->WaitObject(); }
    DeviceStatus OutputQueued() override { return real_->OutputQueued(); }
    DeviceStatus Close() override { return real_->Close(); }
    WaitResult WaitReadable() override { return real_->WaitReadable(); }
    DeviceStatus Read(void* destination, long maximum) override {
        return real_->Read(destination, maximum);
    }
    void Wake() override { real_->Wake(); }

  protected:
    SerialDevice& Real() const { return *real_; }

  private:
    const std::unique_ptr<SerialDevice> real_;
};

// Notes the size of each block the port writes. A block may reach the device in parts when the
// line is full; the port asks for its output queue once the whole block is written, which marks
// where the block ends. Given a pace in bytes per second, the output queue drains at it, as a real
// line's does (a pseudo-terminal's empties at once). Port owner's thread only.
class BlockNotingDevice final : public PassThroughDevice {
  public:
    BlockNotingDevice(std::unique_ptr<SerialDevice> real, std::function<void(long)> onBlock,
                      long bytesPerSecond = 0)
        : PassThroughDevice(std::move(real)),
          onBlock_(std::move(onBlock)),
          bytesPerSecond_(bytesPerSecond) {}

    DeviceStatus Write(const void* data, long length) override {
        const DeviceStatus status = PassThroughDevice::Write(data, length);
        if (status.ok()) pending_ += status.count;
        return status;
    }
    DeviceStatus OutputQueued() override {
        if (pending_ > 0) {
            blockBytes_ = pending_;
            blockAt_ = std::chrono::steady_clock::now();
            onBlock_(std::exchange(pending_, 0));
        }
        if (const long left = Draining(); left > 0) return {left};
        return PassThroughDevice::OutputQueued();
    }
    // Bytes of the last block still on their way at the pace.
    long Draining() const {
        if (bytesPerSecond_ == 0) return 0;
        const auto elapsed = std::chrono::steady_clock::now() - blockAt_;
        const auto sent = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() *
                          bytesPerSecond_ / 1'000'000;
        return std::max<long>(0, blockBytes_ - static_cast<long>(sent));
    }

  private:
    std::function<void(long)> onBlock_;
    const long bytesPerSecond_;
    long pending_ = 0;
    long blockBytes_ = 0;
    std::chrono::steady_clock::time_point blockAt_;
};
