// The console reader with the window program's sink, against a real log window: the lines land in
// the log control, and the data request and the end arrive as the main dialog's posted messages;
// the update record keeps exactly the lines that the log showed.

#include "app/window_console_sink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/worker_thread.h"
#include "log_window.h"
#include "serial/receive_buffer.h"
#include "support/gui_wait.h"
#include "support/work_folder.h"
#include "update/console_reader.h"
#include "update/update_record.h"

namespace {

using test::WaitUntil;

class WindowConsoleSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window.Create(nullptr));
        session.buffer = &buffer;
    }

    void StartReader(UpdateRecord* record = nullptr) {
        sink = WindowConsoleSink(window.Log().Handle(), window.Handle(), record);
        reader =
            fw::WorkerThread("console-reader", [this] { return ConsoleReaderProc(session, sink); });
    }

    void Feed(const std::string& bytes) {
        std::atomic<int> connected{1};
        ASSERT_TRUE(buffer.MakeRoom(connected));
        buffer.Append(reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()));
    }

    test::LogWindow window;
    ReceiveBuffer buffer;
    UpdateSession session;
    WindowConsoleSink sink;
    fw::WorkerThread reader;
};

TEST_F(WindowConsoleSinkTest, LinesGoToTheLogAndTheReaderPostsItsRequestsAndItsEnd) {
    StartReader();
    Feed("boot\r\nbootmode=DATAWAIT\n");
    ASSERT_TRUE(WaitUntil([&] { return window.dataRequests.load() == 1; }));
    EXPECT_EQ(window.Log().GetText(), "boot\r\nbootmode=DATAWAIT\r\n");
    Feed("Versionup succeed\n");
    ASSERT_TRUE(WaitUntil([&] { return window.updateEnds.load() == 1; }));
    reader.Join();
    EXPECT_EQ(window.Log().GetText(), "boot\r\nbootmode=DATAWAIT\r\nVersionup succeed\r\n");
    EXPECT_EQ(window.updateEnds.load(), 1);
    EXPECT_EQ(window.dataRequests.load(), 1);
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Lines that come once the log is gone (the window closed while the device still talks) are not in
// the record either: its console file is the log as the operator saw it.
TEST_F(WindowConsoleSinkTest, TheRecordKeepsTheLinesTheLogShowedAndNoOthers) {
    test::WorkFolder folder;
    const std::filesystem::path directory = folder.Path() / "state";
    std::vector<std::string> problems;
    UpdateRecord record(directory.string(),
                        [&](const std::string& line) { problems.push_back(line); });
    record.Start({"qelpupd", "1.0", "COM1", "/dev/pts/9", folder.WriteDataFile(10),
                  std::chrono::system_clock::now()});
    StartReader(&record);

    Feed("boot\r\n\r\nbootmode=DATAWAIT\n");
    ASSERT_TRUE(WaitUntil([&] { return window.dataRequests.load() == 1; }));
    window.DestroyWindow();
    Feed("late\nVersionup succeed\n");
    ASSERT_TRUE(WaitUntil([&] { return session.flags.stop.load() == 1; }));
    reader.Join();
    record.Finish({});

    EXPECT_EQ(problems, std::vector<std::string>{});
    const std::string line = ReadAll(directory / kRecordFileName);
    EXPECT_NE(line.find(R"("last_line":"bootmode=DATAWAIT","console_lines":3,)"), std::string::npos)
        << line;
    std::vector<std::filesystem::path> consoleFiles;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        if (entry.path().filename() != kRecordFileName) consoleFiles.push_back(entry.path());
    ASSERT_EQ(consoleFiles.size(), 1u);
    EXPECT_EQ(ReadAll(consoleFiles[0]), "boot\n\nbootmode=DATAWAIT\n");
}

}  // namespace
