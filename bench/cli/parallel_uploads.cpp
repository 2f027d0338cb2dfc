// Several qelpupd-cli processes side by side, as a production line runs them: four paced uploads
// at once against one alone. Prints the wall time of each group, their ratio (1.00: running side by
// side costs nothing) and the CPU time each process used. Asserts nothing.
//
// Usage: cli_parallel_uploads [BYTES]   (default 20000: about 10 s at the line's pace)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/work_folder.h"
#include "tools/cli_process.h"
#include "tools/simulator_process.h"

namespace {

struct GroupFigures {
    double wallSeconds = 0;
    std::vector<double> cpuSeconds;
    std::vector<double> wallEach;
    int failures = 0;
};

GroupFigures RunGroup(int count, const std::string& data) {
    std::vector<std::unique_ptr<SimulatorProcess>> devices;
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        devices.push_back(std::make_unique<SimulatorProcess>(std::vector<std::string>{
            "--data", data, "--pace", "--boot-delay-ms", "5", "--linger-ms", "60000"}));
        const auto path = devices.back()->readLine();
        paths.push_back(path.value_or(""));
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<CliProcess>> runs;
    for (const std::string& path : paths) {
        runs.push_back(
            std::make_unique<CliProcess>(std::vector<std::string>{"--quiet", "--port", path}));
    }
    GroupFigures figures;
    for (auto& run : runs) {
        const CliProcess::Ended ended = run->Finish(std::chrono::minutes(10));
        figures.cpuSeconds.push_back(ended.cpuSeconds);
        figures.wallEach.push_back(static_cast<double>(ended.wall.count()) / 1000);
        if (ended.status != 0) ++figures.failures;
    }
    figures.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (auto& device : devices) {
        if (device->waitForExit() != 0) ++figures.failures;
    }
    return figures;
}

void Print(const char* label, const GroupFigures& figures) {
    std::printf("%-10s wall %6.2f s  failures %d\n", label, figures.wallSeconds, figures.failures);
    for (std::size_t i = 0; i < figures.cpuSeconds.size(); ++i) {
        std::printf(
            "           process %zu: wall %6.2f s  cpu %6.3f s (%.2f %% of its wall time)\n", i + 1,
            figures.wallEach[i], figures.cpuSeconds[i],
            100 * figures.cpuSeconds[i] / figures.wallEach[i]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t bytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    test::WorkFolder folder;
    const std::string data = folder.WriteDataFile(bytes);
    std::printf("qelpupd-cli, %zu-byte data file, paced at 19200 baud by the simulator\n", bytes);

    const GroupFigures alone = RunGroup(1, data);
    Print("alone", alone);
    const GroupFigures four = RunGroup(4, data);
    Print("four", four);
    std::printf("wall time ratio, four at once / one alone: %.3f (goal: under 1.05)\n",
                four.wallSeconds / alone.wallSeconds);
    return alone.failures + four.failures == 0 ? 0 : 1;
}
