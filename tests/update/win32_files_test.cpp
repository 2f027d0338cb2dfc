// The data file and the update record on Windows' own files: locks as the two programs take them,
// UTF-8 paths through the wide calls, and a record written into a folder that does not exist yet.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "update/data_file.h"
#include "update/record_files.h"
#include "update/update_record.h"
// After the project's headers:
#include "serial/win32_api.h"

namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Win32FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Japanese in the folder's name: every path goes through UTF-16 at the system's calls.
        root_ = fs::temp_directory_path() /
                PathOf("qelpupd-ファイル-" + std::to_string(std::random_device{}()));
        ASSERT_TRUE(fs::create_directory(root_));
        data_ = root_ / "7118K0100.UPF";
        std::ofstream(data_, std::ios::binary) << std::string("\x00\x1a\r\n data", 9);
    }
    void TearDown() override { fs::remove_all(root_); }

    // Another program's lock over the whole file, as a second reader would hold it.
    HANDLE LockedByAnother(bool exclusive) const {
        const HANDLE file = CreateFileW(data_.wstring().c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        OVERLAPPED whole{};
        EXPECT_TRUE(LockFileEx(file, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD,
                               &whole));
        return file;
    }

    fs::path root_;
    fs::path data_;
};

TEST_F(Win32FilesTest, TheFolderGivesItsDataFileWholeThroughAUtf8Path) {
    const DataFileChoice choice = ChooseDataFile(Utf8Of(root_));
    ASSERT_EQ(PathOf(choice.path), fs::absolute(data_));
    const DataFileContents contents = ReadDataFile(choice.path);
    ASSERT_EQ(contents.status, DataFileStatus::kOk);
    EXPECT_EQ(std::string(contents.bytes.begin(), contents.bytes.end()), ReadAll(data_));
}

TEST_F(Win32FilesTest, LocksRefuseAsTheyDoOnLinux) {
    // A reader holding the file: the window program's exclusive read is refused at once.
    HANDLE holder = LockedByAnother(false);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadDataFile(Utf8Of(data_), DataFileLock::kExclusive).status,
              DataFileStatus::kCannotOpen);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    // ... and other shared readers go on.
    EXPECT_EQ(ReadDataFile(Utf8Of(data_), DataFileLock::kShared).status, DataFileStatus::kOk);
    CloseHandle(holder);

    // A window program reading: a shared reader waits for it.
    holder = LockedByAnother(true);
    std::thread letGo([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        CloseHandle(holder);
    });
    EXPECT_EQ(ReadDataFile(Utf8Of(data_), DataFileLock::kShared).status, DataFileStatus::kOk);
    letGo.join();
}

TEST_F(Win32FilesTest, AFolderOrAMissingFileIsNoDataFile) {
    fs::create_directory(root_ / "7118K0000.UPF");
    const DataFileChoice choice = ChooseDataFile(Utf8Of(root_));
    EXPECT_EQ(PathOf(choice.path).filename(), "7118K0000.UPF");
    EXPECT_EQ(ReadDataFile(choice.path).status, DataFileStatus::kCannotOpen);
    EXPECT_EQ(ReadDataFile(Utf8Of(root_ / "7118K9.UPF")).status, DataFileStatus::kCannotOpen);
}

TEST_F(Win32FilesTest, ARecordGoesIntoAFolderMadeForItWithItsConsoleFile) {
    const fs::path directory = root_ / "AppData" / PathOf("ローカル") / "QelpUpd";
    std::vector<std::string> problems;
    {
        UpdateRecord record(Utf8Of(directory),
                            [&](const std::string& line) { problems.push_back(line); });
        record.Start({"qelpupd", "1.0.0.1", "COM1", "\\\\.\\COM1", Utf8Of(data_),
                      std::chrono::system_clock::now()});
        record.ConsoleLine("bootmode=DATAWAIT");
        record.DataSent(std::make_shared<const std::vector<unsigned char>>(9, 'x'));
        RunEnd end;
        end.transfer = TransferResult{TransferEnd::kComplete, 0, 9, {}};
        end.uploads = 1;
        end.outcome = RecordedOutcome::kSucceeded;
        end.message = 109;
        end.time = std::chrono::system_clock::now();
        record.Finish(end);
    }
    EXPECT_EQ(problems, std::vector<std::string>{});
    const std::string line = ReadAll(directory / kRecordFileName);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    // The file's path in the record as JSON spells it: backslashes escaped, Japanese as it is.
    std::string escaped;
    for (char c : Utf8Of(data_)) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_NE(line.find(escaped), std::string::npos) << line;
    EXPECT_NE(line.find("\"outcome\":\"succeeded\""), std::string::npos) << line;
    int consoleFiles = 0;
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.path().extension() == ".log" && entry.path().filename() != kRecordFileName) {
            ++consoleFiles;
            EXPECT_EQ(ReadAll(entry.path()), "bootmode=DATAWAIT\n");
        }
    EXPECT_EQ(consoleFiles, 1);
}

TEST_F(Win32FilesTest, ANewFileThatExistsIsSaidToExist) {
    int error = 0;
    const std::string path = Utf8Of(root_ / "once.log");
    record_files::AppendFile first = record_files::AppendFile::CreateNew(path, error);
    ASSERT_TRUE(first.IsOpen()) << error;
    record_files::AppendFile second = record_files::AppendFile::CreateNew(path, error);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(record_files::IsExistsError(error)) << error;
}

}  // namespace
