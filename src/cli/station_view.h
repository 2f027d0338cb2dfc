#pragma once
// What a station shows, as text; no I/O. On a terminal the view - a heading and one line per port
// with its name, device, counts and state - is drawn again in place at every change; otherwise
// each event is one plain line. A summary table ends either. The English texts carry the window
// program's Japanese message where that program shows one: at a run's end. Pure; any thread.

#include <string>
#include <string_view>
#include <vector>

#include "cli/station_state.h"

// The heading and one line per port, none wider than `columns`.
std::vector<std::string> ViewLines(const std::vector<PortState>& ports, int columns);

// What draws `lines` over the `drawnBefore` lines drawn last (the cursor below them), so that the
// view stays in place: up to the first of them, each line anew, then whatever is left cleared.
std::string RedrawText(int drawnBefore, const std::vector<std::string>& lines);

// The plain line (with its LF) for `event`, once applied to the port's state `port`.
std::string EventLine(const PortState& port, const StationEvent& event);

// How a run ended, in a few words: "succeeded (Versionup succeed)", "failed (hang-up)",
// "timed out", "stopped (SIGINT)".
std::string RunEndWords(const RunEndReport& report);

// The table that ends a station: per port its runs, successes and failures, then the totals.
std::string SummaryTable(const std::vector<PortState>& ports);

// The columns `text` (UTF-8) takes on a terminal: East Asian wide characters take two.
int DisplayWidth(std::string_view text);
// `text` cut to at most `columns` columns, at a character's boundary.
std::string FitToColumns(std::string_view text, int columns);
