#include "e2e/process_probe.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace e2e {
namespace {

template <class Visit>
void ForEachEntry(const char* directory, Visit visit) {
    DIR* dir = opendir(directory);
    if (!dir) return;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') visit(entry->d_name);
    closedir(dir);
}

std::string FirstLineOf(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

}  // namespace

int ProgramThreadCount() {
    int count = 0;
    ForEachEntry("/proc/self/task", [&](const char* id) {
        if (FirstLineOf(std::string("/proc/self/task/") + id + "/comm") != "Thread (pooled)")
            ++count;
    });
    return count;
}

int DescriptorsOpenOn(const std::string& path) {
    int count = 0;
    ForEachEntry("/proc/self/fd", [&](const char* name) {
        char target[PATH_MAX];
        const std::string link = std::string("/proc/self/fd/") + name;
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && path == std::string(target, static_cast<std::size_t>(n))) ++count;
    });
    return count;
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

StderrCapture::StderrCapture() {
    char name[] = "/tmp/qelpupd-e2e-stderr-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0) throw std::runtime_error("mkstemp failed");
    unlink(name);
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(file_, STDERR_FILENO);
}

StderrCapture::~StderrCapture() {
    Stop();
    if (file_ >= 0) close(file_);
}

std::string StderrCapture::Stop() {
    if (saved_ < 0) return {};
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    saved_ = -1;
    std::string text;
    char chunk[4096];
    for (off_t at = 0;;) {
        const ssize_t n = pread(file_, chunk, sizeof chunk, at);
        if (n <= 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
        at += n;
    }
    return text;
}

}  // namespace e2e
