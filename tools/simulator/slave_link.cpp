#include "simulator/slave_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace qelp::sim {

SlaveLink::SlaveLink(std::string linkPath, const std::string& target)
    : linkPath_(std::move(linkPath)), target_(target) {
    struct stat existing {};
    // A link left behind by a simulator that was killed hard would otherwise block every rerun.
    if (lstat(linkPath_.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        unlink(linkPath_.c_str());
    }
    if (symlink(target_.c_str(), linkPath_.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(), "symlink " + linkPath_);
    }
}

SlaveLink::~SlaveLink() {
    // Only our own link: another simulator may have taken the name over since.
    std::array<char, 256> pointsTo{};
    const ssize_t n = readlink(linkPath_.c_str(), pointsTo.data(), pointsTo.size() - 1);
    if (n >= 0 && std::string(pointsTo.data(), static_cast<std::size_t>(n)) == target_) {
        unlink(linkPath_.c_str());
    }
}

}  // namespace qelp::sim
