#pragma once
// A temporary working folder for one run of the tool, for tests and benchmarks. The tool looks for
// its data file in the current directory, so the folder is the current directory for as long as it
// exists. One thread; nothing else may depend on the current directory meanwhile.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace test {

inline constexpr const char* kDataFileName = "7118K0100.UPF";

class WorkFolder {
  public:
    // Creates the folder and makes it the current directory.
    WorkFolder();
    // Returns to the previous current directory and removes the folder.
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // Writes DataPattern(size) under the name the tool looks for; returns the file's path.
    std::string WriteDataFile(std::size_t size);
    // Mounts a file system of `size` bytes (a tmpfs) at `folder` inside the work folder, made where
    // missing and unmounted with the folder: a disk that fills up. False, with the system's reason,
    // where mounting is not permitted.
    bool MountSmallDisk(const std::filesystem::path& folder, std::size_t size, std::string& why);
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
    std::vector<std::filesystem::path> mounts_;
};

// Bytes in which every value occurs, LF and XON/XOFF included, and no two blocks of 200 are alike:
// a byte lost, doubled or changed on the way shows as a mismatch.
std::string DataPattern(std::size_t size);

}  // namespace test
