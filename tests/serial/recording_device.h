// RecordingDevice: passes every call through to a real device (pass_through_device.h) and notes it
// in a DeviceJournal that outlives the port, so that a test sees the order of calls, the sizes of
// the watcher's reads, and the modem-line calls that a pseudo-terminal refuses. The journal is
// shared by the test thread and the port watcher; tests wait on it, they do not poll it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "serial/pass_through_device.h"

class DeviceJournal {
  public:
    void Add(std::string event, long bytesRead = 0) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        if (bytesRead > 0) readSizes_.push_back(bytesRead);
        bytesRead_ += bytesRead;
        changed_.notify_all();
    }
    // Waits until `event` was noted, or `bytes` were read; false after a time-out that only ends
    // hangs.
    bool WaitFor(const std::string& event, long bytes = 0) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            return bytesRead_ >= bytes && (event.empty() || Find(events_, event) >= 0);
        });
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<long> ReadSizes() const {
        std::lock_guard lock(mutex_);
        return readSizes_;
    }
    // The index of the first `event` at or after `from`, or -1.
    static long Find(const std::vector<std::string>& events, const std::string& event,
                     long from = 0) {
        for (auto i = static_cast<size_t>(from); i < events.size(); ++i) {
            if (events[i] == event) return static_cast<long>(i);
        }
        return -1;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<long> readSizes_;
    long bytesRead_ = 0;
};

class RecordingDevice final : public PassThroughDevice {
  public:
    RecordingDevice(std::unique_ptr<SerialDevice> real, std::shared_ptr<DeviceJournal> journal)
        : PassThroughDevice(std::move(real)), journal_(std::move(journal)) {}

    DeviceStatus Open(const std::string& path) override {
        return Note("Open", PassThroughDevice::Open(path));
    }
    DeviceStatus Configure(const DeviceControlBlock& s) override {
        return Note("Configure", PassThroughDevice::Configure(s));
    }
    DeviceStatus Purge(bool output) override {
        return Note(output ? "Purge" : "PurgeInput", PassThroughDevice::Purge(output));
    }
    DeviceStatus SetDtr(bool raised) override {
        return Note(raised ? "RaiseDtr" : "DropDtr", PassThroughDevice::SetDtr(raised));
    }
    DeviceStatus Close() override {
        if (IsOpen()) journal_->Add("Close");  // the port's destructor closes once more
        return PassThroughDevice::Close();
    }
    WaitResult WaitReadable() override {
        journal_->Add("WaitReadable");
        const WaitResult result = PassThroughDevice::WaitReadable();
        journal_->Add(result == WaitResult::kWoken      ? "Woken"
                      : result == WaitResult::kReadable ? "Readable"
                                                        : "HungUp");
        return result;
    }
    DeviceStatus Read(void* destination, long maximum) override {
        const DeviceStatus status = PassThroughDevice::Read(destination, maximum);
        journal_->Add("Read", status.ok() ? status.count : 0);
        return status;
    }
    void Wake() override {
        journal_->Add("Wake");
        PassThroughDevice::Wake();
    }

  private:
    DeviceStatus Note(const char* event, DeviceStatus status) {
        journal_->Add(event);
        return status;
    }

    const std::shared_ptr<DeviceJournal> journal_;
};
