// What the update record costs the threads that feed it: one console line on the console reader's
// thread, and Start and Finish on the UI thread, with a folder already holding the 200 console
// files that are kept. Writes to a temporary folder; prints median, 99th percentile and worst;
// asserts nothing.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "update/update_record.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLines = 20000;
constexpr int kRuns = 50;

double Us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

void Print(const char* what, std::vector<double> us) {
    std::sort(us.begin(), us.end());
    const auto at = [&](double f) {
        return us[std::min(us.size() - 1, static_cast<std::size_t>(std::ceil(f * us.size())) - 1)];
    };
    std::printf("  %-34s: median %7.2f us, 99th percentile %7.2f us, worst %8.2f us (%zu)\n", what,
                at(0.5), at(0.99), us.back(), us.size());
}

RunEnd Ended() {
    RunEnd end;
    end.transfer = TransferResult{TransferEnd::kComplete, 120, 0, {}};
    end.uploads = 1;
    end.outcome = RecordedOutcome::kSucceeded;
    end.message = 109;
    end.time = std::chrono::system_clock::now();
    return end;
}

}  // namespace

int main() {
    char name[] = "/tmp/qelpupd-record-bench-XXXXXX";
    if (!mkdtemp(name)) return 1;
    const std::filesystem::path root = name;
    const std::string data = (root / "7118K0001.UPF").string();
    std::ofstream(data, std::ios::binary) << std::string(24000, 'x');
    const std::string directory = (root / "state" / "qelpupd").string();

    std::vector<double> starts, lines, finishes;
    for (int run = 0; run < kRuns; ++run) {
        UpdateRecord record(directory);
        auto t = Clock::now();
        record.Start({"record_bench", "bench", "COM" + std::to_string(run % 2 + 1), "/dev/pts/0",
                      data, std::chrono::system_clock::now()});
        starts.push_back(Us(Clock::now() - t));
        const int count = run == 0 ? kLines : 10;
        for (int i = 0; i < count; ++i) {
            const std::string line = "seq=" + std::to_string(i) + " a device line of usual length";
            t = Clock::now();
            record.ConsoleLine(line);
            lines.push_back(Us(Clock::now() - t));
        }
        t = Clock::now();
        record.Finish(Ended());
        finishes.push_back(Us(Clock::now() - t));
        // Fill the folder up to the console files that are kept, so that later starts prune.
        if (run == 0)
            for (int i = 0; i < kKeptConsoleFiles; ++i)
                std::ofstream(directory + "/console-1970" + std::to_string(i) + "-COM9.log") << i;
    }
    std::printf("Update record, written to %s\n", directory.c_str());
    Print("ConsoleLine (reader thread)", lines);
    Print("Start (UI thread, 200 files to prune)", starts);
    Print("Finish (UI thread, incl. SHA-256)", finishes);
    std::filesystem::remove_all(root);
    return 0;
}
