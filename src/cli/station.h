#pragma once
// qelpupd-cli --station: serves ports side by side, one device after another on each, until
// stopped or until every port has served its --runs.
//
// How it works. Each port has a thread of its own (station_port.h) that opens it, serves run after
// run and reports events; the main thread only dispatches: the events to the port states and the
// screen (station_screen.h), the stop (stop_signals.h; the ports' threads see it themselves, so a
// main thread held up by its output holds up no run), the port monitor's news that the set of
// ports may have changed (serial/port_monitor.h: a port that appears gets a thread of its own, the
// others try again if they wait for theirs), and the end: when every port is closed, the summary
// and the exit status (station_state.h: StationExitStatus). Without --port it serves every serial
// port found (port_discovery.h) but Bluetooth links and modems, each by its stable name.
//
// Main thread; stop signals installed before.

#include "cli/options.h"

// Returns the exit status.
int RunStation(const CliOptions& options);
