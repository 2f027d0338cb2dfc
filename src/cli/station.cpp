#include "cli/station.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/data_choice.h"
#include "cli/outcome.h"
#include "cli/station_port.h"
#include "cli/station_screen.h"
#include "cli/stop_signals.h"
#include "res/version_info.h"
#include "serial/port_discovery.h"
#include "serial/port_map.h"
#include "serial/port_monitor.h"
#include "serial/port_set.h"
#include "update/system_error.h"

namespace {

using Clock = std::chrono::steady_clock;

// The ports to serve as they stand now: those named, mapped as a single run maps them, or every
// serial port found, each under its stable name (port_set.h).
std::vector<PortMapping> CurrentPorts(const CliOptions& options) {
    std::vector<PortMapping> ports;
    if (!options.ports.empty()) {
        std::vector<std::string> seen;
        // One scan for all the names that need one; paths need none.
        std::optional<std::vector<SerialPortInfo>> found;
        for (const std::string& name : options.ports) {
            if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
            seen.push_back(name);
            if (!found && MappingNeedsDiscovery(name)) found = DiscoverSerialPorts();
            ports.push_back(MapPort(name, found.value_or(std::vector<SerialPortInfo>{})));
        }
        return ports;
    }
    // Bluetooth links and modems are no device on the line, and a Bluetooth link's open blocks
    // while it calls.
    for (const SerialPortInfo& found : DiscoverSerialPorts())
        if (found.skipped.empty())
            ports.push_back({PortIdentity(found), found.devicePath, found.description});
    return ports;
}

// What the port monitor watches: the devices the named ports stand for, or the system's ports.
PortMonitorSettings MonitorSettings(const std::vector<PortMapping>& ports, bool named) {
    PortMonitorSettings settings;
    if (named)
        for (const PortMapping& port : ports) settings.namedPaths.push_back(port.devicePath);
    return settings;
}

WaitObject AsWaitObject(PortWaitObject object) {
#if defined(_WIN32)
    return reinterpret_cast<WaitObject>(object);
#else
    return object;
#endif
}

class Station {
  public:
    Station(const CliOptions& options, std::string dataPath, StationScreen& screen)
        : options_(options), dataPath_(std::move(dataPath)), screen_(screen) {}

    int Run();

  private:
    void Update(const std::vector<PortMapping>& current);
    void Dispatch();
    bool AllClosed() const { return closed_ == ports_.size(); }

    const CliOptions& options_;
    const std::string dataPath_;
    StationEvents events_;
    StationScreen& screen_;
    std::vector<PortState> states_;
    std::vector<std::unique_ptr<StationPort>> ports_;
    std::size_t closed_ = 0;
};

void Station::Update(const std::vector<PortMapping>& current) {
    for (const PortMapping& mapping : current) {
        const auto known = std::find_if(states_.begin(), states_.end(),
                                        [&](const PortState& s) { return s.name == mapping.name; });
        if (known != states_.end()) {
            ports_[static_cast<std::size_t>(known - states_.begin())]->PortsChanged(mapping);
            continue;
        }
        const std::size_t index = ports_.size();
        StationSettings settings;
        settings.dataPath = dataPath_;
        settings.timeout = options_.timeout;
        settings.runs = options_.runs;
        settings.run.program = "qelpupd-cli";
        settings.run.version = res::version::kVersion;
        // Side by side on many ports, all reading the one data file.
        settings.run.lock = DataFileLock::kShared;
        settings.run.recordProblems = [this, index](const std::string& line) {
            StationEvent note;
            note.port = index;
            note.kind = StationEvent::Kind::kNote;
            note.reason = NoteText(line);
            note.time = std::chrono::system_clock::now();
            events_.Post(std::move(note));
        };
        PortState state;
        state.name = mapping.name;
        states_.push_back(state);
        ports_.push_back(
            std::make_unique<StationPort>(index, mapping, std::move(settings), events_));
        if (!ports_.back()->Start()) {
            StationEvent failed;
            failed.port = index;
            failed.kind = StationEvent::Kind::kUnavailable;
            failed.reason = "no thread to serve it";
            failed.time = std::chrono::system_clock::now();
            events_.Post(failed);
            failed.kind = StationEvent::Kind::kClosed;
            events_.Post(failed);
        }
    }
}

void Station::Dispatch() {
    for (const StationEvent& event : events_.Take()) {
        PortState& state = states_[event.port];
        const PortState before = state;
        ApplyEvent(state, event);
        screen_.Show(states_, before, event);
        if (event.kind == StationEvent::Kind::kClosed) ++closed_;
    }
}

int Station::Run() {
    if (!events_.Ready()) {
        screen_.EndUnstarted("qelpupd-cli: nothing for the station to wait on\n");
        return 2;
    }
    // The monitor first: a port that comes or goes during the first scan is not missed.
    const std::vector<PortMapping> first = CurrentPorts(options_);
    PortMonitor monitor(MonitorSettings(first, !options_.ports.empty()));
    if (const std::string failure = monitor.Failure(); !failure.empty())
        screen_.Note(states_,
                     "qelpupd-cli: ports that come or go may be missed: " + failure + "\n");
    Update(first);
    // No port at all within --timeout: nothing could start.
    std::optional<Clock::time_point> giveUpAt;
    if (options_.timeout) giveUpAt = Clock::now() + *options_.timeout;
    bool stopSeen = false;
    bool gaveUp = false;
    for (;;) {
        Dispatch();
        screen_.Draw(states_);
        if (AllClosed() && (!ports_.empty() || stopSeen || gaveUp)) break;

        std::vector<WaitObject> objects{events_.WakeObject()};
        std::optional<std::size_t> stopAt;
        std::optional<std::size_t> monitorAt;
        // The stop's object stays signalled: once seen, only the ports' ends are awaited.
        if (!stopSeen) {
            stopAt = objects.size();
            objects.push_back(StopWaitObject());
        }
        if (!stopSeen && !gaveUp && monitor.WaitObject() != kNoWaitObject) {
            monitorAt = objects.size();
            objects.push_back(AsWaitObject(monitor.WaitObject()));
        }
        std::optional<Clock::time_point> until = screen_.NextDraw();
        const bool anyOpened = std::any_of(states_.begin(), states_.end(),
                                           [](const PortState& s) { return s.opened; });
        if (giveUpAt && !gaveUp && !anyOpened)
            until = until ? std::min(*until, *giveUpAt) : *giveUpAt;
        std::size_t which = 0;
        int error = 0;
        switch (WaitForAny(objects, until, which, error)) {
            case WaitOutcome::kSignalled:
                if (which == stopAt) stopSeen = true;
                // A settled burst of changes: the ports are scanned again.
                if (which == monitorAt && monitor.TakeNotice()) Update(CurrentPorts(options_));
                break;
            case WaitOutcome::kTimedOut:
                if (giveUpAt && !anyOpened && Clock::now() >= *giveUpAt) {
                    gaveUp = true;
                    for (auto& port : ports_) port->Finish();
                }
                break;
            case WaitOutcome::kFailed:
                screen_.Note(states_, "qelpupd-cli: the station cannot wait any more: " +
                                          SystemErrorText(error) + "\n");
                gaveUp = true;
                for (auto& port : ports_) port->Finish();
                break;
        }
    }
    for (auto& port : ports_) port->Join();
    NoteRunFinished();
    Dispatch();
    const int status = StationExitStatus(states_, StopRequested() != StopCause::kNone);
    // The records are written by now; a stream that takes nothing more does not hold up the end.
    screen_.End(states_, status);
    return status;
}

}  // namespace

int RunStation(const CliOptions& options) {
    StationScreen screen(options.json, options.quiet);
    const DataChoice data = ChooseDataFileFor(options.dataFile);
    if (!data.note.empty()) screen.Note({}, data.note);
    if (data.path.empty()) {
        screen.EndUnstarted(OutcomeLine(RunOutcome::kNoDataFile, {"", data.reason}));
        return ExitStatus(RunOutcome::kNoDataFile);
    }
    Station station(options, data.path, screen);
    return station.Run();
}
