// The upload as the window program runs it, over a real pseudo-terminal: the progress dialog owned
// by the main window (disabled meanwhile), its percentage one block ahead of the data, Cancel from
// the dialog, and the message box for a data file that cannot be opened.

#include "app/window_upload.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "framework/event_loop_port_waiter.h"
#include "framework/resources.h"
#include "log_window.h"
#include "res/resource.h"
#include "res/resources.h"
#include "serial/comm_port.h"
#include "serial/pass_through_device.h"
#include "serial/pty_peer.h"
#include "support/gui_wait.h"
#include "support/work_folder.h"
#include "update/data_upload.h"

namespace {

QWidget* VisibleWindowTitled(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    return nullptr;
}

class WindowUploadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterResources();
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
    void TearDown() override { port.reset(); }

    // Uploads the data file while a thread drains the line; returns what arrived.
    std::string Upload(std::size_t expected, int idleMs = 2000) {
        auto received =
            std::async(std::launch::async, [&] { return peer.Receive(expected, idleMs); });
        WindowUpload sink(owner);
        UploadDataFile((folder.Path() / test::kDataFileName).string(), *port, session, sink);
        return received.get();
    }

    virtual void OnWrite(long n) { writes.push_back(n); }

    long pace = 0;  // bytes per second; 0: the pseudo-terminal's own
    test::WorkFolder folder;
    PtyPeer peer;
    BlockNotingDevice* device = nullptr;
    std::unique_ptr<CCommPort> port;
    test::LogWindow owner;
    UpdateSession session;
    std::vector<long> writes;
};

TEST_F(WindowUploadTest, AnEmptyFileAndAShortOneLeaveNoDialogAndTheOwnerEnabled) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1001}}) {
        SCOPED_TRACE(size);
        const std::string file = test::DataPattern(size);
        folder.WriteDataFile(size);
        EXPECT_TRUE(Upload(size) == file);
        EXPECT_TRUE(owner.IsWindowEnabled());
        EXPECT_EQ(VisibleWindowTitled(QString::fromUtf8("処理中...")), nullptr);
    }
    EXPECT_EQ(writes, (std::vector<long>{200, 200, 200, 200, 200, 1}));
}

class CancelDuringBlockTwo : public WindowUploadTest {
  protected:
    void OnWrite(long n) override {
        WindowUploadTest::OnWrite(n);
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
    const std::string file = test::DataPattern(2000 + 50);  // ten blocks and a remainder
    folder.WriteDataFile(file.size());
    std::string received = Upload(file.size(), 300);  // stops listening once the line is quiet
    EXPECT_EQ(writes, (std::vector<long>{200, 200}));
    EXPECT_EQ(received, file.substr(0, 400));
    // The display runs one block ahead of the data.
    EXPECT_EQ(percentAtWrite, (std::vector<QString>{"10%", "20%"}));
    EXPECT_TRUE(owner.IsWindowEnabled());
}

// As in the tool: the port's waits serve the event loop while a block drains at a real line's pace.
// The press comes while block 2 drains, is taken in at once, and stops the upload before block 3.
class CancelWhileBlockTwoDrains : public WindowUploadTest {
  protected:
    CancelWhileBlockTwoDrains() { pace = 1920; }
    void SetUp() override {
        WindowUploadTest::SetUp();
        port->SetWaiter(&waiter);
    }
    void OnWrite(long n) override {
        WindowUploadTest::OnWrite(n);
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
    const std::string file = test::DataPattern(2000 + 50);
    folder.WriteDataFile(file.size());
    std::string received = Upload(file.size(), 300);
    EXPECT_GT(bytesDrainingAtPress, 0) << "the press was served only once block 2 had ended";
    EXPECT_EQ(writes, (std::vector<long>{200, 200}));
    EXPECT_EQ(received, file.substr(0, 400));
    EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST_F(WindowUploadTest, AMissingFileShows102AndEndsTheRunAsFailed) {
    std::vector<QString> texts;
    test::ModalAnswerer answerer([&](QWidget* box) {
        texts.push_back(static_cast<QMessageBox*>(box)->text());
        QTest::keyClick(box, Qt::Key_Return);
    });
    Upload(0, 200);
    EXPECT_EQ(texts, std::vector<QString>{QString::fromStdString(fw::LoadText(IDS_NO_DATA_FILE))});
    EXPECT_EQ(session.flags.stop.load(), 1);
    EXPECT_EQ(session.flags.result.load(), 0);
    EXPECT_TRUE(writes.empty());
}

}  // namespace
