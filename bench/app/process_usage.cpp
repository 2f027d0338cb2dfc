#include "process_usage.h"

#include <sys/resource.h>
#include <time.h>

#include <filesystem>
#include <fstream>

ProcessUsage CurrentProcessUsage() {
    ProcessUsage usage;
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    usage.cpuSeconds = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    usage.voluntarySwitches = self.ru_nvcsw;
    usage.involuntarySwitches = self.ru_nivcsw;
    return usage;
}

std::vector<ThreadUsage> CurrentThreadUsage() {
    std::vector<ThreadUsage> threads;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        ThreadUsage thread;
        // schedstat's first field: nanoseconds on a CPU, finer than the clock ticks of stat.
        long long runNs = -1;
        std::ifstream(task.path() / "schedstat") >> runNs;
        std::getline(std::ifstream(task.path() / "comm"), thread.name);
        if (runNs < 0) continue;
        thread.tid = std::stoi(task.path().filename().string());
        thread.cpuSeconds = static_cast<double>(runNs) / 1e9;
        threads.push_back(thread);
    }
    return threads;
}
