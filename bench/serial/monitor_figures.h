#pragma once
// What the port monitor's benchmarks gather over their rounds, and how they print it; shared by
// the Linux and the Windows benchmark.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace monitor_bench {

constexpr int kRounds = 20;

inline double Ms(std::chrono::steady_clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

struct Figures {
    std::vector<double> toNotice;
    std::vector<double> scan;
    int missed = 0;     // no notice within 2 s
    int wrongScan = 0;  // the rescan did not show the change

    void Print(const char* what) {
        const auto line = [](const char* label, std::vector<double>& values) {
            if (values.empty()) return;
            std::sort(values.begin(), values.end());
            std::printf("    %-26s median %7.2f ms  slowest %7.2f ms\n", label,
                        values[values.size() / 2], values.back());
        };
        std::printf("  %s (%d rounds, %d without notice, %d scans that missed the change)\n", what,
                    kRounds, missed, wrongScan);
        line("change to notice", toNotice);
        line("rescan", scan);
    }
};

}  // namespace monitor_bench
