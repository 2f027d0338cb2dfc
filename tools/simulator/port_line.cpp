#include "simulator/port_line.h"

#include <cstdio>
#include <system_error>
#include <utility>

#include "simulator/device_session.h"
#include "simulator/line_settings.h"
#include "simulator/stop_signal.h"
#include "simulator/verdict.h"

namespace qelp::sim {

PortLine::PortLine(const Options& options, const std::vector<std::uint8_t>* data,
                   std::string linkPath, int stopFd, Transcript transcript, Clock::time_point epoch)
    : options_(options),
      data_(data),
      stopFd_(stopFd),
      transcript_(std::move(transcript)),
      epoch_(epoch),
      pty_(std::make_unique<PtyDevice>(stopFd)) {
    if (linkPath.empty()) return;
    link_.emplace(std::move(linkPath));
    if (options_.appearAfter.count() == 0) link_->pointAt(pty_->slavePath());
}

int PortLine::run() {
    try {
        if (!appear()) {
            transcript_.note("interrupted before the port appeared");
            return kExitProblem;
        }
        const std::vector<Scenario>& row = options_.scenarios;
        bool allMatched = true;
        bool toolAway = true;  // the tool has yet to open (or reopen) the port
        for (std::size_t i = 0; i < row.size(); ++i) {
            introduce(i);
            if (toolAway) {
                if (auto notOpened = waitForTool(i)) {
                    report(std::move(*notOpened));
                    return kExitProblem;
                }
            }
            const DevicePlace place{i, row.size()};
            DeviceSession::Outcome outcome =
                DeviceSession(options_, data_, row[i], place, *pty_, transcript_, epoch_).run();
            allMatched = allMatched && outcome.result.verdict.exitCode == kExitMatch;
            report(std::move(outcome.result));
            switch (outcome.leaves) {
                case DeviceSession::Leaves::kStopped:
                    return kExitProblem;
                case DeviceSession::Leaves::kPortOpen:
                    toolAway = false;
                    break;
                case DeviceSession::Leaves::kToolClosed:
                    pty_->rearm();
                    toolAway = true;
                    break;
                case DeviceSession::Leaves::kHungUp:
                    // Only vanish comes back; the options let hangup end a row only.
                    if (row[i] != Scenario::kVanish) return allMatched ? kExitMatch : kExitProblem;
                    if (!pullAndReturn(!place.last())) {
                        transcript_.note("interrupted while the adapter was away");
                        return kExitProblem;
                    }
                    toolAway = true;
                    continue;
            }
            if (place.last()) break;
            // A swapped-in board never sees what the tool sent its predecessor.
            if (const std::size_t dropped = pty_->dropUnread(); dropped > 0) {
                transcript_.note("dropped " + std::to_string(dropped) +
                                 " bytes or more that the last device left unread");
            }
        }
        return allMatched ? kExitMatch : kExitProblem;
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "qelp-device-simulator: %s: %s\n", portName().c_str(), error.what());
        return kExitProblem;
    }
}

void PortLine::introduce(std::size_t index) {
    const std::size_t count = options_.scenarios.size();
    const std::string which =
        count > 1 ? "device " + std::to_string(index + 1) + " of " + std::to_string(count) + ": "
                  : std::string();
    transcript_.note(which + "scenario " + std::string(scenarioName(options_.scenarios[index])) +
                     (data_ ? ", expecting " + std::to_string(data_->size()) + " bytes"
                            : std::string(", no data file: counting and hashing")) +
                     (options_.pace ? ", reading at 19200 baud" : ""));
}

bool PortLine::appear() {
    if (!link_ || options_.appearAfter.count() == 0) return true;
    transcript_.note(link_->path() + " appears in " + millisText(options_.appearAfter));
    if (stoppedBefore(stopFd_, Clock::now() + options_.appearAfter)) return false;
    link_->pointAt(pty_->slavePath());
    transcript_.note(link_->path() + " appeared");
    return true;
}

std::optional<DeviceResult> PortLine::waitForTool(std::size_t index) {
    transcript_.note("waiting for the tool to open " + pty_->slavePath() + " in raw mode");
    DeviceResult notOpened;
    notOpened.pty = pty_->slavePath();
    notOpened.place = index + 1;
    notOpened.scenario = options_.scenarios[index];
    switch (pty_->waitUntilRaw(Clock::now() + options_.waitOpen)) {
        case WaitResult::kReady:
            break;
        case WaitResult::kTimedOut:
            notOpened.verdict = {kExitProblem, "the port was not opened in raw mode within " +
                                                   millisText(options_.waitOpen)};
            return notOpened;
        case WaitResult::kInterrupted:
        case WaitResult::kHungUp:
            notOpened.verdict = judge(RunFacts{.transfers = {}, .interrupted = true});
            return notOpened;
    }
    if (const auto settings = pty_->portSettings()) {
        const LineSettingsReport report = describeLineSettings(*settings);
        transcript_.note(
            "port opened: " + report.text +
            (report.matchesDevice ? "" : " (a real device talks 19200 8N1, no XON/XOFF)"));
    }
    pty_->releaseOwnSlave();
    return std::nullopt;
}

bool PortLine::pullAndReturn(bool comesBack) {
    // The terminal is closed already: the kernel goes first, then the name, as udev does.
    link_->remove();
    if (!comesBack) {
        transcript_.note(link_->path() + " is gone");
        return true;
    }
    transcript_.note(link_->path() + " is gone; the adapter comes back in " +
                     millisText(options_.vanishFor));
    if (stoppedBefore(stopFd_, Clock::now() + options_.vanishFor)) return false;
    pty_ = std::make_unique<PtyDevice>(stopFd_);
    link_->pointAt(pty_->slavePath());
    transcript_.note("the adapter is back: " + link_->path() + " -> " + pty_->slavePath());
    return true;
}

void PortLine::report(DeviceResult result) {
    result.port = portName();
    transcript_.result(result.verdict.line, resultJson(result));
}

std::string PortLine::portName() const {
    return link_ ? link_->path() : pty_->slavePath();
}

}  // namespace qelp::sim
