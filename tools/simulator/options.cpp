#include "simulator/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

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

struct OptionEntry {
    std::string_view name;
    bool takesValue;
    Setter set;
};

constexpr std::array kOptions{
    OptionEntry{"--scenario", true,
                [](Options& o, std::string_view v) -> std::string {
                    const auto scenario = scenarioFromName(v);
                    if (!scenario) return "does not know \"" + std::string(v) + "\"";
                    o.scenario = *scenario;
                    return {};
                }},
    OptionEntry{"--data", true,
                [](Options& o, std::string_view v) { return setText(o.dataFile, v); }},
    OptionEntry{"--link", true,
                [](Options& o, std::string_view v) { return setText(o.linkPath, v); }},
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
    if (parsed.options.hangupAfter && parsed.options.scenario != Scenario::kHangup) {
        return reject("--hangup-after only applies to --scenario hangup");
    }
    if (parsed.options.stallAfter && parsed.options.scenario != Scenario::kStall) {
        return reject("--stall-after only applies to --scenario stall");
    }
    return parsed;
}

std::size_t cutPoint(std::optional<std::size_t> given, std::optional<std::size_t> dataSize) {
    if (given) return *given;
    return dataSize ? *dataSize / 2 : kDefaultCutWithoutData;
}

std::string helpText() {
    std::string text =
        R"(Usage: qelp-device-simulator [options]

Plays a QELP device on a pseudo-terminal, so that the firmware update tool can be
rehearsed and tested without hardware. The first line printed is the path of the
terminal to give the tool (e.g. as QELPUPD_COM1); a transcript follows.

The simulator waits until the tool has opened the port and switched it to raw mode,
prints a few boot lines and "bootmode=DATAWAIT", receives the data file and answers
with the end line of the chosen scenario. It then stays until the tool closes the port
or --linger-ms passes.

Options:
  --scenario NAME       what the device does (default: success); see below
  --data FILE           the data file the tool will send; the device then knows its
                        length and checks every byte. Without it, a transfer ends once
                        the line has been quiet for --idle-ms, and the bytes are counted
                        and hashed (FNV-1a, 64 bits)
  --link PATH           also make a symlink PATH to the terminal; removed at exit.
                        An existing symlink at PATH is replaced, any other file is not
  --hold-data-request FILE
                        send "bootmode=DATAWAIT" only once FILE exists (looked for every
                        20 ms, for at most --wait-open-ms), so that a test can act on the
                        tool's windows before the transfer begins
  --pace                read no faster than a 19200 baud line carries data (about
                        1920 bytes/s), so a transfer takes as long as on real hardware
  --idle-ms N           quiet time that ends a transfer (default 1500). With --data a
                        transfer that stops short also ends after this quiet time
  --linger-ms N         how long to stay after the last line if the tool keeps the port
                        open (default 60000)
  --boot-delay-ms N     pause between the device's lines (default 50)
  --wait-open-ms N      how long to wait for the tool to open and set up the port
                        (default 60000)
  --hangup-after N      hangup scenario: bytes to receive before hanging up
                        (default: half the data file, or 1000 without --data)
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

Transcript (stdout, after the terminal's path):
  device> a line the device sent (bytes outside printable ASCII as \xNN, CR as \r)
  host>   what arrived from the tool, summarised
  note:   remarks of the simulator
  result: match | mismatch at byte N | received N bytes, fnv1a64 H | ...

Example: rehearse an update at the real line speed:
  qelp-device-simulator --link /tmp/qelp-port --data 7118K0100.UPF --pace
then point the update tool at /tmp/qelp-port and follow the transcript.

Exit status:
  0  what arrived matches (or, without --data, a transfer was received whole), and
     the tool kept to the protocol
  1  a mismatch, a transfer cut short by the tool, data nobody asked for, the port
     never opened within --wait-open-ms, or an interrupt (SIGINT, SIGTERM)
  2  a bad command line or an unreadable data file
)";
    return text;
}

}  // namespace qelp::sim
