// The edit control as the log uses it, and the progress bar's 16-bit stepping.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <thread>

#include "framework/edit_ops.h"
#include "support/gui_wait.h"
#include "test_dialog.h"

namespace {

class ControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dialog.Create(nullptr));
        dialog.Widget()->show();
        edit = dialog.GetEdit(test::IDC_TEST_EDIT);
        bar = dialog.GetProgressBar(test::IDC_TEST_BAR);
        ASSERT_TRUE(edit && bar);
    }
    test::RecordingDialog dialog;
    fw::EditControl* edit = nullptr;
    fw::ProgressBar* bar = nullptr;
};

// Appending must leave exactly what reading the whole text and writing it back would.
TEST_F(ControlsTest, AppendingGivesTheSameTextAsRewriting) {
    std::string rewritten;
    for (std::string line : {"boot v1.2", "", "a\tb  c", "bootmode=DATAWAIT"}) {
        rewritten = rewritten + line + "\r\n";
        edit->AppendText(line + "\r\n");
        EXPECT_EQ(edit->GetText(), rewritten);
        EXPECT_EQ(edit->TextLength(), rewritten.size());
        EXPECT_EQ(edit->WindowProc(fw::WM_GETTEXTLENGTH, 0, 0),
                  static_cast<fw::LRESULT>(rewritten.size()));
    }
    edit->SetText(rewritten);  // and set-text keeps it as given
    EXPECT_EQ(edit->GetText(), rewritten);
}

TEST_F(ControlsTest, GetTextAndSetTextMessagesUseByteBuffers) {
    const char* text = "abc\r\nｱｲｳ\r\n";
    edit->WindowProc(fw::WM_SETTEXT, 0, reinterpret_cast<fw::LPARAM>(text));
    char buffer[64];
    fw::LRESULT n =
        edit->WindowProc(fw::WM_GETTEXT, sizeof buffer, reinterpret_cast<fw::LPARAM>(buffer));
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)), text);
    char small[4];
    n = edit->WindowProc(fw::WM_GETTEXT, sizeof small, reinterpret_cast<fw::LPARAM>(small));
    EXPECT_EQ(n, 3);
    EXPECT_STREQ(small, "abc");
}

TEST_F(ControlsTest, SelectionCountsBytesOfTheCrLfText) {
    edit->SetText("ab\r\ncd\r\n");
    edit->SetSel(4, 6);  // "cd"
    auto* widget = static_cast<QPlainTextEdit*>(edit->Widget());
    EXPECT_EQ(widget->textCursor().selectedText(), QStringLiteral("cd"));
    edit->SetSel(edit->TextLength(), edit->TextLength());
    EXPECT_TRUE(widget->textCursor().atEnd());
}

TEST_F(ControlsTest, AppendFromAnotherThreadShowsTheEnd) {
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i)
            fw::EditAppendAndShowEnd(dialog.GetDlgItem(test::IDC_TEST_EDIT)->Handle(),
                                     "line " + std::to_string(i) + "\r\n");
    });
    ASSERT_TRUE(
        test::WaitUntil([&] { return edit->GetText().find("line 199") != std::string::npos; }));
    worker.join();
    auto* widget = static_cast<QPlainTextEdit*>(edit->Widget());
    EXPECT_TRUE(widget->textCursor().atEnd());
    // The newest line is in view.
    QTextCursor newest(widget->document()->findBlockByNumber(199));
    ASSERT_EQ(newest.block().text(), QStringLiteral("line 199"));
    EXPECT_TRUE(widget->viewport()->rect().contains(widget->cursorRect(newest)));
    EXPECT_GT(widget->verticalScrollBar()->value(), 0);
}

TEST_F(ControlsTest, ProgressBarStepsAndStartsOverPastItsUpperBound) {
    EXPECT_EQ(bar->WindowProc(fw::PBM_SETRANGE, 0, fw::MakeLong(0, 4)), fw::MakeLong(0, 100));
    EXPECT_EQ(bar->SetStep(1), 10);  // the control's initial step
    for (int expected = 0; expected < 4; ++expected) EXPECT_EQ(bar->StepIt(), expected);
    EXPECT_EQ(bar->Position(), 4);
    EXPECT_EQ(bar->StepIt(), 4);  // past the upper bound it starts over
    EXPECT_EQ(bar->Position(), 1);
}

TEST_F(ControlsTest, ProgressBarValuesAreSixteenBits) {
    bar->SetRange(0, 70000);  // does not fit: the upper bound keeps its low 16 bits
    EXPECT_EQ(bar->WindowProc(fw::PBM_SETRANGE, 0, fw::MakeLong(0, 1)),
              fw::MakeLong(0, 70000 & 0xFFFF));
    bar->SetRange(0, 65535);
    bar->SetStep(1);
    bar->SetPos(65535);
    EXPECT_EQ(bar->StepIt(), 65535);
}

}  // namespace
