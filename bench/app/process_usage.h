#pragma once
// What this process has used so far, for benchmarks of an idle program: the CPU time of all its
// threads, how often they gave up the processor (each wait that ended is one voluntary switch, so
// an idle program that polls shows many), and the CPU time of each thread by name. Any thread.

#include <string>
#include <vector>

struct ProcessUsage {
    double cpuSeconds = 0;
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;
};

ProcessUsage CurrentProcessUsage();

struct ThreadUsage {
    int tid = 0;
    std::string name;
    double cpuSeconds = 0;
};

// Every thread of the process, from /proc/self/task; a thread whose figures cannot be read is left
// out.
std::vector<ThreadUsage> CurrentThreadUsage();
