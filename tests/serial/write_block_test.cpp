// WriteBlock and OpenPort against a scripted device and waiter, for what a pseudo-terminal cannot
// be made to do on cue: a write that fails at once or half-way, a line that turns writable again,
// an output queue that drains slowly or never, a wait that outlasts the deadline (a message box
// opened inside it), a wait that fails or is interrupted, settings the port refuses.
#include <gtest/gtest.h>

#include <deque>
#include <thread>

#include "serial/comm_port.h"

namespace {

using namespace std::chrono_literals;

// Plays back scripted results; past the end of a script every call succeeds (Write takes it all,
// a wait for room ends ready), and the output queue keeps its last scripted length.
struct Script {
    std::deque<DeviceStatus> writes = {};
    std::deque<PortWaitEnd> waits = {};
    std::deque<DeviceStatus> queued = {};
    DeviceStatus configure = {};
    // Every wait lasts past its time-out, as one that served a modal box would.
    bool oversleep = false;
    // WriteBlock runs on a port that is open; OpenPort on one that is not.
    bool open = true;
};

constexpr int kScriptedDescriptor = 42;

// Waits for room end as scripted at once; pauses (no descriptor) sleep their time-out.
class ScriptedWaiter final : public PortWaiter {
  public:
    explicit ScriptedWaiter(Script& script) : script_(script) {}
    PortWaitEnd Wait(int descriptor, std::chrono::milliseconds timeout) override {
        if (script_.oversleep) {
            std::this_thread::sleep_for(timeout + 30ms);
            return PortWaitEnd::kTimedOut;
        }
        if (descriptor != kScriptedDescriptor) {
            std::this_thread::sleep_for(timeout);
            return PortWaitEnd::kTimedOut;
        }
        if (script_.waits.empty()) return PortWaitEnd::kReady;
        const PortWaitEnd end = script_.waits.front();
        script_.waits.pop_front();
        return end;
    }
    void Interrupt() override {}

  private:
    Script& script_;
};

class ScriptedDevice final : public SerialDevice {
  public:
    ScriptedDevice(Script script, std::string& received)
        : script_(std::move(script)), received_(received), open_(script_.open) {}

    DeviceStatus Open(const std::string&) override {
        open_ = true;
        return {};
    }
    bool IsOpen() const override { return open_; }
    DeviceStatus Configure(const DeviceControlBlock&) override { return script_.configure; }
    DeviceStatus Purge(bool) override { return {}; }
    DeviceStatus SetDtr(bool) override { return {}; }
    DeviceStatus Write(const void* data, long length) override {
        const DeviceStatus status = Next(script_.writes, {length});
        if (status.ok())
            received_.append(static_cast<const char*>(data), static_cast<size_t>(status.count));
        return status;
    }
    int Descriptor() const override { return kScriptedDescriptor; }
    DeviceStatus OutputQueued() override {
        return script_.queued.size() > 1 ? Next(script_.queued, {})
                                         : Next(script_.queued, {}, false);
    }
    void Close() override { open_ = false; }
    WaitResult WaitReadable() override { return WaitResult::kHungUp; }
    DeviceStatus Read(void*, long) override { return {}; }
    void Wake() override {}

  private:
    static DeviceStatus Next(std::deque<DeviceStatus>& results, DeviceStatus otherwise,
                             bool take = true) {
        if (results.empty()) return otherwise;
        const DeviceStatus next = results.front();
        if (take) results.pop_front();
        return next;
    }

    Script script_;
    std::string& received_;
    bool open_;
};

DeviceStatus Took(long count) {
    return {count};
}
DeviceStatus Failed(DeviceFault fault, int error = 0) {
    return {0, fault, "write", error};
}

TEST(WriteBlockTest, CountsABlockOnlyWhenAllOfItLeftTheComputer) {
    const DeviceStatus full = Failed(DeviceFault::kWouldBlock);
    const DeviceStatus gone = Failed(DeviceFault::kGone);
    using enum WriteFailure;
    const struct {
        const char* name;
        Script script;
        int result;
        size_t bytesTaken;
        WriteFailure failure;
    } cases[] = {
        {"taken at once", {}, 1, 200, kNone},
        {"fails at once", {.writes = {Failed(DeviceFault::kOther, EINVAL)}}, 0, 0, kDeviceError},
        {"in pieces, waiting for room",
         {.writes = {Took(120), full, Took(30), Took(50)}},
         1,
         200,
         kNone},
        {"gone half-way", {.writes = {Took(120), gone}}, 0, 120, kGone},
        {"hung up while waiting for room", {.writes = {Took(120), full, gone}}, 0, 120, kGone},
        {"no room before the time-out",
         {.writes = {Took(120), full, full}, .oversleep = true},
         0,
         120,
         kTimedOut},
        {"room once a wait outlasted the deadline",
         {.writes = {Took(120), full, Took(80)}, .oversleep = true},
         1,
         200,
         kNone},
        {"the wait failed",
         {.writes = {Took(120), full}, .waits = {PortWaitEnd::kFailed}},
         0,
         120,
         kDeviceError},
        {"the port closed during the wait",
         {.writes = {Took(120), full}, .waits = {PortWaitEnd::kInterrupted}},
         0,
         120,
         kDeviceError},
        {"output queue drains", {.queued = {Took(20), Took(3), Took(0)}}, 1, 200, kNone},
        {"output queue drained once a pause outlasted the deadline",
         {.queued = {Took(20), Took(0)}, .oversleep = true},
         1,
         200,
         kNone},
        {"output queue never drains", {.queued = {Took(50)}}, 0, 200, kTimedOut},
        {"output queue unknown", {.queued = {gone}}, 0, 200, kGone},
        {"output queue query fails",
         {.queued = {Failed(DeviceFault::kOther, EIO)}},
         0,
         200,
         kDeviceError},
    };
    std::string block(200, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    for (const auto& c : cases) {
        std::string received;
        Script script = c.script;
        ScriptedWaiter waiter(script);
        CCommPort port(std::make_unique<ScriptedDevice>(script, received));
        port.BaudRate = UPDATE_BAUD;
        port.SetWaiter(&waiter);
        port.SetWriteTimeout(50ms);
        EXPECT_EQ(port.WriteBlock(block.data(), 200), c.result) << c.name;
        EXPECT_EQ(received, block.substr(0, c.bytesTaken)) << c.name;
        EXPECT_EQ(port.LastWriteFailure(), c.failure) << c.name;
    }
}

TEST(OpenPortTest, RefusedSettingsLeaveThePortUnconnectedAndSayWhy) {
    std::string received;
    CCommPort port(std::make_unique<ScriptedDevice>(
        Script{.configure = {0, DeviceFault::kOther, "tcsetattr", EINVAL}, .open = false},
        received));
    EXPECT_EQ(port.OpenPort("COM1"), 0);
    EXPECT_EQ(port.State().connected.load(), 0);
    EXPECT_EQ(port.State().watcherId.load(), std::thread::id{});
    EXPECT_NE(port.DescribeOpenFailure().find("tcsetattr failed (errno 22"), std::string::npos)
        << port.DescribeOpenFailure();
}

}  // namespace
