#pragma once
// What a station (qelpupd-cli --station, station.h) knows of its ports, as plain values: the
// events that each port's thread reports (station_port.h), and the state of each port that the
// main thread keeps from them. The live view, the event lines, the JSON events and the summary
// (station_view.h, station_json.h) are pure functions of these. Pure; any thread.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/progress_report.h"
#include "update/update_record.h"

enum class PortPhase {
    kAbsent,       // not there: waiting for it to appear (again)
    kUnavailable,  // there, but it cannot be opened; tried again
    kWaiting,      // open, waiting for a device
    kReceiving,    // a device talks and has not asked for the data yet, or awaits its word
    kSending,      // the data file goes out
    kClosed,       // its runs are over, or the station stopped
};

// How one run ended, as the station shows and counts it.
struct RunEndReport {
    RecordedOutcome outcome = RecordedOutcome::kFailed;
    bool timedOut = false;  // --timeout ended it: a failed run, though the record says closed
    int message = 0;        // the window program's message for it (109, 108); 0 for none
    std::string endedBy;    // as the record names it: "device", "hang-up", "signal", ...
    std::string detail;     // the device's word, the signal, ...; empty for none
    std::chrono::milliseconds duration{0};  // from the run's beginning to its end
    std::string record;  // the record's line as written; empty when none could be written

    bool Succeeded() const { return outcome == RecordedOutcome::kSucceeded; }
};

struct StationEvent {
    enum class Kind {
        kAbsent,       // the port is not there (reason: why, when it went away)
        kUnavailable,  // the port is there but cannot be opened (reason)
        kWaiting,      // the port opened (device); it waits for a device
        kDevice,       // a device's first line on the port: run `run` is coming
        kBegan,        // the device asked for the data: run `run` began
        kProgress,     // figures of the transfer under way
        kEnded,        // run `run` ended (ended)
        kClosed,       // the port is done and closed
        kNote,         // a remark for the operator (reason): a data file or record problem
    };
    std::size_t port = 0;  // the port's place in the station's list
    Kind kind = Kind::kWaiting;
    int run = 0;
    std::string device;  // kWaiting: the device opened, and what it is
    std::string reason;  // kAbsent, kUnavailable, kNote
    ProgressFigures progress;
    std::optional<RunEndReport> ended;
    std::chrono::system_clock::time_point time;
};

struct PortState {
    std::string name;    // the port as the operator knows it: as given, or its stable name
    std::string device;  // the device opened last, and what it is
    PortPhase phase = PortPhase::kAbsent;
    std::string reason;  // why it is absent or unavailable
    int run = 0;         // the run under way or coming, else the last one; 0 before any
    ProgressFigures progress;
    std::optional<RunEndReport> last;  // how the last run ended
    int lastRun = 0;                   // and its number
    std::chrono::system_clock::time_point lastEnd;
    int succeeded = 0;
    int failed = 0;       // every other end: the device's failure, a hang-up, a time-out, a stop
    bool opened = false;  // the port has been open at least once

    int Runs() const { return succeeded + failed; }  // runs that ended (recorded)
};

void ApplyEvent(PortState& state, const StationEvent& event);

// A remark as a station's note carries it: a line of qelpupd-cli's ("qelpupd-cli: ...\n") without
// the program's name and the line end.
std::string NoteText(std::string_view line);

// Whether a plain line or a JSON object reports `event`, given the port's state before it: every
// event does, except progress between two 10 % steps.
bool Newsworthy(const PortState& before, const StationEvent& event);

struct StationTotals {
    int succeeded = 0;
    int failed = 0;

    int Runs() const { return succeeded + failed; }
};
StationTotals Totals(const std::vector<PortState>& ports);

// The station's exit status: 130 after a stop, 2 when no port ever opened, 1 when a run failed,
// else 0.
int StationExitStatus(const std::vector<PortState>& ports, bool stopped);
