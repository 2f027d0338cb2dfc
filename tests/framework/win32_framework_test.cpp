// The framework on user32 and comctl32, under Wine: dialogs built from templates with the system's
// controls, messages between threads and the rules the programs rely on (nothing after a run ended,
// a send to a window that is gone returns at once), counted owner disabling, the system menu, the
// edit control's text in bytes of UTF-8, the progress bar, and a message box answered as an
// operator would.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/app.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/message_pump.h"
#include "framework/resources.h"
#include "framework/window_disable.h"
#include "test_dialog.h"
// After the project's headers. The system's macros stand for the framework's names from here on
// (IDOK, SC_CLOSE, ...): they are used unqualified.
#include "support/win32_gui.h"

using namespace std::chrono_literals;
using test::RecordingDialog;
using test::WaitUntil;

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

class Win32Framework : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create(nullptr)); }
    RecordingDialog dialog;
};

TEST_F(Win32Framework, TheTemplateBecomesTheSystemsControls) {
    EXPECT_EQ(dialog.GetWindowText(), "テスト");
    const struct {
        int id;
        const wchar_t* className;
    } controls[] = {{IDOK, L"Button"},
                    {test::IDC_TEST_EDIT, L"Edit"},
                    {test::IDC_TEST_BAR, L"msctls_progress32"},
                    {test::IDC_TEST_LABEL, L"Static"}};
    for (const auto& c : controls) {
        SCOPED_TRACE(c.id);
        fw::Control* control = dialog.GetDlgItem(c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetDlgCtrlID(control->Widget()), c.id);
        EXPECT_EQ(_wcsicmp(ClassOf(control->Widget()).c_str(), c.className), 0);
    }
    EXPECT_EQ(dialog.GetDlgItemText(test::IDC_TEST_LABEL), "ラベル");
    // Dialog units through the template's font: the client area keeps its proportions.
    RECT units{0, 0, 190, 80};
    MapDialogRect(dialog.Widget(), &units);
    EXPECT_EQ(dialog.ClientSize().cx, units.right);
    EXPECT_EQ(dialog.ClientSize().cy, units.bottom);
}

TEST_F(Win32Framework, TheProgramsIconComesFromTheExecutablesResources) {
    fw::RegisterIcon({128, "", {}});
    const fw::Icon icon = fw::LoadIcon(128);
    ASSERT_TRUE(icon);
    dialog.SetIcon(icon, true);
    dialog.SetIcon(icon, false);
    EXPECT_EQ(SendMessageW(dialog.Widget(), WM_GETICON, ICON_BIG, 0), icon.Handle());
    EXPECT_NE(SendMessageW(dialog.Widget(), WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_FALSE(fw::LoadIcon(4711)) << "no such icon";
}

// What Explorer shows of the executable: this test carries the programs' resources.
TEST(Win32Resources, TheVersionRecordNamesTheProgramAndItsVersion) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<unsigned char> record(GetFileVersionInfoSizeW(path, nullptr));
    ASSERT_FALSE(record.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(record.size()), record.data()));
    const auto text = [&](const wchar_t* name) {
        void* value = nullptr;
        UINT length = 0;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
        if (!VerQueryValueW(record.data(), key.c_str(), &value, &length)) return std::string();
        return Utf8FromWide(static_cast<const wchar_t*>(value));
    };
    EXPECT_EQ(text(L"OriginalFilename"), "QELPUPD.EXE");
    EXPECT_EQ(text(L"FileDescription"), "QELPUPD ｱﾌﾟﾘｹｰｼｮﾝ");
    void* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", &fixed, &length));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    EXPECT_EQ(info->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00000001u);
}

TEST_F(Win32Framework, PostsAreQueuedAndSendsFromAWorkerRunOnTheUiThread) {
    EXPECT_TRUE(fw::PostMessage(dialog.Handle(), test::WM_TEST_PING, 7, 8));
    EXPECT_EQ(dialog.events.back(), "init");
    ASSERT_TRUE(WaitUntil([&] { return dialog.events.back() == "ping 7 8"; }));

    std::atomic<fw::LRESULT> result{-1};
    std::atomic<bool> onUiThread{false};
    std::thread worker([&] {
        result = fw::SendCall(dialog.Handle(), [&](fw::Window& w) {
            onUiThread = fw::OnUiThread();
            return w.WindowProc(test::WM_TEST_PING, 41, 0);
        });
    });
    ASSERT_TRUE(WaitUntil([&] { return result.load() != -1; }));
    worker.join();
    EXPECT_EQ(result.load(), 42);
    EXPECT_TRUE(onUiThread.load());
}

TEST_F(Win32Framework, ASendWaitingWhenTheWindowGoesIsReleasedAndLaterOnesReturnAtOnce) {
    fw::WindowHandle handle = dialog.Handle();
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        fw::SendMessage(handle, test::WM_TEST_PING, 1, 2);
        returned = true;
    });
    // The UI thread does not serve the send: it destroys the window, then joins.
    std::this_thread::sleep_for(50ms);
    dialog.DestroyWindow();
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(fw::PostMessage(handle, test::WM_TEST_PING, 1, 2));
    EXPECT_EQ(fw::SendMessage(handle, test::WM_TEST_PING, 1, 2), 0);
}

// A modal run ended by a handler: what was queued behind it reaches no handler.
TEST(Win32ModalRun, NothingIsDispatchedAfterTheRunEndedAndTheOwnerComesBack) {
    RecordingDialog owner;
    ASSERT_TRUE(owner.Create(nullptr));
    RecordingDialog modal(&owner);
    bool ownerEnabledDuringRun = true;
    test::Soon end(50ms, [&] {
        ownerEnabledDuringRun = owner.IsWindowEnabled();
        modal.EndDialog(IDOK);
        fw::PostMessage(modal.Handle(), test::WM_TEST_PING, 5, 6);
    });
    EXPECT_EQ(modal.DoModal(), IDOK);
    EXPECT_FALSE(ownerEnabledDuringRun) << "the owner takes no input during the run";
    EXPECT_TRUE(owner.IsWindowEnabled());
    fw::PumpMessages();
    for (const std::string& event : modal.events) EXPECT_NE(event, "ping 5 6");
}

TEST_F(Win32Framework, AnOwnerComesBackWithTheLastHoldInAnyOrder) {
    std::optional<fw::WindowDisable> first(&dialog);
    std::optional<fw::WindowDisable> second(dialog.GetDlgItem(test::IDC_TEST_EDIT));
    EXPECT_FALSE(dialog.IsWindowEnabled());
    first.reset();
    EXPECT_FALSE(dialog.IsWindowEnabled()) << "one hold is left";
    second.reset();
    EXPECT_TRUE(dialog.IsWindowEnabled());

    dialog.EnableWindow(false);
    { fw::WindowDisable hold(&dialog); }
    EXPECT_FALSE(dialog.IsWindowEnabled()) << "disabled before, it stays so";
}

TEST_F(Win32Framework, TheSystemMenuHasTheAppendedItemAndItsCommandArrives) {
    HMENU menu = GetSystemMenu(dialog.Widget(), FALSE);
    wchar_t text[64] = {};
    ASSERT_GT(GetMenuStringW(menu, test::IDM_TEST_ITEM, text, 64, MF_BYCOMMAND), 0);
    EXPECT_EQ(std::wstring(text), L"項目(&T)");
    SendMessageW(dialog.Widget(), WM_SYSCOMMAND, test::IDM_TEST_ITEM | 0x3, 0);
    EXPECT_EQ(dialog.events.back(), "syscommand " + std::to_string(test::IDM_TEST_ITEM | 0x3));
    // Close from the system menu ends as Cancel.
    SendMessageW(dialog.Widget(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(dialog.events.back(), "cancel");
}

TEST_F(Win32Framework, TheEditKeepsLinesInCrLfAndCountsBytesOfUtf8) {
    fw::EditControl* edit = dialog.GetEdit(test::IDC_TEST_EDIT);
    ASSERT_NE(edit, nullptr);
    edit->AppendText("ポート\r\n");
    edit->AppendText("abc\r\n");
    EXPECT_EQ(edit->GetText(), "ポート\r\nabc\r\n");
    EXPECT_EQ(edit->TextLength(), std::string("ポート\r\nabc\r\n").size());
    // The reader puts the caret at the end by the text's length in bytes.
    edit->SetSel(edit->TextLength(), edit->TextLength());
    DWORD start = 0, end = 0;
    SendMessageW(edit->Widget(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 10u);  // characters: 3 + CR LF + 3 + CR LF
    EXPECT_EQ(end, 10u);
    edit->SetSel(9, 9);  // bytes: after "ポート" and its CR
    SendMessageW(edit->Widget(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 3u);
}

TEST_F(Win32Framework, TheProgressBarStepsAndStartsOverPastItsUpperBound) {
    fw::ProgressBar* bar = dialog.GetProgressBar(test::IDC_TEST_BAR);
    ASSERT_NE(bar, nullptr);
    bar->SetRange(0, 4);
    EXPECT_EQ(bar->SetStep(1), 10);
    for (int expected = 0; expected < 4; ++expected) EXPECT_EQ(bar->StepIt(), expected);
    EXPECT_EQ(bar->Position(), 4);
    EXPECT_EQ(bar->StepIt(), 4);
    EXPECT_LT(bar->Position(), 4) << "past the upper bound it starts over";
}

TEST(Win32MessageBox, ShowsTheTextWithTheProgramsNameAndReturnsOnceAnswered) {
    std::wstring title;
    std::wstring text;
    std::thread answerer([&] {
        for (int i = 0; i < 1000; ++i) {
            if (HWND box = test::FindOwnWindow(L"#32770", L"framework_win32_test")) {
                wchar_t buffer[256] = {};
                GetWindowTextW(box, buffer, 256);
                title = buffer;
                GetDlgItemTextW(box, 0xFFFF, buffer, 256);
                text = buffer;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    });
    fw::MessageBox("アップデート作業は正常に終了しました。");
    answerer.join();
    EXPECT_EQ(title, L"framework_win32_test");
    EXPECT_EQ(text, L"アップデート作業は正常に終了しました。");
}

// What an operator who started the program sees first: a dialog or box whose owner does not show
// yet (the main window, before its set-up ended) stands on its own, with a taskbar button, and
// comes to the front; with its owner showing it stays the owner's. Wine has no taskbar: the style
// and the foreground stand for it.
class Win32FirstWindow : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(owner.Create(nullptr));
        if (OwnerShows()) ShowWindow(owner.Widget(), SW_SHOW);
    }
    bool OwnerShows() const { return GetParam(); }
    RecordingDialog owner;
};

struct Sight {
    HWND window = nullptr;
    HWND owner = nullptr;
    bool appWindow = false;
    bool inFront = false;
    std::wstring front;  // what is in front instead
};

// How `window` looks once it has come to the front, or after 2 s: showing a window and bringing it
// to the front are two steps, and another thread may look in between.
Sight SeenInFront(HWND window) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (GetForegroundWindow() != window && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    const HWND front = GetForegroundWindow();
    wchar_t name[128] = L"nothing";
    if (front) GetClassNameW(front, name, 128);
    DWORD process = 0;
    if (front) GetWindowThreadProcessId(front, &process);
    return {window, GetWindow(window, GW_OWNER),
            (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0, front == window,
            std::wstring(name) + L" of process " + std::to_wstring(process) + L" (this one: " +
                std::to_wstring(GetCurrentProcessId()) + L")"};
}

// An unowned window has a taskbar button of its own.
void ExpectInFrontOf(const Sight& seen, HWND owner) {
    ASSERT_NE(seen.window, nullptr) << "it never showed";
    EXPECT_EQ(seen.owner, owner);
    EXPECT_TRUE(seen.inFront) << "not the foreground window: "
                              << std::string(seen.front.begin(), seen.front.end());
}

TEST_P(Win32FirstWindow, ADialog) {
    RecordingDialog modal(&owner);
    std::atomic<HWND> shown{nullptr};
    test::Soon running(50ms, [&] { shown = modal.Widget(); });
    Sight seen;
    // Looked at from another thread, so that the dialog's loop goes on meanwhile.
    std::thread looker([&] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!shown.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        if (HWND window = shown.load()) {
            seen = SeenInFront(window);
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
    });
    EXPECT_EQ(modal.DoModal(), IDOK);
    looker.join();
    ExpectInFrontOf(seen, OwnerShows() ? owner.Widget() : nullptr);
    // Owned windows have no button: the style gives it one even where the system would not.
    EXPECT_EQ(seen.appWindow, !OwnerShows());
}

TEST_P(Win32FirstWindow, AMessageBox) {
    struct App : fw::WinApp {
        bool InitInstance() override { return false; }
    } app;
    app.SetMainWindow(&owner);
    Sight seen;
    std::thread answerer([&] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (HWND box = test::FindOwnWindow(L"#32770", L"framework_win32_test")) {
                seen = SeenInFront(box);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    });
    fw::MessageBox("データファイルがありません。");
    answerer.join();
    ExpectInFrontOf(seen, OwnerShows() ? owner.Widget() : nullptr);
}

INSTANTIATE_TEST_SUITE_P(Owner, Win32FirstWindow, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& p) {
                             return p.param ? "Showing" : "NotShowingYet";
                         });

}  // namespace
