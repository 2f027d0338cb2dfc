#include "cli/data_choice.h"

#include <filesystem>
#include <system_error>

#include "update/data_file.h"

namespace {

// Paths stay UTF-8 inside the program: std::filesystem takes a plain string in the system's code
// page on Windows, which is not UTF-8.
std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

}  // namespace

DataChoice ChooseDataFileFor(const std::string& given) {
    DataChoice choice;
    std::string path = given;
    if (given.empty()) {
        const DataFileChoice found = ChooseDataFile(".");
        if (found.path.empty()) {
            choice.reason = std::string("no ") + DATA_FILE_PATTERN + " in the current folder";
            return choice;
        }
        if (found.passedOver > 0) {
            // Several candidates usually mean an old file left beside the new one: say which goes.
            choice.note = "qelpupd-cli: data file " + found.path + " taken; " +
                          std::to_string(found.passedOver) + " other matching file" +
                          (found.passedOver == 1 ? "" : "s") + " passed over\n";
        }
        path = found.path;
    } else {
        std::error_code error;
        const auto status = std::filesystem::status(PathOf(given), error);
        if (error) {
            choice.reason = given + ": " + error.message();
            return choice;
        }
        if (!std::filesystem::is_regular_file(status)) {
            choice.reason = given + ": not a regular file";
            return choice;
        }
    }
    choice.path = Utf8Of(std::filesystem::absolute(PathOf(path)));
    return choice;
}
