#include "simulator/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <utility>
#include <vector>

namespace qelp::sim {
namespace {

// A day: long enough for any rehearsal, small enough that deadlines never overflow.
constexpr std::uint64_t kMaxMillis = 24ULL * 60 * 60 * 1000;

std::optional<std::uint64_t> parseCount(std::string_view text, std::uint64_t max) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

using Setter = std::string (*)(Options&, std::string_view value);

std::string setMillis(std::chrono::milliseconds& field, std::string_view value) {
    const auto ms = parseCount(value, kMaxMillis);
    if (!ms) return "expects milliseconds from 0 to " + std::to_string(kMaxMillis);
    field = std::chrono::milliseconds(*ms);
    return {};
}

std::string setBytes(std::optional<std::size_t>& field, std::string_view value) {
    const auto bytes = parseCount(value, SIZE_MAX);
    if (!bytes) return "expects a byte count";
    field = static_cast<std::size_t>(*bytes);
    return {};
}

std::string setText(std::string& field, std::string_view value) {
    if (value.empty()) return "expects a path";
    field = value;
    return {};
}

// "success,record-header,success": one device after the other on every port.
std::string setScenarios(Options& o, std::string_view list) {
    std::vector<Scenario> scenarios;
    for (;;) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        const auto scenario = scenarioFromName(name);
        if (!scenario) return "does not know \"" + std::string(name) + "\"";
        scenarios.push_back(*scenario);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    o.scenarios = std::move(scenarios);
    return {};
}

bool plays(const Options& o, Scenario scenario) {
    return std::find(o.scenarios.begin(), o.scenarios.end(), scenario) != o.scenarios.end();
}

struct OptionEntry {
    std::string_view name;
    bool takesValue;
    Setter set;
};

constexpr std::array kOptions{
    OptionEntry{"--scenario", true, setScenarios},
    OptionEntry{"--data", true,
                [](Options& o, std::string_view v) { return setText(o.dataFile, v); }},
    OptionEntry{"--link", true,
                [](Options& o, std::string_view v) -> std::string {
                    if (std::find(o.linkPaths.begin(), o.linkPaths.end(), v) != o.linkPaths.end())
                        return "names " + std::string(v) + " twice";
                    std::string path;
                    if (std::string error = setText(path, v); !error.empty()) return error;
                    o.linkPaths.push_back(std::move(path));
                    return {};
                }},
    OptionEntry{"--hold-data-request", true,
                [](Options& o, std::string_view v) { return setText(o.holdFile, v); }},
    OptionEntry{"--pace", false,
                [](Options& o, std::string_view) -> std::string {
                    o.pace = true;
                    return {};
                }},
    OptionEntry{"--idle-ms", true,
                [](Options& o, std::string_view v) { return setMillis(o.idle, v); }},
    OptionEntry{"--linger-ms", true,
                [](Options& o, std::string_view v) { return setMillis(o.linger, v); }},
    OptionEntry{"--boot-delay-ms", true,
                [](Options& o, std::string_view v) { return setMillis(o.bootDelay, v); }},
    OptionEntry{"--wait-open-ms", true,
                [](Options& o, std::string_view v) { return setMillis(o.waitOpen, v); }},
    OptionEntry{"--between-ms", true,
                [](Options& o, std::string_view v) { return setMillis(o.between, v); }},
    OptionEntry{"--vanish-ms", true,
                [](Options& o, std::string_view v) { return setMillis(o.vanishFor, v); }},
    OptionEntry{"--appear-after-ms", true,
                [](Options& o, std::string_view v) { return setMillis(o.appearAfter, v); }},
    OptionEntry{"--hangup-after", true,
                [](Options& o, std::string_view v) { return setBytes(o.hangupAfter, v); }},
    OptionEntry{"--stall-after", true,
                [](Options& o, std::string_view v) { return setBytes(o.stallAfter, v); }},
    OptionEntry{"--extra-lines", true,
                [](Options& o, std::string_view v) -> std::string {
                    const auto count = parseCount(v, 10'000'000);
                    if (!count) return "expects a number of lines up to 10000000";
                    o.extraLines = static_cast<std::size_t>(*count);
                    return {};
                }},
};

// "  name      description", the description wrapped under itself within 84 columns.
std::string wrapEntry(std::string_view name, std::string_view description) {
    constexpr std::size_t kIndent = 24;
    constexpr std::size_t kWidth = 84;
    std::string text = "  " + std::string(name);
    text.resize(std::max(text.size() + 1, kIndent), ' ');
    std::size_t column = text.size();
    while (!description.empty()) {
        const std::size_t space = description.find(' ');
        const std::string_view word = description.substr(0, space);
        if (column > kIndent && column + word.size() > kWidth) {
            text += "\n" + std::string(kIndent, ' ');
            column = kIndent;
        } else if (column > kIndent) {
            text += ' ';
            ++column;
        }
        text += word;
        column += word.size();
        description =
            space == std::string_view::npos ? std::string_view{} : description.substr(space + 1);
    }
    return text + "\n";
}

ParsedCommandLine reject(std::string error) {
    ParsedCommandLine parsed;
    parsed.action = ParsedCommandLine::Action::kReject;
    parsed.error = std::move(error);
    return parsed;
}

}  // namespace

ParsedCommandLine parseCommandLine(std::span<const std::string_view> args) {
    ParsedCommandLine parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.action = ParsedCommandLine::Action::kShowHelp;
            return parsed;
        }
        std::optional<std::string_view> inlineValue;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const auto entry = std::find_if(kOptions.begin(), kOptions.end(),
                                        [arg](const OptionEntry& s) { return s.name == arg; });
        if (entry == kOptions.end()) return reject("unknown argument \"" + std::string(arg) + "\"");

        std::string_view value;
        if (entry->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return reject(std::string(arg) + " needs a value");
            }
        } else if (inlineValue) {
            return reject(std::string(arg) + " takes no value");
        }
        if (std::string error = entry->set(parsed.options, value); !error.empty()) {
            return reject(std::string(arg) + " " + error);
        }
    }
    // Caught here so that a rehearsal script with a misplaced option fails loudly.
    const Options& o = parsed.options;
    if (o.hangupAfter && !plays(o, Scenario::kHangup) && !plays(o, Scenario::kVanish)) {
        return reject("--hangup-after only applies to --scenario hangup or vanish");
    }
    if (o.stallAfter && !plays(o, Scenario::kStall)) {
        return reject("--stall-after only applies to --scenario stall");
    }
    const auto hangup = std::find(o.scenarios.begin(), o.scenarios.end(), Scenario::kHangup);
    if (hangup != o.scenarios.end() && hangup + 1 != o.scenarios.end()) {
        return reject(
            "hangup ends the line for good, so only the last device of a list may "
            "hang up (a pulled adapter that comes back is vanish)");
    }
    if (o.linkPaths.empty() && plays(o, Scenario::kVanish)) {
        return reject("vanish needs --link: the name by which the tool finds the adapter again");
    }
    if (o.linkPaths.empty() && o.appearAfter.count() > 0) {
        return reject("--appear-after-ms needs --link: the port appears as that link");
    }
    return parsed;
}

std::size_t portCount(const Options& options) {
    return std::max<std::size_t>(1, options.linkPaths.size());
}

std::size_t cutPoint(std::optional<std::size_t> given, std::optional<std::size_t> dataSize) {
    if (given) return *given;
    return dataSize ? *dataSize / 2 : kDefaultCutWithoutData;
}

std::string helpText() {
    std::string text =
        R"(Usage: qelp-device-simulator [options]

Plays QELP devices on pseudo-terminals, so that the firmware update tool can be
rehearsed and tested without hardware: one device on one port, several devices one
after the other on a port (a production line), and several ports side by side. The
first line printed is the path of the terminal to give the tool (e.g. as
QELPUPD_COM1), one line per port; a transcript follows.

The simulator waits until the tool has opened the port and switched it to raw mode;
then the device prints a few boot lines and "bootmode=DATAWAIT", receives the data
file and answers with the end line of its scenario. The last device of a port then
stays until the tool closes the port or --linger-ms passes; any other leaves after
--between-ms, and the next one boots on the port the tool keeps open (if the tool
closed it, once the tool has opened it again).

Options:
  --scenario NAME[,NAME...]
                        what the device does (default: success); see below. A list
                        plays one device after the other on each port, e.g.
                        success,record-header,success. hangup may only end a list
  --data FILE           the data file the tool will send; the device then knows its
                        length and checks every byte. Without it, a transfer ends once
                        the line has been quiet for --idle-ms, and the bytes are counted
                        and hashed (FNV-1a, 64 bits)
  --link PATH           also make a symlink PATH to the terminal; removed at exit.
                        An existing symlink at PATH is replaced, any other file is not.
                        Repeat it for more ports: one port per --link, each playing the
                        whole list on its own, at the same time as the others
  --appear-after-ms N   make the symlinks only N ms after the start, as a port that is
                        plugged in late (needs --link)
  --between-ms N        pause between one device's end and the next one's boot
                        (default 1000)
  --vanish-ms N         vanish: how long the pulled adapter stays away (default 1000)
  --hold-data-request FILE
                        send "bootmode=DATAWAIT" only once FILE exists (looked for every
                        20 ms, for at most --wait-open-ms), so that a test can act on the
                        tool's windows before the transfer begins
  --pace                read no faster than a 19200 baud line carries data (about
                        1920 bytes/s), so a transfer takes as long as on real hardware
  --idle-ms N           quiet time that ends a transfer (default 1500). With --data a
                        transfer that stops short also ends after this quiet time
  --linger-ms N         how long the last device stays after its last line if the tool
                        keeps the port open, and how long a stalled device waits for the
                        tool to close it (default 60000)
  --boot-delay-ms N     pause between the device's lines (default 50)
  --wait-open-ms N      how long to wait for the tool to open and set up the port, each
                        time it has to (default 60000)
  --hangup-after N      hangup and vanish scenarios: bytes to receive before the line
                        goes (default: half the data file, or 1000 without --data)
  --stall-after N       stall scenario: bytes to receive before reading stops
                        (default: half the data file, or 1000 without --data)
  --extra-lines N       a talkative device: N more numbered lines of no consequence
                        after the boot lines, all at once (the transcript notes them
                        in one line)
  -h, --help            show this text

Scenarios:
)";
    for (const ScenarioInfo& info : scenarioTable()) {
        text += wrapEntry(info.name, info.description);
    }
    text += R"(
In the twice scenario the device asks again once the line has been quiet for
--idle-ms (or the pause between lines, if longer), so the tool's first upload has ended.
A device that follows a stalled one drops what the tool sent the stalled one.

Transcript (stdout, after the terminals' paths); with several ports each line but the
JSON ones begins with "[N] ", the port's number in the order of --link:
  device> a line the device sent (bytes outside printable ASCII as \xNN, CR as \r)
  host>   what arrived from the tool, summarised
  note:   remarks of the simulator
  result: match | mismatch at byte N | received N bytes, fnv1a64 H | ...
  {...}   after each result line, the same device's result as one JSON object:
          port (the --link, or the terminal), pty (the terminal it played on),
          device (its place in the list, from 1), scenario, ok (it saw what its
          scenario expects), result (as the result line), transfers, bytes and
          sha256 (of its last transfer; sha256 null without one), whole (that
          transfer was the --data file, whole; null without --data), end_word (its
          end line as sent, null if it said none), requested_ms and ended_ms (its
          first data request and its end line, in ms since the start; null if none)
          and took_ms (from the one to the other)
          e.g.  qelp-device-simulator ... | grep '^{' | jq -c '[.port, .device, .ok]'

Example: rehearse an update at the real line speed:
  qelp-device-simulator --link /tmp/qelp-port --data 7118K0100.UPF --pace
then point the update tool at /tmp/qelp-port and follow the transcript.
A line of two ports, three devices each, one of them pulled in the middle:
  qelp-device-simulator --link /tmp/line1 --link /tmp/line2 --data 7118K0100.UPF \
      --pace --scenario success,vanish,record-header

Exit status:
  0  on every port, what each device received matches (or, without --data, a transfer
     was received whole), and the tool kept to the protocol
  1  a mismatch, a transfer cut short by the tool, data nobody asked for, a port never
     (re)opened within --wait-open-ms, or an interrupt (SIGINT, SIGTERM)
  2  a bad command line or an unreadable data file
)";
    return text;
}

}  // namespace qelp::sim
