// An owner disabled by several windows at once - a modal run over it, a progress dialog that a
// posted message opened meanwhile - comes back only when the last of them lets go, in whatever
// order they go.

#include "framework/window_disable.h"

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "framework/app.h"
#include "support/gui_wait.h"
#include "test_dialog.h"

using test::RecordingDialog;

namespace {

class NoApp : public fw::WinApp {
  public:
    bool InitInstance() override { return false; }
};

class WindowDisableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(owner.Create(nullptr));
        owner.Widget()->show();
    }
    NoApp app;
    RecordingDialog owner;
};

// Every order in which three holds on one window can be let go.
TEST_F(WindowDisableTest, TheWindowComesBackWithTheLastHoldInAnyOrder) {
    std::array<int, 3> order{0, 1, 2};
    do {
        // Held on a control: the hold goes to the window it sits in.
        std::array<std::optional<fw::WindowDisable>, 3> holds;
        holds[0].emplace(&owner);
        holds[1].emplace(owner.GetDlgItem(test::IDC_TEST_EDIT));
        holds[2].emplace(&owner);
        for (std::size_t i = 0; i < order.size(); ++i) {
            holds[static_cast<std::size_t>(order[i])].reset();
            EXPECT_EQ(owner.IsWindowEnabled(), i + 1 == order.size())
                << "after letting go of " << i + 1 << " of 3, order " << order[0] << order[1]
                << order[2];
        }
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(WindowDisableTest, AWindowDisabledBeforehandStaysDisabled) {
    owner.EnableWindow(false);
    { fw::WindowDisable hold(&owner); }
    EXPECT_FALSE(owner.IsWindowEnabled());
}

TEST_F(WindowDisableTest, AMovedHoldLetsGoOnce) {
    fw::WindowDisable outer(&owner);
    {
        fw::WindowDisable first(&owner);
        fw::WindowDisable second(std::move(first));
        first.Release();  // holds nothing any more
        EXPECT_FALSE(owner.IsWindowEnabled());
    }
    EXPECT_FALSE(owner.IsWindowEnabled()) << "the outer hold is still there";
    outer.Release();
    EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST_F(WindowDisableTest, AHoldOutlivingItsWindowLetsGoOfNothing) {
    std::optional<RecordingDialog> gone;
    gone.emplace();
    ASSERT_TRUE(gone->Create(nullptr));
    fw::WindowDisable hold(&*gone);
    gone.reset();
    hold.Release();
    EXPECT_FALSE(hold.Holds());
}

// The modal run and a modeless window that disables the same owner, each ending first: the owner
// takes no close box and no keys until both have gone.
enum class FirstToGo { ModalRun, Modeless };

class ModalAndModeless : public WindowDisableTest,
                         public ::testing::WithParamInterface<FirstToGo> {};

TEST_P(ModalAndModeless, TheOwnerStaysDisabledUntilBothHaveGone) {
    RecordingDialog modal(&owner);
    std::optional<fw::WindowDisable> modeless;  // as a progress dialog holds its owner
    bool ownerEnabledBetween = true;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(test::WaitUntil([&] { return modal.Widget() && modal.Widget()->isVisible(); }));
        modeless.emplace(&owner);
        if (GetParam() == FirstToGo::Modeless) modeless.reset();
        ownerEnabledBetween = owner.IsWindowEnabled();
        modal.EndDialog(fw::IDOK);
    });
    modal.DoModal();
    if (GetParam() == FirstToGo::ModalRun) {
        ownerEnabledBetween = owner.IsWindowEnabled();
        owner.Widget()->close();
        QTest::keyClick(owner.Widget(), Qt::Key_Escape);
        EXPECT_EQ(owner.events, std::vector<std::string>{"init"}) << "the owner took a close";
        modeless.reset();
    }
    EXPECT_FALSE(ownerEnabledBetween);
    EXPECT_TRUE(owner.IsWindowEnabled());
}

INSTANTIATE_TEST_SUITE_P(Orders, ModalAndModeless,
                         ::testing::Values(FirstToGo::ModalRun, FirstToGo::Modeless),
                         [](const ::testing::TestParamInfo<FirstToGo>& p) {
                             return std::string(p.param == FirstToGo::ModalRun ? "ModalRunFirst"
                                                                               : "ModelessFirst");
                         });

}  // namespace
