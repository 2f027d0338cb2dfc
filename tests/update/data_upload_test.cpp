// The data upload over a real pseudo-terminal: what goes on the line, in which writes, with the
// progress dialog's percentage, cancel, and the failure paths of the data file.

#include "update/data_upload.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <utility>

#include "framework/event_loop_port_waiter.h"
#include "framework/resources.h"
#include "log_window.h"
#include "res/resource.h"
#include "res/resources.h"
#include "serial/comm_port.h"
#include "serial/pty_peer.h"
#include "support/gui_wait.h"

namespace {

// Passes every call to the real device and notes the size of each block the port writes. A block
// may reach the device in parts when the line is full; the port asks for its output queue once the
// whole block is written, which marks where the block ends. Given a pace, the output queue drains
// at it, as a real line's does (a pseudo-terminal's reads empty at once).
class BlockNotingDevice final : public SerialDevice {
  public:
    BlockNotingDevice(std::unique_ptr<SerialDevice> real, std::function<void(long)> onBlock,
                      long bytesPerSecond)
        : real_(std::move(real)), onBlock_(std::move(onBlock)), bytesPerSecond_(bytesPerSecond) {}
    DeviceStatus Open(const std::string& path) override { return real_->Open(path); }
    bool IsOpen() const override { return real_->IsOpen(); }
    DeviceStatus Configure(const DeviceControlBlock& s) override { return real_->Configure(s); }
    DeviceStatus Purge() override { return real_->Purge(); }
    DeviceStatus SetDtr(bool raised) override { return real_->SetDtr(raised); }
    DeviceStatus Write(const void* data, long length) override {
        DeviceStatus status = real_->Write(data, length);
        if (status.ok()) pending_ += status.count;
        return status;
    }
    int Descriptor() const override { return real_->Descriptor(); }
    DeviceStatus OutputQueued() override {
        if (pending_ > 0) {
            blockBytes_ = pending_;
            blockAt_ = std::chrono::steady_clock::now();
            onBlock_(std::exchange(pending_, 0));
        }
        if (const long left = Draining(); left > 0) return {left};
        return real_->OutputQueued();
    }
    // Bytes of the last block still on their way at the pace.
    long Draining() const {
        if (bytesPerSecond_ == 0) return 0;
        const auto elapsed = std::chrono::steady_clock::now() - blockAt_;
        const auto sent = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() *
                          bytesPerSecond_ / 1'000'000;
        return std::max<long>(0, blockBytes_ - static_cast<long>(sent));
    }
    void Close() override { real_->Close(); }
    WaitResult WaitReadable() override { return real_->WaitReadable(); }
    DeviceStatus Read(void* destination, long maximum) override {
        return real_->Read(destination, maximum);
    }
    void Wake() override { real_->Wake(); }

  private:
    std::unique_ptr<SerialDevice> real_;
    std::function<void(long)> onBlock_;
    const long bytesPerSecond_;
    long pending_ = 0;
    long blockBytes_ = 0;
    std::chrono::steady_clock::time_point blockAt_;
};

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

QWidget* VisibleWindowTitled(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    return nullptr;
}

class DataUploadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterResources();
        dir = std::filesystem::temp_directory_path() /
              ("qelpupd-upload-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / "7118K0001.UPF").string();
        setenv("QELPUPD_COM1", peer.SlavePath().c_str(), 1);
        auto noting = std::make_unique<BlockNotingDevice>(
            MakeSerialDevice(), [this](long n) { OnWrite(n); }, pace);
        device = noting.get();
        port = std::make_unique<CCommPort>(std::move(noting));
        port->BaudRate = UPDATE_BAUD;
        ASSERT_NE(port->OpenPort("COM1"), 0);
        ASSERT_TRUE(owner.Create(nullptr));
        owner.Widget()->show();
        session.buffer = &port->Buffer();
    }
    void TearDown() override {
        port.reset();
        std::filesystem::remove_all(dir);
    }

    void WriteFile(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

    // Uploads while a thread drains the line; returns what arrived.
    std::string Upload(std::size_t expected, int idleMs = 2000) {
        auto received =
            std::async(std::launch::async, [&] { return peer.Receive(expected, idleMs); });
        UploadDataFile(path, *port, session, owner);
        return received.get();
    }

    virtual void OnWrite(long n) { writes.push_back(n); }

    long pace = 0;  // bytes per second; 0: the pseudo-terminal's own
    PtyPeer peer;
    BlockNotingDevice* device = nullptr;
    std::filesystem::path dir;
    std::string path;
    std::unique_ptr<CCommPort> port;
    test::LogWindow owner;
    UpdateSession session;
    std::vector<long> writes;
};

struct SizeCase {
    std::size_t size;
    std::vector<long> writes;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.size << " bytes";
}

class UploadSizes : public DataUploadTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(UploadSizes, SendsTheWholeFileInBlocksOf200AndTheRemainder) {
    const std::string file = Pattern(GetParam().size);
    WriteFile(file);
    std::string received = Upload(file.size());
    EXPECT_EQ(received.size(), file.size());
    EXPECT_TRUE(received == file);
    EXPECT_EQ(writes, GetParam().writes);
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_EQ(VisibleWindowTitled(QString::fromUtf8("処理中...")), nullptr);
    EXPECT_EQ(session.flags.stop.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, UploadSizes,
                         ::testing::Values(SizeCase{0, {}}, SizeCase{150, {150}},
                                           SizeCase{1000, std::vector<long>(5, 200)},
                                           SizeCase{1001, {200, 200, 200, 200, 200, 1}},
                                           SizeCase{200000, std::vector<long>(1000, 200)}),
                         [](const auto& param_info) {
                             return "Bytes" + std::to_string(param_info.param.size);
                         });

class CancelDuringBlockTwo : public DataUploadTest {
  protected:
    void OnWrite(long n) override {
        DataUploadTest::OnWrite(n);
        QWidget* progress = VisibleWindowTitled(QString::fromUtf8("処理中..."));
        ASSERT_TRUE(progress);
        EXPECT_FALSE(owner.IsWindowEnabled());
        percentAtWrite.emplace_back();
        for (QLabel* label : progress->findChildren<QLabel*>())
            if (label->text().endsWith('%')) percentAtWrite.back() = label->text();
        if (writes.size() == 2) {
            // The operator presses Cancel while block 2 goes out; the press is taken in at the
            // next pumping of messages.
            QPushButton* cancel = progress->findChild<QPushButton*>();
            ASSERT_TRUE(cancel);
            QTimer::singleShot(0, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
        }
    }
    std::vector<QString> percentAtWrite;
};

TEST_F(CancelDuringBlockTwo, SendsBlocksOneAndTwoAndNoMore) {
    const std::string file = Pattern(2000 + 50);  // ten blocks and a remainder
    WriteFile(file);
    std::string received = Upload(file.size(), 300);  // stops listening once the line is quiet
    EXPECT_EQ(writes, (std::vector<long>{200, 200}));
    EXPECT_EQ(received, file.substr(0, 400));
    // The display runs one block ahead of the data.
    EXPECT_EQ(percentAtWrite, (std::vector<QString>{"10%", "20%"}));
    EXPECT_TRUE(owner.IsWindowEnabled());
}

// As in the tool: the port's waits serve the event loop while a block drains at a real line's pace.
// The press comes while block 2 drains, is taken in at once, and stops the upload before block 3.
class CancelWhileBlockTwoDrains : public DataUploadTest {
  protected:
    CancelWhileBlockTwoDrains() { pace = 1920; }
    void SetUp() override {
        DataUploadTest::SetUp();
        port->SetWaiter(&waiter);
    }
    void OnWrite(long n) override {
        DataUploadTest::OnWrite(n);
        if (writes.size() != 2) return;
        QWidget* progress = VisibleWindowTitled(QString::fromUtf8("処理中..."));
        ASSERT_TRUE(progress);
        QPushButton* cancel = progress->findChild<QPushButton*>();
        ASSERT_TRUE(cancel);
        QTimer::singleShot(0, cancel, [this, cancel] {
            bytesDrainingAtPress = device->Draining();
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
    }
    fw::EventLoopPortWaiter waiter;
    long bytesDrainingAtPress = -1;
};

TEST_F(CancelWhileBlockTwoDrains, PressIsTakenInMidBlockAndStopsBeforeBlockThree) {
    const std::string file = Pattern(2000 + 50);
    WriteFile(file);
    std::string received = Upload(file.size(), 300);
    EXPECT_GT(bytesDrainingAtPress, 0) << "the press was served only once block 2 had ended";
    EXPECT_EQ(writes, (std::vector<long>{200, 200}));
    EXPECT_EQ(received, file.substr(0, 400));
    EXPECT_TRUE(owner.IsWindowEnabled());
}

// A data file that cannot be opened ends the run as failed: message 102, stop, and no success.
class UnopenableFile : public DataUploadTest {
  protected:
    std::vector<QString> Boxes(const std::function<void()>& prepare) {
        prepare();
        std::vector<QString> texts;
        test::ModalAnswerer answerer([&](QWidget* box) {
            texts.push_back(static_cast<QMessageBox*>(box)->text());
            QTest::keyClick(box, Qt::Key_Return);
        });
        Upload(0);
        return texts;
    }
};

TEST_F(UnopenableFile, MissingDirectoryFifoOrHeldFileGive102AndEndTheRunAsFailed) {
    const QString noDataFile = QString::fromStdString(fw::LoadText(IDS_NO_DATA_FILE));
    EXPECT_EQ(Boxes([] {}), std::vector<QString>{noDataFile});  // missing
    EXPECT_EQ(session.flags.stop.load(), 1);
    EXPECT_EQ(session.flags.result.load(), 0);

    session.flags.stop = 0;
    session.flags.result = 1;
    EXPECT_EQ(Boxes([&] { std::filesystem::create_directory(path); }),
              std::vector<QString>{noDataFile});  // a directory that matched the pattern
    EXPECT_EQ(session.flags.result.load(), 0);
    std::filesystem::remove(path);

    session.flags.stop = 0;
    session.flags.result = 1;
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);  // a FIFO without writer must not hang the window
    EXPECT_EQ(Boxes([] {}), std::vector<QString>{noDataFile});
    std::filesystem::remove(path);

    session.flags.stop = 0;
    session.flags.result = 1;
    WriteFile("data");
    int holder = open(path.c_str(), O_RDONLY);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);  // another program has it open exclusively
    EXPECT_EQ(Boxes([] {}), std::vector<QString>{noDataFile});
    close(holder);
    EXPECT_TRUE(writes.empty());
}

}  // namespace
