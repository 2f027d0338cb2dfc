#pragma once
// What every end-to-end test starts from: the program's resources, a working folder as the current
// directory, the process's threads counted before the run, and reading the results.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/update_dlg.h"
#include "e2e/process_probe.h"
#include "e2e/simulated_device.h"
#include "e2e/update_run.h"
#include "framework/resources.h"
#include "res/resources.h"
#include "support/work_folder.h"

namespace e2e {

class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterResources();
        threadsBefore_ = ProgramThreadCount();
        // Every run's update record goes to this test's own folder.
        if (const char* given = std::getenv("XDG_STATE_HOME")) stateBefore_ = given;
        setenv("XDG_STATE_HOME", StateHome().c_str(), 1);
    }
    void TearDown() override {
        if (stateBefore_)
            setenv("XDG_STATE_HOME", stateBefore_->c_str(), 1);
        else
            unsetenv("XDG_STATE_HOME");
    }

    std::filesystem::path StateHome() const { return folder_.Path() / "state"; }
    std::filesystem::path RecordFolder() const { return StateHome() / "qelpupd"; }

    static std::string Text(int id) { return fw::LoadText(id); }

    // The log's last line, without its line end.
    static std::string LastLine(const std::string& log) {
        std::string text = log;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        const auto lineEnd = text.rfind('\n');
        return lineEnd == std::string::npos ? text : text.substr(lineEnd + 1);
    }

    // Once the run has returned: the reader and the watcher are gone and the port is closed.
    void ExpectNothingLeftOf(const SimulatedDevice& device) const {
        EXPECT_EQ(ProgramThreadCount(), threadsBefore_) << "a thread of the run is still there";
        EXPECT_EQ(DescriptorsOpenOn(device.SlavePath()), 0) << "the port is still open";
    }

    test::WorkFolder folder_;
    int threadsBefore_ = 0;
    std::optional<std::string> stateBefore_;
};

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace e2e
