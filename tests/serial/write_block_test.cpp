// WriteBlock and OpenPort against a scripted device and waiter, for what a pseudo-terminal cannot
// be made to do on cue: a write that fails at once or half-way, a line that turns writable again,
// an output queue that drains slowly or never, a wait that outlasts the deadline (a message box
// opened inside it), a wait that fails or is interrupted, settings the port refuses, modem lines
// that hold the output back, a handler inside the wait that lets the block go out and closes.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

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
    // Empty: the port has no modem lines, as a pseudo-terminal.
    std::optional<ModemLines> lines = {};
    // Runs once, inside the first wait for room, as a handler that the wait served would.
    std::function<void()> insideWait = {};
};

// Any wait object other than kNoWaitObject: a descriptor number, or a handle value.
template <typename Object>
Object ScriptedObject() {
    if constexpr (std::is_pointer_v<Object>) {
        return reinterpret_cast<Object>(std::uintptr_t{42});
    } else {
        return Object{42};
    }
}
const PortWaitObject kScriptedObject = ScriptedObject<PortWaitObject>();

// Waits for room end as scripted at once; pauses (no wait object) sleep their time-out.
class ScriptedWaiter final : public PortWaiter {
  public:
    explicit ScriptedWaiter(Script& script) : script_(script) {}
    PortWaitEnd Wait(PortWaitObject object, std::chrono::milliseconds timeout) override {
        if (script_.insideWait && object == kScriptedObject)
            std::exchange(script_.insideWait, {})();
        if (script_.oversleep) {
            std::this_thread::sleep_for(timeout + 30ms);
            return PortWaitEnd::kTimedOut;
        }
        if (object != kScriptedObject) {
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
    ScriptedDevice(Script script, std::string& received, std::vector<bool>* purges = nullptr)
        : script_(std::move(script)), received_(received), purges_(purges), open_(script_.open) {}

    DeviceStatus Open(const std::string&) override {
        open_ = true;
        return {};
    }
    bool IsOpen() const override { return open_; }
    DeviceStatus Configure(const DeviceControlBlock&) override { return script_.configure; }
    DeviceStatus Purge(bool output) override {
        if (purges_) purges_->push_back(output);
        return {};
    }
    DeviceStatus SetDtr(bool) override { return {}; }
    DeviceStatus ReadModemLines(ModemLines& lines) override {
        if (!script_.lines) return {0, DeviceFault::kOther, "ioctl(TIOCMGET)", ENOTTY};
        lines = *script_.lines;
        return {};
    }
    DeviceStatus Write(const void* data, long length) override {
        const DeviceStatus status = Next(script_.writes, {length});
        if (status.ok())
            received_.append(static_cast<const char*>(data), static_cast<size_t>(status.count));
        return status;
    }
    PortWaitObject WaitObject() const override { return kScriptedObject; }
    DeviceStatus OutputQueued() override {
        return script_.queued.size() > 1 ? Next(script_.queued, {})
                                         : Next(script_.queued, {}, false);
    }
    DeviceStatus Close() override {
        open_ = false;
        return {};
    }
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
    std::vector<bool>* purges_;
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
         {.writes = {Took(120), full, full, full, full}, .oversleep = true},
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
        // Short only where the case is about the deadline: under load, the pauses of a queue that
        // drains can outlast 50 ms.
        port.SetWriteTimeout(c.failure == kTimedOut || script.oversleep ? 50ms : 10s);
        EXPECT_EQ(port.WriteBlock(block.data(), 200), c.result) << c.name;
        EXPECT_EQ(received, block.substr(0, c.bytesTaken)) << c.name;
        EXPECT_EQ(port.LastWriteFailure(), c.failure) << c.name;
    }
}

// CTS and DSR as the test sets them, under the update's flow control (or Linux's, without DSR).
ModemLines Lines(bool cts, bool dsr, bool waitsForDsr = true) {
    return {cts, dsr, true, waitsForDsr};
}

TEST(WriteBlockHoldTest, NamesTheInputThatHoldsBackABlockThatTimedOut) {
    const struct {
        const char* name;
        std::optional<ModemLines> lines;
        const char* hold;
    } cases[] = {
        {"DSR low", Lines(true, false), "DSR low"},
        {"CTS low", Lines(false, true), "CTS low"},
        {"both low", Lines(false, false), "CTS and DSR low"},
        {"DSR low where output does not wait for DSR", Lines(true, false, false), ""},
        {"both high: something else holds it", Lines(true, true), ""},
        {"no modem lines", std::nullopt, ""},
    };
    const std::string block(200, 'q');
    for (const auto& c : cases) {
        std::string received;
        Script script{.queued = {Took(50)}, .lines = c.lines};
        ScriptedWaiter waiter(script);
        CCommPort port(std::make_unique<ScriptedDevice>(script, received));
        port.BaudRate = UPDATE_BAUD;
        port.SetWaiter(&waiter);
        port.SetWriteTimeout(50ms);
        std::vector<std::string> reports;
        port.SetHoldReport([&](const OutputHold& hold) { reports.push_back(DescribeHold(hold)); });
        EXPECT_EQ(port.WriteBlock(block.data(), 200), 0) << c.name;
        EXPECT_EQ(port.LastWriteFailure(), WriteFailure::kTimedOut) << c.name;
        EXPECT_EQ(DescribeHold(port.LastWriteHold()), c.hold) << c.name;
        EXPECT_EQ(reports, *c.hold ? std::vector<std::string>{c.hold} : std::vector<std::string>{})
            << c.name;
    }
}

TEST(WriteBlockHoldTest, SaysWhoHoldsTheBlockWhileItStillWaitsAndOnlyOnce) {
    std::string received;
    Script script{.queued = {Took(50)}, .lines = Lines(true, false)};
    ScriptedWaiter waiter(script);
    CCommPort port(std::make_unique<ScriptedDevice>(script, received));
    port.BaudRate = UPDATE_BAUD;
    port.SetWaiter(&waiter);
    port.SetWriteTimeout(900ms);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::chrono::steady_clock::duration> reportedAfter;
    port.SetHoldReport([&](const OutputHold& hold) {
        EXPECT_EQ(DescribeHold(hold), "DSR low");
        reportedAfter.push_back(std::chrono::steady_clock::now() - start);
    });
    EXPECT_EQ(port.WriteBlock("held", 4), 0);
    const auto failedAfter = std::chrono::steady_clock::now() - start;
    // Looked at after 300 ms and 600 ms, and at the time-out.
    ASSERT_EQ(reportedAfter.size(), 1u) << "the same hold is said once";
    EXPECT_GE(reportedAfter[0], 300ms);
    EXPECT_LT(reportedAfter[0], failedAfter - 200ms) << "said only as the write gave up";
    EXPECT_EQ(DescribeHold(port.LastWriteHold()), "DSR low");

    // A block that goes out in time reads no lines and carries no hold.
    Script quick{.lines = Lines(true, false)};
    ScriptedWaiter quickWaiter(quick);
    CCommPort quickPort(std::make_unique<ScriptedDevice>(quick, received));
    quickPort.SetWaiter(&quickWaiter);
    quickPort.SetHoldReport([](const OutputHold&) { ADD_FAILURE() << "a hold was reported"; });
    EXPECT_EQ(quickPort.WriteBlock("quick", 5), 1);
    EXPECT_FALSE(quickPort.LastWriteHold().Held());
}

// A handler that a wait for room served (the session ending) lets the block go out, or not, and
// closes the port before it returns.
TEST(WriteBlockFinishTest, AHandlerInsideTheWaitFinishesTheBlockBeforeItClosesThePort) {
    const DeviceStatus full = Failed(DeviceFault::kWouldBlock);
    const struct {
        const char* name;
        std::deque<DeviceStatus> queued;
        std::optional<ModemLines> lines;
        bool finished;
        size_t sent;  // what the device got of the block
    } cases[] = {
        {"the rest goes out", {}, std::nullopt, true, 200},
        {"the line never drains", {Took(50)}, std::nullopt, false, 200},
        {"DSR holds it: not waited for", {Took(50)}, Lines(true, false), false, 120},
    };
    std::string block(200, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 3);
    for (const auto& c : cases) {
        std::string received;
        std::vector<bool> purges;
        CCommPort* port = nullptr;
        std::optional<bool> finished;
        Script script{
            .writes = {Took(120), full}, .queued = c.queued, .lines = c.lines, .insideWait = [&] {
                finished = port->FinishBlock(50ms);
                port->ClosePort();
            }};
        ScriptedWaiter waiter(script);
        CCommPort owner(std::make_unique<ScriptedDevice>(script, received, &purges));
        port = &owner;
        owner.BaudRate = UPDATE_BAUD;
        owner.SetWaiter(&waiter);
        EXPECT_EQ(owner.WriteBlock(block.data(), 200), c.finished ? 1 : 0) << c.name;
        EXPECT_EQ(finished, c.finished) << c.name;
        EXPECT_EQ(received, block.substr(0, c.sent)) << c.name;
        // Only a block that did not go out is dropped from the output queue.
        EXPECT_EQ(purges, std::vector<bool>{!c.finished}) << c.name;
        EXPECT_EQ(owner.State().connected.load(), 0) << c.name;
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
    const std::string why = port.DescribeOpenFailure();
    // "errno 22" on POSIX, "error 22" on Windows: the call and its code.
    EXPECT_NE(why.find("tcsetattr failed ("), std::string::npos) << why;
    EXPECT_NE(why.find(" 22"), std::string::npos) << why;
}

}  // namespace
