// The port selection, transfer progress and version dialogs on the system's own controls, under
// Wine, answered by keys and clicks as an operator would.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/port_select_dlg.h"
#include "dialogs/transfer_progress_dlg.h"
#include "dialogs/version_dlg.h"
#include "framework/resources.h"
#include "res/resource.h"
#include "res/resources.h"
#include "res/version_info.h"
#include "serial/port_map.h"
// After the project's headers:
#include "support/win32_gui.h"

using namespace std::chrono_literals;

namespace {

std::vector<PortMapping> TwoPorts() {
    return {{"COM1", "\\\\.\\COM3", "USB Serial Port (FTDI)"},
            {"COM2", "\\\\.\\COM7", "set by QELPUPD_COM2"}};
}

class Win32Dialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterResources();
        ASSERT_TRUE(owner_.Create(nullptr));
    }
    fw::Dialog owner_{IDD_UPDATE};
};

struct PortCase {
    const char* name;
    bool clickCom2;
    UINT key;
    int index;
    int result;
};

class PortSelect : public Win32Dialogs, public ::testing::WithParamInterface<PortCase> {};

TEST_P(PortSelect, TheIndexFollowsTheClicksHoweverTheDialogEnds) {
    const PortCase& c = GetParam();
    CPortSelectDlg dlg(&owner_, TwoPorts());
    bool com1Checked = false;
    std::wstring tip;
    test::Soon answer(50ms, [&] {
        com1Checked = dlg.GetButton(IDC_PORT_COM1)->GetCheck() == BST_CHECKED;
        if (c.clickCom2) SendMessageW(dlg.GetDlgItem(IDC_PORT_COM2)->Widget(), BM_CLICK, 0, 0);
        test::PressKey(dlg.Widget(), c.key);
    });
    EXPECT_EQ(dlg.DoModal(), c.result);
    EXPECT_TRUE(com1Checked);
    EXPECT_EQ(dlg.PortIndex(), c.index);
    EXPECT_EQ(dlg.ChosenPort().devicePath,
              TwoPorts()[static_cast<std::size_t>(c.index)].devicePath);
}

INSTANTIATE_TEST_SUITE_P(Cases, PortSelect,
                         ::testing::Values(PortCase{"EnterAtOnce", false, VK_RETURN, 0, IDOK},
                                           PortCase{"Com2ThenEnter", true, VK_RETURN, 1, IDOK},
                                           PortCase{"Com2ThenEsc", true, VK_ESCAPE, 1, IDCANCEL}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Win32Dialogs, ThePortButtonsTellTheirDevices) {
    CPortSelectDlg dlg(&owner_, TwoPorts());
    std::wstring tip;
    test::Soon look(50ms, [&] {
        HWND button = dlg.GetDlgItem(IDC_PORT_COM1)->Widget();
        HWND tips = static_cast<HWND>(GetPropW(dlg.Widget(), L"fw.toolTip"));
        wchar_t text[128] = {};
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = dlg.Widget();
        tool.uId = reinterpret_cast<UINT_PTR>(button);
        tool.lpszText = text;
        if (tips) SendMessageW(tips, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
        tip = text;
        dlg.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(tip, L"COM3 — USB Serial Port (FTDI)");
}

// The upload's use: range 0..n, step 1, one StepBar per block.
TEST_F(Win32Dialogs, TheProgressShowsEachStepsPercentageAndHoldsItsOwner) {
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner_));
    EXPECT_FALSE(owner_.IsWindowEnabled());
    EXPECT_TRUE(dlg.IsWindowEnabled()) << "the dialog itself takes the operator's Cancel";
    EXPECT_EQ(dlg.GetWindowText(), fw::LoadText(IDS_PROCESSING));
    dlg.SetBarRange(0, 4);
    dlg.SetBarStep(1);
    std::vector<std::string> shown;
    for (int i = 0; i < 5; ++i) {
        dlg.StepBar();
        shown.push_back(dlg.GetDlgItemText(IDC_TRANSFER_PERCENT));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"25%", "50%", "75%", "100%", "25%"}));
    dlg.DestroyWindow();
    EXPECT_TRUE(owner_.IsWindowEnabled());
}

TEST_F(Win32Dialogs, EnterEscAndTheCloseBoxAreOneCancelEachReportedOnce) {
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner_));
    EXPECT_FALSE(dlg.CancelRequested());
    for (UINT key : {VK_RETURN, VK_ESCAPE}) {
        SetFocus(dlg.GetDlgItem(IDCANCEL)->Widget());
        test::PressKey(dlg.Widget(), key);
        EXPECT_TRUE(dlg.CancelRequested()) << key;
        EXPECT_FALSE(dlg.CancelRequested()) << "reported once";
    }
    SendMessageW(dlg.Widget(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(dlg.CancelRequested());
    EXPECT_TRUE(dlg.IsWindow()) << "the operation decides when the dialog goes";
}

TEST_F(Win32Dialogs, TheVersionDialogShowsTheIconAndTheVersionAndEndsByOk) {
    CVersionDlg dlg(&owner_);
    bool iconShown = false;
    bool versionShown = false;
    test::Soon look(50ms, [&] {
        for (HWND child = GetWindow(dlg.Widget(), GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            iconShown = iconShown || SendMessageW(child, STM_GETICON, 0, 0) != 0;
            wchar_t text[64] = {};
            GetWindowTextW(child, text, 64);
            versionShown = versionShown || Utf8FromWide(text) == res::version::kVersionLine;
        }
        test::PressKey(dlg.Widget(), VK_RETURN);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(iconShown) << "the icon IDR_MAINFRAME did not load";
    EXPECT_TRUE(versionShown);
}

}  // namespace
