// The port selection dialog, run modally over a main window and answered by keys and clicks.

#include "dialogs/port_select_dlg.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QHelpEvent>
#include <QToolTip>
#include <cstdlib>
#include <vector>

#include "dialog_input.h"
#include "modal_answer.h"
#include "res/resource.h"
#include "serial/port_map.h"
#include "support/fake_port_tree.h"
#include "support/gui_wait.h"

namespace {

// COM1 an adapter found on the system, COM2 named by the environment.
std::vector<PortMapping> TwoPorts() {
    return {{"COM1", "/dev/ttyUSB0", "FTDI FT232R USB UART, serial A9XYZ"},
            {"COM2", "/dev/pts/7", "set by QELPUPD_COM2"}};
}

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
    CPortSelectDlg dlg(&owner_, TwoPorts());
    int checkedAtStart = -1;
    ModalAnswer answer(dlg, [&](QWidget* window) {
        checkedAtStart = dlg.GetButton(IDC_PORT_COM1)->GetCheck();
        for (int id : c.clicks) ClickControl(dlg, id);
        Perform(window, c.end);
    });
    int result = dlg.DoModal();
    EXPECT_EQ(checkedAtStart, fw::BST_CHECKED);
    EXPECT_EQ(dlg.PortIndex(), c.expectedIndex);
    // The device the caller opens is the one the chosen button described.
    EXPECT_EQ(dlg.ChosenPort().devicePath,
              TwoPorts()[static_cast<std::size_t>(c.expectedIndex)].devicePath);
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

// What the operator learns about each button, by hovering or from a screen reader, over ports
// found in a fake system tree. The buttons' own texts stay "COM1" and "COM2".
TEST_F(PortSelectDlgTest, EachButtonSaysWhichDeviceItIs) {
    test::FakePortTree tree;
    tree.AddUart("ttyS0", 0);
    test::UsbAdapter adapter{"ttyUSB0", "ftdi_sio", "1-1", "FTDI", "FT232R USB UART", "A9XYZ"};
    tree.AddUsb(adapter);
    unsetenv("QELPUPD_COM1");
    unsetenv("QELPUPD_COM2");
    CPortSelectDlg dlg(&owner_, MapOfferedPorts(DiscoverSerialPorts(tree.Roots())));
    ASSERT_TRUE(dlg.Create(&owner_));
    dlg.Widget()->show();

    const std::string expected[] = {
        tree.DevicePath("ttyUSB0") + " \u2014 FTDI FT232R USB UART, serial A9XYZ",
        "/dev/ttyS1 \u2014 no serial port found for COM2"};
    const char* const texts[] = {"COM1", "COM2"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(texts[i]);
        QWidget* button = dlg.GetDlgItem(IDC_PORT_COM1 + i)->Widget();
        const QString label = QString::fromStdString(expected[i]);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_PORT_COM1 + i), texts[i]);
        EXPECT_EQ(button->toolTip(), label);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), texts[i]);
        EXPECT_EQ(accessible->text(QAccessible::Description), label);

        // The pointer resting on the button shows the tooltip.
        const QPoint inside = button->rect().center();
        QHelpEvent hover(QEvent::ToolTip, inside, button->mapToGlobal(inside));
        QApplication::sendEvent(button, &hover);
        EXPECT_TRUE(test::WaitUntil([&] { return QToolTip::isVisible(); })) << "no tooltip";
        EXPECT_EQ(QToolTip::text(), label);
        QToolTip::hideText();
    }
    dlg.DestroyWindow();
}

}  // namespace
