#pragma once
// A temporary working folder holding one generated data file, made the process's working directory
// for its lifetime, since that is where the main dialog looks for the file; XDG_STATE_HOME points
// into it, so that the tool's update record lands there. The folder goes when the object does.
// Main thread, one at a time.

#include <cstddef>
#include <filesystem>
#include <string>

class WorkFolder {
  public:
    explicit WorkFolder(std::size_t dataBytes);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::string& DataFile() const { return dataFile_; }

  private:
    std::filesystem::path folder_;
    std::filesystem::path previous_;
    std::string dataFile_;
};
