// The version dialog: run modally over the main window, it shows the program's icon and version,
// and OK, Esc and the close box end it.

#include "dialogs/version_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "dialog_input.h"
#include "modal_answer.h"
#include "res/resource.h"
#include "res/version_info.h"

namespace {

struct EndCase {
    Gesture gesture;
    int expectedResult;
};

class VersionDlgEnds : public testing::TestWithParam<EndCase> {
  protected:
    void SetUp() override { ASSERT_TRUE(owner_.Create(nullptr)); }
    fw::Dialog owner_{IDD_UPDATE};
};

TEST_P(VersionDlgEnds, WithItsResult) {
    CVersionDlg dlg(&owner_);
    bool iconShown = false;
    bool versionShown = false;
    ModalAnswer answer(dlg, [&](QWidget* window) {
        for (QLabel* label : window->findChildren<QLabel*>()) {
            iconShown = iconShown || !label->pixmap().isNull();
            versionShown = versionShown || label->text() == res::version::kVersionLine;
        }
        Perform(window, GetParam().gesture);
    });
    EXPECT_EQ(dlg.DoModal(), GetParam().expectedResult);
    EXPECT_TRUE(iconShown) << "the icon IDR_MAINFRAME did not load";
    EXPECT_TRUE(versionShown);
}

INSTANTIATE_TEST_SUITE_P(Gestures, VersionDlgEnds,
                         testing::Values(EndCase{Gesture::kEnter, fw::IDOK},
                                         EndCase{Gesture::kSpace, fw::IDOK},
                                         EndCase{Gesture::kEscape, fw::IDCANCEL},
                                         EndCase{Gesture::kCloseBox, fw::IDCANCEL}),
                         [](const testing::TestParamInfo<EndCase>& p) {
                             return std::string(GestureName(p.param.gesture));
                         });

}  // namespace
