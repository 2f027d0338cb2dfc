// The port selection dialog, run modally over a main window and answered by keys and clicks.

#include "dialogs/port_select_dlg.h"

#include <gtest/gtest.h>

#include <vector>

#include "dialog_input.h"
#include "modal_answer.h"
#include "res/resource.h"

namespace {

struct PortCase {
    const char* name;
    std::vector<int> clicks;  // radio buttons clicked, in order
    Gesture end;
    int expectedIndex;
    int expectedResult;
};

// The main window the dialog is run over, as the program runs it.
class PortSelectDlgTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(owner_.Create(nullptr)); }
    fw::Dialog owner_{IDD_UPDATE};
};

class PortSelectDlgCases : public PortSelectDlgTest,
                           public testing::WithParamInterface<PortCase> {};

TEST_P(PortSelectDlgCases, IndexFollowsTheClicksHoweverTheDialogEnds) {
    const PortCase& c = GetParam();
    CPortSelectDlg dlg(&owner_);
    int checkedAtStart = -1;
    ModalAnswer answer(dlg, [&](QWidget* window) {
        checkedAtStart = dlg.GetButton(IDC_PORT_COM1)->GetCheck();
        for (int id : c.clicks) ClickControl(dlg, id);
        Perform(window, c.end);
    });
    int result = dlg.DoModal();
    EXPECT_EQ(checkedAtStart, fw::BST_CHECKED);
    EXPECT_EQ(dlg.PortIndex(), c.expectedIndex);
    EXPECT_EQ(result, c.expectedResult);
    EXPECT_FALSE(dlg.IsWindow());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortSelectDlgCases,
    testing::Values(
        PortCase{"OkAtOnce", {}, Gesture::kEnter, 0, fw::IDOK},
        PortCase{"Com2ThenOk", {IDC_PORT_COM2}, Gesture::kEnter, 1, fw::IDOK},
        PortCase{"Com2ThenEsc", {IDC_PORT_COM2}, Gesture::kEscape, 1, fw::IDCANCEL},
        PortCase{"Com2ThenCloseBox", {IDC_PORT_COM2}, Gesture::kCloseBox, 1, fw::IDCANCEL},
        PortCase{
            "Com2ThenCom1ThenOk", {IDC_PORT_COM2, IDC_PORT_COM1}, Gesture::kEnter, 0, fw::IDOK}),
    [](const testing::TestParamInfo<PortCase>& p) { return std::string(p.param.name); });

}  // namespace
