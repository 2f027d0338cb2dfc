// Dialogs from templates: modal runs, keys, the close box, message tables, the system menu, layout.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <ostream>
#include <thread>

#include "framework/app.h"
#include "framework/qt/dialog_font.h"
#include "framework/system_menu.h"
#include "support/gui_wait.h"
#include "test_dialog.h"

using test::RecordingDialog;
using test::WaitUntil;

namespace {

class TestApp : public fw::WinApp {
  public:
    bool InitInstance() override { return false; }
    const fw::MessageMap* GetMessageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::OnCommand<&TestApp::OnAppCommand>(0x8123),
        };
        static const fw::MessageMap map{fw::WinApp::GetMessageMap(), entries};
        return &map;
    }
    int appCommands = 0;

  private:
    void OnAppCommand() { ++appCommands; }
};

class DialogTest : public ::testing::Test {
  protected:
    TestApp app;
};

// Runs the dialog modally; `act` runs once it shows, with its window.
int RunModal(fw::Dialog& dialog, std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [&dialog, act] {
        ASSERT_TRUE(WaitUntil([&] { return dialog.Widget() && dialog.Widget()->isVisible(); }));
        act(dialog.Widget());
    });
    return dialog.DoModal();
}

TEST_F(DialogTest, EnterIssuesTheDefaultButtonAndEndsWithOk) {
    RecordingDialog dialog;
    int result = RunModal(dialog, [&](QWidget*) {
        // From the log, which does not take Enter itself.
        QWidget* log = dialog.GetDlgItem(test::IDC_TEST_EDIT)->Widget();
        log->setFocus();
        QTest::keyClick(log, Qt::Key_Return);
    });
    EXPECT_EQ(result, fw::IDOK);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "ok"}));
    EXPECT_FALSE(dialog.IsWindow());
}

TEST_F(DialogTest, EnterOnAFocusedButtonIssuesThatButton) {
    RecordingDialog dialog;
    dialog.handleOk = true;
    RunModal(dialog, [&](QWidget*) {
        QWidget* other = dialog.GetDlgItem(test::IDC_TEST_BUTTON)->Widget();
        other->setFocus();
        QTest::keyClick(other, Qt::Key_Return);
        dialog.EndDialog(fw::IDCANCEL);
    });
    EXPECT_EQ(dialog.events[1], "other");
}

TEST_F(DialogTest, EscapeAndTheCloseBoxEndWithCancel) {
    RecordingDialog byEscape;
    EXPECT_EQ(RunModal(byEscape, [&](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }),
              fw::IDCANCEL);
    EXPECT_EQ(byEscape.events.back(), "cancel");

    RecordingDialog byCloseBox;
    EXPECT_EQ(RunModal(byCloseBox, [&](QWidget* w) { w->close(); }), fw::IDCANCEL);
    // The close box arrives as the close system command first.
    EXPECT_EQ(
        byCloseBox.events,
        (std::vector<std::string>{"init", "syscommand " + std::to_string(fw::SC_CLOSE), "cancel"}));
}

TEST_F(DialogTest, ADisabledWindowIgnoresItsCloseBox) {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.Widget()->show();
    dialog.EnableWindow(false);  // as an owner is while its progress dialog runs
    dialog.Widget()->close();
    EXPECT_EQ(dialog.events, std::vector<std::string>{"init"});
    EXPECT_TRUE(dialog.IsWindow());
}

// A modal run disables its owner only: a window that the owner opens meanwhile (a progress dialog
// for a data request that arrived while the version dialog was open) takes keys as usual.
TEST_F(DialogTest, AModalRunDisablesItsOwnerAndLeavesOtherWindowsUsable) {
    RecordingDialog owner;
    ASSERT_TRUE(owner.Create(nullptr));
    owner.Widget()->show();
    RecordingDialog modal(&owner);
    RecordingDialog meanwhile;
    RunModal(modal, [&](QWidget*) {
        EXPECT_FALSE(owner.IsWindowEnabled());
        EXPECT_EQ(fw::Dialog::ActiveModalWindow(), modal.Widget());
        ASSERT_TRUE(meanwhile.Create(&owner));
        meanwhile.Widget()->show();
        QTest::keyClick(meanwhile.Widget(), Qt::Key_Escape);
        EXPECT_EQ(meanwhile.events.back(), "cancel");
        modal.EndDialog(fw::IDOK);
        // The owner is back at once, and the dialog gone from the screen.
        EXPECT_TRUE(owner.IsWindowEnabled());
        EXPECT_FALSE(modal.Widget()->isVisible());
    });
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_EQ(fw::Dialog::ActiveModalWindow(), nullptr);
}

TEST_F(DialogTest, ClickingAButtonReachesItsTableEntry) {
    RecordingDialog dialog;
    RunModal(dialog, [&](QWidget*) {
        QTest::mouseClick(dialog.GetDlgItem(test::IDC_TEST_BUTTON)->Widget(), Qt::LeftButton);
        QTest::mouseClick(dialog.GetDlgItem(fw::IDCANCEL)->Widget(), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "other", "cancel"}));
}

TEST_F(DialogTest, InitialisationPutsTheFocusOnTheFirstTabStop) {
    RecordingDialog dialog;
    RunModal(dialog, [&](QWidget* w) {
        EXPECT_EQ(w->focusWidget(), dialog.GetDlgItem(fw::IDOK)->Widget());
        dialog.EndDialog(fw::IDCANCEL);
    });
}

TEST_F(DialogTest, UnhandledAppRangeCommandsGoToTheApplication) {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.WindowProc(fw::WM_COMMAND, fw::MakeCommandParam(0x8123, 0), 0);
    EXPECT_EQ(app.appCommands, 1);
    dialog.WindowProc(fw::WM_COMMAND, fw::MakeCommandParam(0x7123, 0), 0);  // below the range
    dialog.WindowProc(fw::WM_COMMAND, fw::MakeCommandParam(0xF123, 0), 0);  // above it
    EXPECT_EQ(app.appCommands, 1);
}

TEST_F(DialogTest, AppExitClosesTheMainWindowAsCancel) {
    RecordingDialog dialog;
    app.SetMainWindow(&dialog);
    int result = RunModal(dialog, [&](QWidget*) {
        fw::PostMessage(dialog.Handle(), fw::WM_COMMAND, fw::ID_APP_EXIT, 0);
    });
    EXPECT_EQ(result, fw::IDCANCEL);
    EXPECT_EQ(dialog.events.back(), "cancel");
}

TEST_F(DialogTest, EndDialogInsideANestedPumpReturnsOnlyAfterTheHandler) {
    RecordingDialog dialog;
    bool handlerFinished = false;
    int result = RunModal(dialog, [&](QWidget*) {
        dialog.EndDialog(fw::IDOK);
        QApplication::processEvents();
        EXPECT_TRUE(dialog.IsWindow());  // the run ends once this handler has returned
        handlerFinished = true;
    });
    EXPECT_TRUE(handlerFinished);
    EXPECT_EQ(result, fw::IDOK);
}

// Messages already queued when the run ends (a device's data request and its outcome, posted by
// another thread) reach no handler: ended by a key, the close box, or a command in the same turn.
struct Ending {
    const char* name;
    std::function<void(RecordingDialog&)> end;
    int result;
};

void PrintTo(const Ending& ending, std::ostream* out) {
    *out << ending.name;
}

class EndedDialog : public DialogTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndedDialog, HandlesNothingThatWasQueuedBehindItsEnd) {
    RecordingDialog dialog;
    std::vector<std::string> eventsAtEnd;
    int result = RunModal(dialog, [&](QWidget*) {
        // The end first, then the messages from another thread, as the reader posts them: the loop
        // takes all three in one turn.
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                GetParam().end(dialog);
                eventsAtEnd = dialog.events;
            },
            Qt::QueuedConnection);
        std::thread poster([handle = dialog.Handle()] {
            fw::PostMessage(handle, test::WM_TEST_PING, 1, 0);
            fw::PostMessage(handle, test::WM_TEST_PING, 2, 0);
        });
        poster.join();
    });
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(dialog.events, eventsAtEnd) << "handled after the run had ended";
    EXPECT_EQ(std::count_if(dialog.events.begin(), dialog.events.end(),
                            [](const std::string& e) { return e.rfind("ping", 0) == 0; }),
              0);
}

QWidget* FocusOf(RecordingDialog& dialog) {
    QWidget* log = dialog.GetDlgItem(test::IDC_TEST_EDIT)->Widget();
    log->setFocus();
    return log;
}

INSTANTIATE_TEST_SUITE_P(
    Endings, EndedDialog,
    ::testing::Values(
        Ending{"Escape", [](RecordingDialog& d) { QTest::keyClick(FocusOf(d), Qt::Key_Escape); },
               fw::IDCANCEL},
        Ending{"Enter", [](RecordingDialog& d) { QTest::keyClick(FocusOf(d), Qt::Key_Return); },
               fw::IDOK},
        Ending{"CloseBox", [](RecordingDialog& d) { d.Widget()->close(); }, fw::IDCANCEL},
        Ending{"SystemMenuClose",
               [](RecordingDialog& d) { d.GetSystemMenu()->Menu()->actions().front()->trigger(); },
               fw::IDCANCEL},
        // A handler ends the run; a Cancel queued behind it changes nothing either.
        Ending{"EndDialogThenQueuedCancel",
               [](RecordingDialog& d) {
                   d.EndDialog(fw::IDOK);
                   fw::PostMessage(d.Handle(), fw::WM_COMMAND, fw::IDCANCEL, 0);
               },
               fw::IDOK}),
    [](const ::testing::TestParamInfo<Ending>& p) { return std::string(p.param.name); });

// The window-wide keys, pressed where the focus always is: in the read-only log.
QWidget* FocusTheLog(RecordingDialog& dialog) {
    QWidget* log = dialog.GetDlgItem(test::IDC_TEST_EDIT)->Widget();
    log->setFocus();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.Widget(), 5000));
    return log;
}

TEST_F(DialogTest, AltSpaceFromTheLogOpensTheSystemMenuAndItsItemsSendSystemCommands) {
    RecordingDialog dialog;
    int result = RunModal(dialog, [&](QWidget*) {
        QTest::keyClick(FocusTheLog(dialog), Qt::Key_Space, Qt::AltModifier);
        QMenu* menu = dialog.GetSystemMenu()->Menu();
        ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }));
        QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), 3);  // Close, separator, the appended item
        EXPECT_TRUE(actions[1]->isSeparator());
        EXPECT_EQ(actions[2]->text(), QString::fromUtf8("項目(&T)"));
        // The item's mnemonic, as a keyboard user reaches it.
        QTest::keyClick(menu, Qt::Key_T);
        EXPECT_TRUE(WaitUntil([&] { return !menu->isVisible(); }));
        actions[0]->trigger();  // Close
    });
    EXPECT_EQ(result, fw::IDCANCEL);
    ASSERT_EQ(dialog.events.size(), 4u);
    EXPECT_EQ(dialog.events[1], "syscommand " + std::to_string(test::IDM_TEST_ITEM));
    EXPECT_EQ(dialog.events[2], "syscommand " + std::to_string(fw::SC_CLOSE));
}

TEST_F(DialogTest, AltF4FromTheLogAsksToCloseAsTheCloseBoxDoes) {
    RecordingDialog dialog;
    int result = RunModal(dialog, [&](QWidget*) {
        QTest::keyClick(FocusTheLog(dialog), Qt::Key_F4, Qt::AltModifier);
    });
    EXPECT_EQ(result, fw::IDCANCEL);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{
                                 "init", "syscommand " + std::to_string(fw::SC_CLOSE), "cancel"}));
}

TEST_F(DialogTest, TheLogsContextMenuOffersCopySelectAllAndTheSystemMenu) {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.Widget()->show();
    auto* log = static_cast<QPlainTextEdit*>(dialog.GetDlgItem(test::IDC_TEST_EDIT)->Widget());
    dialog.GetEdit(test::IDC_TEST_EDIT)->SetText("boot\r\nbootmode=DATAWAIT\r\n");
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), log->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(log->viewport(), &event);
    QMenu* menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu != nullptr;
    }));
    QList<QAction*> actions = menu->actions();
    QStringList texts;
    for (QAction* a : actions) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts,
              (QStringList{QString::fromUtf8("コピー(&C)\tCtrl+C"),
                           QString::fromUtf8("すべて選択\tCtrl+A"), "-",
                           QString::fromUtf8("閉じる(&C)"), "-", QString::fromUtf8("項目(&T)")}));
    EXPECT_FALSE(actions[0]->isEnabled());  // nothing selected yet
    actions[1]->trigger();
    EXPECT_EQ(log->textCursor().selectedText().size(), log->document()->characterCount() - 1);
    // The system items reach the dialog as from the system menu itself.
    actions[5]->trigger();
    menu->hide();
    EXPECT_EQ(dialog.events.back(), "syscommand " + std::to_string(test::IDM_TEST_ITEM));
}

TEST_F(DialogTest, RightClickOutsideTheControlsOpensTheSystemMenu) {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.Widget()->show();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            dialog.Widget()->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(dialog.Widget(), &event);
    EXPECT_TRUE(dialog.GetSystemMenu()->Menu()->isVisible());
    dialog.GetSystemMenu()->Menu()->hide();
}

TEST_F(DialogTest, DialogUnitsFollowTheTemplateFont) {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    const fw::DialogUnits u = fw::MeasureDialogUnits(dialog.Widget()->font());
    EXPECT_GT(u.baseX, 0);
    EXPECT_GT(u.baseY, u.baseX);
    // The client area and each control keep the template's proportions.
    EXPECT_EQ(dialog.Widget()->width(), u.ToPixelsX(190));
    EXPECT_EQ(dialog.Widget()->height(), u.ToPixelsY(80));
    EXPECT_EQ(dialog.GetDlgItem(test::IDC_TEST_EDIT)->Widget()->geometry(),
              u.ToPixels(10, 10, 170, 30));
    EXPECT_EQ(QFontInfo(dialog.Widget()->font()).family(), QStringLiteral("IPAPGothic"));
}

TEST_F(DialogTest, DestroyingTheDialogKillsTheHandlesOfItsControls) {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    fw::WindowHandle edit = dialog.GetDlgItem(test::IDC_TEST_EDIT)->Handle();
    EXPECT_TRUE(edit.IsAlive());
    dialog.DestroyWindow();
    EXPECT_FALSE(edit.IsAlive());
}

}  // namespace
