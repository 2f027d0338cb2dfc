#include "cli/progress_report.h"

#include <cstdio>

namespace {

constexpr const char* kClearToEnd = "\x1b[K";

std::string FormatRate(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond >= 1000) {
        std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    }
    return text;
}

std::string FormatDuration(std::uint64_t seconds) {
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                      static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned long long>(seconds / 60 % 60),
                      static_cast<unsigned long long>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu",
                      static_cast<unsigned long long>(seconds / 60),
                      static_cast<unsigned long long>(seconds % 60));
    }
    return text;
}

}  // namespace

int ProgressPercent(std::uint64_t sent, std::uint64_t total) {
    if (total == 0 || sent >= total) return 100;
    return static_cast<int>(sent * 100 / total);
}

std::string FormatProgress(const ProgressFigures& figures) {
    char head[96];
    std::snprintf(head, sizeof head, "%3d%%  %llu/%llu bytes",
                  ProgressPercent(figures.sent, figures.total),
                  static_cast<unsigned long long>(figures.sent),
                  static_cast<unsigned long long>(figures.total));
    std::string text = head;
    const double seconds = static_cast<double>(figures.elapsed.count()) / 1000;
    if (figures.sent == 0 || seconds <= 0) return text + "  -- B/s  --:-- left";
    const double rate = static_cast<double>(figures.sent) / seconds;
    const std::uint64_t left = figures.total > figures.sent ? figures.total - figures.sent : 0;
    // Rounded up: "0:00 left" only once nothing is left.
    const auto secondsLeft = static_cast<std::uint64_t>(static_cast<double>(left) / rate + 0.999);
    return text + "  " + FormatRate(rate) + "  " + FormatDuration(secondsLeft) + " left";
}

std::optional<std::string> ProgressReport::Update(const ProgressFigures& figures) {
    const int percent = ProgressPercent(figures.sent, figures.total);
    if (mode_ == Mode::kLines) {
        const int step = percent / 10;
        if (step <= lastStep_) return std::nullopt;
        lastStep_ = step;
        return FormatProgress(figures) + "\n";
    }
    const bool due = percent != lastPercent_ || figures.elapsed - lastDrawn_ >= kRedrawInterval;
    if (!due) return std::nullopt;
    lastPercent_ = percent;
    lastDrawn_ = figures.elapsed;
    shown_ = FormatProgress(figures);
    return Redraw();
}

std::string ProgressReport::Finish(const ProgressFigures& figures) {
    if (mode_ == Mode::kLines) return Update(figures).value_or(std::string());
    shown_ = FormatProgress(figures);
    std::string text = Redraw() + "\n";
    shown_.clear();
    return text;
}

std::string ProgressReport::Clear() const {
    return shown_.empty() ? std::string() : std::string("\r") + kClearToEnd;
}

std::string ProgressReport::Redraw() const {
    return shown_.empty() ? std::string() : "\r" + shown_ + kClearToEnd;
}
