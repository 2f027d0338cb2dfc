// WriteBlock and OpenPort against a scripted device, for what a pseudo-terminal cannot be made to
// do on cue: a write that fails at once or half-way, a line that turns writable again, an output
// queue that drains slowly or never, settings the port refuses.
#include <gtest/gtest.h>

#include <deque>

#include "serial/comm_port.h"

namespace {

using namespace std::chrono_literals;

// Plays back scripted results; past the end of a script every call succeeds (Write takes it all),
// and the output queue keeps its last scripted length.
struct Script {
    std::deque<DeviceStatus> writes = {};
    std::deque<DeviceStatus> waits = {};
    std::deque<DeviceStatus> queued = {};
    DeviceStatus configure = {};
};

class ScriptedDevice final : public SerialDevice {
  public:
    ScriptedDevice(Script script, std::string& received)
        : script_(std::move(script)), received_(received) {}

    DeviceStatus Open(const std::string&) override { return {}; }
    bool IsOpen() const override { return false; }
    DeviceStatus Configure(const DeviceControlBlock&) override { return script_.configure; }
    DeviceStatus Purge() override { return {}; }
    DeviceStatus SetDtr(bool) override { return {}; }
    DeviceStatus Write(const void* data, long length) override {
        const DeviceStatus status = Next(script_.writes, {length});
        if (status.ok())
            received_.append(static_cast<const char*>(data), static_cast<size_t>(status.count));
        return status;
    }
    DeviceStatus WaitWritable(int) override { return Next(script_.waits, {1}); }
    DeviceStatus OutputQueued() override {
        return script_.queued.size() > 1 ? Next(script_.queued, {})
                                         : Next(script_.queued, {}, false);
    }
    void Close() override {}
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
        {"no room before the time-out",
         {.writes = {Took(120), full}, .waits = {Took(0)}},
         0,
         120,
         kTimedOut},
        {"hung up while waiting for room",
         {.writes = {Took(120), full}, .waits = {gone}},
         0,
         120,
         kGone},
        {"output queue drains", {.queued = {Took(20), Took(3), Took(0)}}, 1, 200, kNone},
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
        CCommPort port(std::make_unique<ScriptedDevice>(c.script, received));
        port.BaudRate = UPDATE_BAUD;
        port.SetWriteTimeout(c.result == 1 ? 10s : 50ms);  // the long one only guards against hangs
        EXPECT_EQ(port.WriteBlock(block.data(), 200), c.result) << c.name;
        EXPECT_EQ(received, block.substr(0, c.bytesTaken)) << c.name;
        EXPECT_EQ(port.LastWriteFailure(), c.failure) << c.name;
    }
}

TEST(OpenPortTest, RefusedSettingsLeaveThePortUnconnectedAndSayWhy) {
    std::string received;
    CCommPort port(std::make_unique<ScriptedDevice>(
        Script{.configure = {0, DeviceFault::kOther, "tcsetattr", EINVAL}}, received));
    EXPECT_EQ(port.OpenPort("COM1"), 0);
    EXPECT_EQ(port.State().connected.load(), 0);
    EXPECT_EQ(port.State().watcherId.load(), std::thread::id{});
    EXPECT_NE(port.DescribeOpenFailure().find("tcsetattr failed (errno 22"), std::string::npos)
        << port.DescribeOpenFailure();
}

}  // namespace
