#include "work_folder.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>
#include <vector>

WorkFolder::WorkFolder(std::size_t dataBytes) : previous_(std::filesystem::current_path()) {
    std::string name = (std::filesystem::temp_directory_path() / "qelpupd-bench-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = name;
    dataFile_ = (folder_ / "7118K0001.UPF").string();

    // Every byte value, in an order that a shifted or repeated block would not reproduce.
    std::vector<char> bytes(dataBytes);
    for (std::size_t i = 0; i < dataBytes; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    std::ofstream(dataFile_, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::filesystem::current_path(folder_);
    // The tool's update record goes to the folder too, never to the home folder.
    setenv("XDG_STATE_HOME", (folder_ / "state").c_str(), 1);
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(folder_, ignored);
}
