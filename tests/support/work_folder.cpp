#include "support/work_folder.h"

#include <stdlib.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace test {

WorkFolder::WorkFolder() : previous_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelpupd-run-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::current_path(path_);
}

WorkFolder::~WorkFolder() {
    for (const std::filesystem::path& mount : mounts_) umount2(mount.c_str(), MNT_DETACH);
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string WorkFolder::WriteDataFile(std::size_t size) {
    const std::filesystem::path file = path_ / kDataFileName;
    const std::string bytes = DataPattern(size);
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    return file.string();
}

bool WorkFolder::MountSmallDisk(const std::filesystem::path& folder, std::size_t size,
                                std::string& why) {
    std::filesystem::create_directories(folder);
    const std::string options = "size=" + std::to_string(size) + ",mode=0700";
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why = std::strerror(errno);
        return false;
    }
    mounts_.push_back(folder);
    return true;
}

std::string DataPattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

}  // namespace test
