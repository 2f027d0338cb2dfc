#pragma once
// What a station writes with --json: one JSON object per line, for a supervising program or a log
// collector. Every object has "event" (fixed names, listed in qelpupd-cli(1)), "time" and, but for
// the summary, "port". Fields are added over time, never renamed. Pure; any thread.

#include <string>
#include <vector>

#include "cli/station_state.h"

// The object (with its LF) for `event`, once applied to the port's state `port`. At a run's end
// "record" holds the run's update record line itself, as written to the record file.
std::string EventJson(const PortState& port, const StationEvent& event);

// The last object: per port and in total, the runs, successes and failures, and the exit status.
std::string SummaryJson(const std::vector<PortState>& ports, int exitStatus,
                        std::chrono::system_clock::time_point time);
