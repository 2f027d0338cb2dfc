#include "simulator/slave_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

namespace qelp::sim {
namespace {

void refuseAnythingButALink(const std::string& path) {
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        throw std::system_error(EEXIST, std::generic_category(), "symlink " + path);
    }
}

}  // namespace

SlaveLink::SlaveLink(std::string linkPath) : linkPath_(std::move(linkPath)) {
    refuseAnythingButALink(linkPath_);
}

void SlaveLink::pointAt(const std::string& target) {
    refuseAnythingButALink(linkPath_);
    // Hidden, so that a program listing the folder (Wine's dosdevices) never takes it for a port.
    const std::filesystem::path path(linkPath_);
    const std::string temporary =
        (path.parent_path() / ("." + path.filename().string() + ".new." + std::to_string(getpid())))
            .string();
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(), "symlink " + temporary);
    }
    // A link left behind by a simulator that was killed hard is replaced here too.
    if (rename(temporary.c_str(), linkPath_.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        throw std::system_error(error, std::generic_category(), "rename to " + linkPath_);
    }
    target_ = target;
}

void SlaveLink::remove() {
    if (target_.empty()) return;
    std::array<char, 256> pointsTo{};
    const ssize_t n = readlink(linkPath_.c_str(), pointsTo.data(), pointsTo.size() - 1);
    if (n >= 0 && std::string(pointsTo.data(), static_cast<std::size_t>(n)) == target_) {
        unlink(linkPath_.c_str());
    }
    target_.clear();
}

}  // namespace qelp::sim
