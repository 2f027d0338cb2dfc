// Who may read the data file at the same moment: the window program alone, terminal programs side
// by side. Another process's lock is played by a second open file description in this process,
// which flock treats the same way.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "update/data_file.h"

namespace {

using namespace std::chrono_literals;

class DataFileLocks : public testing::Test {
  protected:
    void SetUp() override {
        path_ = (std::filesystem::temp_directory_path() /
                 ("data-file-lock-" + std::to_string(getpid()) + ".UPF"))
                    .string();
        std::ofstream(path_, std::ios::binary) << "update data";
    }
    void TearDown() override {
        if (holder_ >= 0) close(holder_);
        std::filesystem::remove(path_);
    }

    // Another reader takes the file with `operation` (LOCK_SH or LOCK_EX).
    void HoldElsewhere(int operation) {
        holder_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(holder_, 0);
        ASSERT_EQ(flock(holder_, operation | LOCK_NB), 0);
    }

    std::string path_;
    int holder_ = -1;
};

TEST_F(DataFileLocks, TheWindowProgramIsRefusedWhileAnyoneElseReads) {
    for (int operation : {LOCK_SH, LOCK_EX}) {
        HoldElsewhere(operation);
        const DataFileContents read = ReadDataFile(path_, DataFileLock::kExclusive);
        EXPECT_EQ(read.status, DataFileStatus::kCannotOpen) << operation;
        close(holder_);
        holder_ = -1;
    }
    EXPECT_EQ(ReadDataFile(path_, DataFileLock::kExclusive).status, DataFileStatus::kOk);
}

TEST_F(DataFileLocks, TerminalProgramsReadSideBySide) {
    HoldElsewhere(LOCK_SH);
    const DataFileContents read = ReadDataFile(path_, DataFileLock::kShared);
    ASSERT_EQ(read.status, DataFileStatus::kOk);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "update data");
}

TEST_F(DataFileLocks, ATerminalProgramWaitsWhileTheWindowProgramReads) {
    HoldElsewhere(LOCK_EX);
    auto reading = std::async(std::launch::async,
                              [this] { return ReadDataFile(path_, DataFileLock::kShared); });
    // Still waiting while the exclusive lock is held.
    EXPECT_EQ(reading.wait_for(100ms), std::future_status::timeout);
    close(holder_);
    holder_ = -1;
    ASSERT_EQ(reading.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(reading.get().status, DataFileStatus::kOk);
}

TEST_F(DataFileLocks, ATerminalProgramGivesUpOnALockHeldBeyondTheHold) {
    HoldElsewhere(LOCK_EX);
    auto reading = std::async(std::launch::async,
                              [this] { return ReadDataFile(path_, DataFileLock::kShared); });
    ASSERT_EQ(reading.wait_for(std::chrono::milliseconds(kSharedLockHoldMs) + 10s),
              std::future_status::ready);
    const DataFileContents read = reading.get();
    EXPECT_EQ(read.status, DataFileStatus::kCannotOpen);
    EXPECT_EQ(read.error, EWOULDBLOCK);
}

}  // namespace
