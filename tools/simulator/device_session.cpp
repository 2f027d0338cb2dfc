#include "simulator/device_session.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "simulator/pacer.h"

namespace qelp::sim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kProgressInterval = std::chrono::seconds(1);
constexpr auto kHoldLook = std::chrono::milliseconds(20);
constexpr unsigned kDeviceBaud = 19200;
constexpr unsigned kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

std::string seconds(Clock::duration span) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f s", std::chrono::duration<double>(span).count());
    return text.data();
}

}  // namespace

DeviceSession::DeviceSession(const Options& options, const std::vector<std::uint8_t>* data,
                             Scenario scenario, DevicePlace place, PtyDevice& pty,
                             Transcript& transcript, Clock::time_point epoch)
    : options_(options),
      data_(data),
      scenario_(scenario),
      place_(place),
      pty_(pty),
      transcript_(transcript),
      epoch_(epoch) {}

DeviceSession::Outcome DeviceSession::run() {
    const Script script = scriptFor(scenario_);
    Flow flow = pause(options_.bootDelay);
    for (const std::string& line : script.bootLines) {
        if (flow == Flow::kGo) flow = say(line);
        if (flow == Flow::kGo) flow = pause(options_.bootDelay);
    }
    if (flow == Flow::kGo && options_.extraLines > 0) flow = sayExtraLines();

    std::vector<TransferOutcome> transfers;
    if (flow == Flow::kGo) flow = playTransfers(script, transfers);
    const bool cut = !transfers.empty() && transfers.front().end == TransferEnd::kReachedCut;
    if (flow == Flow::kGo && !cut && !script.endLine.empty()) flow = pause(options_.bootDelay);
    if (flow == Flow::kGo && !cut && !script.endLine.empty()) {
        flow = say(script.endLine);
        if (flow == Flow::kGo) ended_ = sinceEpoch();
    }

    std::size_t strayBytes = 0;
    if (flow == Flow::kGo && !cut) flow = stay(strayBytes);

    Outcome outcome{resultOf(transfers, script, strayBytes, flow), Leaves::kStopped};
    switch (flow) {
        case Flow::kGo:
            outcome.leaves = Leaves::kPortOpen;
            break;
        case Flow::kPortClosed:
            outcome.leaves = Leaves::kToolClosed;
            break;
        case Flow::kHungUpItself:
            outcome.leaves = Leaves::kHungUp;
            break;
        case Flow::kStopped:
            break;
    }
    return outcome;
}

DeviceResult DeviceSession::resultOf(const std::vector<TransferOutcome>& transfers,
                                     const Script& script, std::size_t strayBytes,
                                     Flow flow) const {
    DeviceResult result;
    result.pty = pty_.slavePath();
    result.place = place_.index + 1;
    result.scenario = scenario_;
    result.verdict = judge(RunFacts{.transfers = transfers,
                                    .transfersPlanned = script.dataRequests,
                                    .strayBytes = strayBytes,
                                    .interrupted = flow == Flow::kStopped});
    result.transfers = transfers.size();
    if (!transfers.empty()) {
        const DataCheck& last = transfers.back().check;
        result.bytes = last.received();
        result.sha256 = last.sha256Hex();
        if (last.hasExpectation()) result.whole = !last.mismatchAt().has_value();
    }
    if (ended_) result.endWord = endWordOf(script.endLine);
    result.requested = requested_;
    result.ended = ended_;
    return result;
}

std::chrono::milliseconds DeviceSession::sinceEpoch() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch_);
}

DeviceSession::Flow DeviceSession::playTransfers(const Script& script,
                                                 std::vector<TransferOutcome>& transfers) {
    for (int i = 0; i < script.dataRequests; ++i) {
        // The tool drops a data request that arrives while its upload still runs, so the second
        // request waits until the line has been quiet.
        if (i > 0) {
            if (const Flow f = pause(std::max(options_.bootDelay, options_.idle)); f != Flow::kGo) {
                return f;
            }
        }
        if (i == 0) {
            if (const Flow f = holdDataRequest(); f != Flow::kGo) return f;
        }
        if (const Flow f = say(script.dataRequest); f != Flow::kGo) return f;
        if (i == 0) requested_ = sinceEpoch();

        std::optional<std::size_t> cut;
        if (i == 0 && script.interruption != Interruption::kNone) {
            const auto given = script.interruption == Interruption::kStopReading
                                   ? options_.stallAfter
                                   : options_.hangupAfter;
            cut = cutPoint(given, data_ ? std::optional(data_->size()) : std::nullopt);
            if (data_) cut = std::min(*cut, data_->size());
        }
        transfers.push_back(receive(expectationFor(transfers), cut));
        switch (transfers.back().end) {
            case TransferEnd::kComplete:
            case TransferEnd::kQuietGap:
                break;
            case TransferEnd::kReachedCut:
                return cutShort(script.interruption, *cut);
            case TransferEnd::kPortClosed:
                return Flow::kPortClosed;
            case TransferEnd::kInterrupted:
                return Flow::kStopped;
        }
    }
    return Flow::kGo;
}

DeviceSession::Flow DeviceSession::holdDataRequest() {
    if (options_.holdFile.empty()) return Flow::kGo;
    transcript_.note("holding the data request until " + options_.holdFile + " exists");
    const auto deadline = Clock::now() + options_.waitOpen;
    std::error_code ignored;
    while (!std::filesystem::exists(options_.holdFile, ignored)) {
        if (Clock::now() >= deadline) {
            transcript_.note("no " + options_.holdFile + " after " + millisText(options_.waitOpen) +
                             ": asking for the data all the same");
            return Flow::kGo;
        }
        if (const Flow f = pause(kHoldLook); f != Flow::kGo) return f;
    }
    return Flow::kGo;
}

DataCheck DeviceSession::expectationFor(const std::vector<TransferOutcome>& earlier) const {
    if (data_ != nullptr) return DataCheck(*data_);
    // Without a data file, a second transfer must repeat the first one byte for byte.
    if (!earlier.empty()) return DataCheck(earlier.front().check.copy());
    return DataCheck();
}

TransferOutcome DeviceSession::receive(DataCheck check, std::optional<std::size_t> cut) {
    const auto start = Clock::now();
    std::optional<Pacer> pacer;
    if (options_.pace) pacer.emplace(kDeviceBaud, kBitsPerByte, start);

    std::array<std::uint8_t, 4096> buffer{};
    std::size_t reads = 0;
    std::size_t reported = 0;
    Clock::time_point firstByte{};
    Clock::time_point lastByte = start;
    Clock::time_point nextReport = start + kProgressInterval;
    bool peerClosed = false;
    TransferEnd end = TransferEnd::kQuietGap;

    for (;;) {
        if (cut && check.received() >= *cut) {
            end = TransferEnd::kReachedCut;
            break;
        }
        if (check.complete()) {
            end = TransferEnd::kComplete;
            break;
        }
        const auto now = Clock::now();
        if (now >= nextReport) {
            if (check.received() != reported) {
                transcript_.host("receiving: " + std::to_string(check.received()) +
                                 " bytes so far");
                reported = check.received();
            }
            nextReport = now + kProgressInterval;
        }
        std::size_t room = buffer.size();
        if (cut) room = std::min(room, *cut - check.received());
        if (pacer && !peerClosed) {
            const std::size_t allowed = pacer->allowance(now);
            if (allowed == 0) {
                // Not reading lets the tool's writes back up, as on a real line.
                const WaitResult w = pty_.waitForHangUp(pacer->nextSliceAt());
                if (w == WaitResult::kInterrupted) {
                    end = TransferEnd::kInterrupted;
                    break;
                }
                // Once the tool has closed, what it left behind is read at once.
                peerClosed = w == WaitResult::kHungUp;
                continue;
            }
            room = std::min(room, allowed);
        }

        const auto quietEnd = lastByte + options_.idle;
        const auto got = pty_.read(std::span(buffer.data(), room), std::min(quietEnd, nextReport));
        if (got.status == WaitResult::kReady) {
            check.add(std::span(buffer.data(), got.count));
            // A read that filled its room most likely left more behind: the line stayed busy.
            if (pacer) pacer->consume(got.count, got.count == room);
            if (reads++ == 0) firstByte = Clock::now();
            lastByte = Clock::now();
        } else if (got.status == WaitResult::kTimedOut) {
            if (Clock::now() >= quietEnd) break;
        } else {
            end = got.status == WaitResult::kHungUp ? TransferEnd::kPortClosed
                                                    : TransferEnd::kInterrupted;
            break;
        }
    }

    std::string summary = "received " + std::to_string(check.received()) + " bytes";
    if (reads > 0)
        summary += " (" + std::to_string(reads) + " reads, " + seconds(lastByte - firstByte) + ")";
    switch (end) {
        case TransferEnd::kQuietGap:
            summary += ", then nothing for " + millisText(options_.idle);
            break;
        case TransferEnd::kPortClosed:
            summary += ", then the tool closed the port";
            break;
        case TransferEnd::kInterrupted:
            summary += ", then the simulator was interrupted";
            break;
        case TransferEnd::kComplete:
        case TransferEnd::kReachedCut:
            break;
    }
    transcript_.host(summary);
    return TransferOutcome{std::move(check), cut, end};
}

DeviceSession::Flow DeviceSession::cutShort(Interruption interruption, std::size_t at) {
    if (interruption == Interruption::kHangUp || interruption == Interruption::kPullAdapter) {
        transcript_.note((interruption == Interruption::kHangUp ? "hanging up after "
                                                                : "pulling the adapter after ") +
                         std::to_string(at) + " bytes");
        pty_.hangUp();
        return Flow::kHungUpItself;
    }
    transcript_.note("stopped reading after " + std::to_string(at) +
                     " bytes; waiting for the tool to close the port");
    const Flow flow = pause(options_.linger);
    if (flow == Flow::kGo) {
        transcript_.note("the port is still open after " + millisText(options_.linger) +
                         "; leaving");
    }
    return flow;
}

DeviceSession::Flow DeviceSession::stay(std::size_t& strayBytes) {
    const auto length = place_.last() ? options_.linger : options_.between;
    const auto deadline = Clock::now() + length;
    std::array<std::uint8_t, 4096> buffer{};
    Flow flow = Flow::kGo;
    for (;;) {
        const auto got = pty_.read(buffer, deadline);
        if (got.status == WaitResult::kReady) {
            strayBytes += got.count;
            continue;
        }
        if (got.status == WaitResult::kHungUp) {
            flow = Flow::kPortClosed;
        } else if (got.status == WaitResult::kInterrupted) {
            flow = Flow::kStopped;
        }
        break;
    }
    if (strayBytes > 0) transcript_.host(std::to_string(strayBytes) + " bytes arrived unasked");
    if (flow == Flow::kPortClosed) transcript_.host("closed the port");
    if (flow == Flow::kGo && place_.last()) {
        transcript_.note("the port is still open after " + millisText(length) + "; leaving");
    }
    return flow;
}

DeviceSession::Flow DeviceSession::pause(std::chrono::milliseconds length) {
    return flowAfter(pty_.waitForHangUp(Clock::now() + length));
}

DeviceSession::Flow DeviceSession::flowAfter(WaitResult result) {
    switch (result) {
        case WaitResult::kHungUp:
            transcript_.host("closed the port");
            return Flow::kPortClosed;
        case WaitResult::kInterrupted:
            return Flow::kStopped;
        case WaitResult::kReady:
        case WaitResult::kTimedOut:
            return Flow::kGo;
    }
    return Flow::kGo;
}

DeviceSession::Flow DeviceSession::sayExtraLines() {
    std::string lines;
    for (std::size_t i = 1; i <= options_.extraLines; ++i) {
        std::array<char, 80> line{};
        std::snprintf(line.data(), line.size(),
                      "trace %07zu: flash page %04zx verified, %zu left\n", i, i % 0x10000,
                      options_.extraLines - i);
        lines += line.data();
    }
    const Flow flow = flowAfter(pty_.writeAll(lines));
    if (flow == Flow::kGo)
        transcript_.note("printed " + std::to_string(options_.extraLines) + " extra lines (" +
                         std::to_string(lines.size()) + " bytes)");
    return flow;
}

DeviceSession::Flow DeviceSession::say(std::string_view line) {
    const Flow flow = flowAfter(pty_.writeAll(line));
    if (flow == Flow::kGo) transcript_.device(line);
    return flow;
}

}  // namespace qelp::sim
