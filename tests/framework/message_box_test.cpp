// Message boxes: the program's name as title, the exclamation icon, an OK button, the right owner.

#include "framework/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "framework/app.h"
#include "support/gui_wait.h"
#include "test_dialog.h"

namespace {

class NoInitApp : public fw::WinApp {
  public:
    bool InitInstance() override { return false; }
};

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QWindow* transientParent = nullptr;
};

SeenBox ShowAndAnswer(const std::function<void()>& show) {
    SeenBox seen;
    test::ModalAnswerer answerer([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_TRUE(box);
        seen = {box->windowTitle(), box->text(), box->icon(),
                static_cast<int>(box->buttons().size()), box->windowHandle()->transientParent()};
        QTest::keyClick(box, Qt::Key_Return);
    });
    show();
    return seen;
}

TEST(MessageBoxTest, ShowsTheTextWithTheProgramNameAndAnExclamation) {
    NoInitApp app;
    SeenBox seen = ShowAndAnswer([] { fw::MessageBox("一行目\n二行目"); });
    EXPECT_EQ(seen.title, QString::fromStdString(fw::ApplicationName()));
    EXPECT_EQ(seen.title, QStringLiteral("framework_tests"));
    EXPECT_EQ(seen.text, QString::fromUtf8("一行目\n二行目"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, 1);
}

TEST(MessageBoxTest, BelongsToTheMostRecentlyActiveWindowElseTheMainWindow) {
    NoInitApp app;
    test::RecordingDialog main;
    ASSERT_TRUE(main.Create(nullptr));
    main.Widget()->show();
    app.SetMainWindow(&main);
    SeenBox seen = ShowAndAnswer([] { fw::MessageBox("x"); });
    EXPECT_EQ(seen.transientParent, main.Widget()->windowHandle());

    test::RecordingDialog popup;
    ASSERT_TRUE(popup.Create(&main));
    popup.Widget()->show();
    app.NoteActivated(popup);
    seen = ShowAndAnswer([] { fw::MessageBox("y"); });
    EXPECT_EQ(seen.transientParent, popup.Widget()->windowHandle());

    // A disabled owner must not take the box down with it.
    main.EnableWindow(false);
    popup.DestroyWindow();
    seen = ShowAndAnswer([] { fw::MessageBox("z"); });
    EXPECT_EQ(seen.text, QStringLiteral("z"));
}

}  // namespace
