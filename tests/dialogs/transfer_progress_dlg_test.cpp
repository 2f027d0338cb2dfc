// The transfer progress dialog as the upload drives it: modeless over a main window, stepped and
// asked for Cancel, with the operator's keys and clicks in between.

#include "dialogs/transfer_progress_dlg.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QProgressBar>
#include <memory>
#include <string>
#include <vector>

#include "dialog_input.h"
#include "framework/app.h"
#include "framework/resources.h"
#include "res/resource.h"

namespace {

class TransferProgressDlgTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(owner_.Create(nullptr)); }

    static std::string Percent(const CTransferProgressDlg& dlg) {
        return dlg.GetDlgItemText(IDC_TRANSFER_PERCENT);
    }
    static QProgressBar* Bar(const CTransferProgressDlg& dlg) {
        return static_cast<QProgressBar*>(dlg.GetProgressBar(IDC_TRANSFER_BAR)->Widget());
    }

    fw::Dialog owner_{IDD_UPDATE};
};

// --- Percentages

struct PercentCase {
    const char* name;
    int lower, upper, step;
    std::vector<std::string> shown;  // the text after each StepBar
};

class PercentCases : public TransferProgressDlgTest,
                     public testing::WithParamInterface<PercentCase> {};

TEST_P(PercentCases, EachStepShowsItsPercentage) {
    const PercentCase& c = GetParam();
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner_));
    dlg.SetBarRange(c.lower, c.upper);
    dlg.SetBarStep(c.step);
    EXPECT_EQ(Percent(dlg), " 0 %");
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < c.shown.size(); ++i) {
        dlg.StepBar();
        shown.push_back(Percent(dlg));
    }
    EXPECT_EQ(shown, c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PercentCases,
    testing::Values(
        PercentCase{"Quarters", 0, 4, 1, {"25%", "50%", "75%", "100%"}},
        PercentCase{"Thirds", 0, 3, 1, {"33%", "66%", "100%"}},
        PercentCase{"PastTheEndStartsOver", 0, 4, 1, {"25%", "50%", "75%", "100%", "25%"}},
        PercentCase{"LowerBoundAboveZero", 10, 20, 5, {"50%", "100%"}},
        PercentCase{"WidestFittingRange", 0, 65535, 13107, {"20%", "40%", "60%", "80%", "100%"}},
        PercentCase{"RangeWiderThan16Bits", 0, 200000, 40000, {"20%", "40%", "60%", "80%", "100%"}},
        PercentCase{"WideRangePastTheEnd", 0, 100000, 50000, {"50%", "100%", "50%"}}),
    [](const testing::TestParamInfo<PercentCase>& p) { return std::string(p.param.name); });

// An upload of n blocks: range 0..n, step 1, one StepBar per block, as the upload drives it.
class UploadSizes : public TransferProgressDlgTest, public testing::WithParamInterface<int> {};

TEST_P(UploadSizes, BarAndPercentageRunFromZeroToFull) {
    const int blocks = GetParam();
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner_));
    dlg.SetBarRange(0, blocks);
    dlg.SetBarStep(1);
    QProgressBar* bar = Bar(dlg);
    EXPECT_EQ(bar->value(), bar->minimum());
    int lastValue = bar->value();
    bool barMonotonic = true;
    int previous = -1;
    for (int k = 1; k <= blocks; ++k) {
        previous = dlg.StepBar();
        barMonotonic = barMonotonic && bar->value() >= lastValue;
        lastValue = bar->value();
        if (k == blocks / 2) {
            EXPECT_EQ(Percent(dlg), std::to_string(100LL * k / blocks) + "%");
            EXPECT_NEAR(double(bar->value() - bar->minimum()) / (bar->maximum() - bar->minimum()),
                        0.5, 0.01);
        }
    }
    EXPECT_EQ(previous, blocks - 1);  // StepBar returns the position before the step
    EXPECT_TRUE(barMonotonic);
    EXPECT_EQ(Percent(dlg), "100%");
    EXPECT_EQ(bar->value(), bar->maximum());
}

INSTANTIATE_TEST_SUITE_P(Blocks, UploadSizes, testing::Values(1000, 65535, 65536, 70000));

// --- Cancel

TEST_F(TransferProgressDlgTest, CancelPressedTwiceIsReportedOnce) {
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner_));
    EXPECT_FALSE(dlg.CancelRequested());
    ClickControl(dlg, fw::IDCANCEL);
    ClickControl(dlg, fw::IDCANCEL);
    EXPECT_TRUE(dlg.CancelRequested());
    EXPECT_FALSE(dlg.CancelRequested());
}

class CancelGestures : public TransferProgressDlgTest,
                       public testing::WithParamInterface<Gesture> {};

TEST_P(CancelGestures, CountAsCancelAndTheDialogStays) {
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner_));
    dlg.SetBarRange(0, 10);
    dlg.SetBarStep(1);
    dlg.StepBar();
    Perform(dlg.Widget(), GetParam());
    EXPECT_TRUE(dlg.CancelRequested());
    ASSERT_TRUE(dlg.IsWindow());
    EXPECT_TRUE(dlg.Widget()->isVisible());
    dlg.StepBar();  // the operation may go on stepping until it stops
    EXPECT_EQ(Percent(dlg), "20%");
}

INSTANTIATE_TEST_SUITE_P(Gestures, CancelGestures,
                         testing::Values(Gesture::kEnter, Gesture::kSpace, Gesture::kEscape,
                                         Gesture::kCloseBox),
                         [](const testing::TestParamInfo<Gesture>& p) {
                             return std::string(GestureName(p.param));
                         });

// --- Owner

enum class OwnerGiven { kWindow, kItsControl, kNone };

struct OwnerCase {
    const char* name;
    OwnerGiven given;
    bool disabledBefore;
    bool endByDestructor;
};

class OwnerCases : public TransferProgressDlgTest, public testing::WithParamInterface<OwnerCase> {
  protected:
    // Without an owner, the dialog goes by the application's main window.
    struct TestApp : fw::WinApp {
        bool InitInstance() override { return false; }
    } app_;
};

TEST_P(OwnerCases, DisabledWhileTheDialogLivesAndEnabledAfterUnlessItWasBefore) {
    const OwnerCase& c = GetParam();
    app_.SetMainWindow(&owner_);
    if (c.disabledBefore) owner_.EnableWindow(false);
    fw::Window* given = nullptr;
    if (c.given == OwnerGiven::kWindow) given = &owner_;
    if (c.given == OwnerGiven::kItsControl) given = owner_.GetDlgItem(IDC_LOG);
    auto dlg = std::make_unique<CTransferProgressDlg>();
    ASSERT_TRUE(dlg->Create(given));
    EXPECT_FALSE(owner_.IsWindowEnabled());
    // Not a Qt child of the disabled owner: it still takes the operator's Cancel.
    ClickControl(*dlg, fw::IDCANCEL);
    EXPECT_TRUE(dlg->CancelRequested());
    if (c.endByDestructor)
        dlg.reset();
    else
        dlg->DestroyWindow();
    EXPECT_EQ(owner_.IsWindowEnabled(), !c.disabledBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OwnerCases,
    testing::Values(OwnerCase{"Owner", OwnerGiven::kWindow, false, false},
                    OwnerCase{"OwnerEndedByDestructor", OwnerGiven::kWindow, false, true},
                    OwnerCase{"OwnerDisabledBefore", OwnerGiven::kWindow, true, false},
                    OwnerCase{"ControlOfTheOwner", OwnerGiven::kItsControl, false, false},
                    OwnerCase{"NoOwner", OwnerGiven::kNone, false, false}),
    [](const testing::TestParamInfo<OwnerCase>& p) { return std::string(p.param.name); });

TEST_F(TransferProgressDlgTest, OwnerGoneFirstIsNotTouched) {
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner_));
    owner_.DestroyWindow();
    dlg.DestroyWindow();
    EXPECT_FALSE(dlg.IsWindow());
}

// --- Caption

TEST_F(TransferProgressDlgTest, CaptionIsTheGivenMessageOrProcessing) {
    CTransferProgressDlg byDefault;
    CTransferProgressDlg given(IDS_TRANSFERRING);
    ASSERT_TRUE(byDefault.Create(&owner_));
    ASSERT_TRUE(given.Create(&owner_));
    EXPECT_EQ(byDefault.GetWindowText(), fw::LoadText(IDS_PROCESSING));
    EXPECT_EQ(given.GetWindowText(), fw::LoadText(IDS_TRANSFERRING));
}

// --- What a screen reader learns (its events are checked over the accessibility bus by
// scripts/check-accessibility.sh: the offscreen platform passes none on)

TEST_F(TransferProgressDlgTest, ThePercentageCarriesItsValue) {
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner_));
    QWidget* percent = dlg.GetDlgItem(IDC_TRANSFER_PERCENT)->Widget();
    dlg.SetBarRange(0, 3);
    dlg.SetBarStep(1);
    for (int i = 0; i < 4; ++i) dlg.StepBar();  // the last one past the end: back to 33 %

    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(percent);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->role(), QAccessible::StaticText);
    EXPECT_EQ(read->text(QAccessible::Name), QStringLiteral("33%"));
    ASSERT_NE(read->valueInterface(), nullptr);
    EXPECT_EQ(read->valueInterface()->currentValue().toInt(), 33);
    EXPECT_EQ(read->valueInterface()->minimumValue().toInt(), 0);
    EXPECT_EQ(read->valueInterface()->maximumValue().toInt(), 100);
    // Other static texts keep Qt's own reading.
    QWidget* status = dlg.GetDlgItem(IDC_TRANSFER_STATUS)->Widget();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(status)->valueInterface(), nullptr);
}

}  // namespace
