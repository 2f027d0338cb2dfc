#include "framework/message_box.h"

#include <QMessageBox>
#include <QWindow>
#include <cstring>

#include "framework/app.h"
#include "framework/resources.h"
#include "framework/text_format.h"

namespace fw {
namespace {

void ShowBox(QMessageBox::Icon icon, const std::string& text) {
    // No Qt parent: a box parented to a disabled owner would be disabled with it.
    QMessageBox box(icon, QString::fromStdString(ApplicationName()), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    WinApp* app = WinApp::Current();
    if (Window* owner = app ? app->LastActivePopup() : nullptr; owner && owner->Widget()) {
        box.winId();
        QWidget* ownerWindow = owner->Widget()->window();
        ownerWindow->winId();
        if (box.windowHandle() && ownerWindow->windowHandle())
            box.windowHandle()->setTransientParent(ownerWindow->windowHandle());
    }
    box.exec();
}

}  // namespace

void MessageBox(const std::string& text) {
    ShowBox(QMessageBox::Warning, text);
}

void ErrorBox(const std::string& text) {
    ShowBox(QMessageBox::Critical, text);
}

void FileErrorBox(const std::string& path, int error) {
    ErrorBox(
        FormatText("%1 の読み込み中にエラーが発生しました。\n%2", {path, std::strerror(error)}));
}

void MessageBox(int textId) {
    std::string text = LoadText(textId);
    if (!text.empty()) MessageBox(text);
}

}  // namespace fw
