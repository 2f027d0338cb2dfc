#include "framework/app.h"

#include <QApplication>
#include <QFileInfo>
#include <QWidget>
#include <memory>

#include "framework/accessibility.h"
#include "framework/qt/dialog_font.h"

namespace fw {
namespace {
WinApp* g_currentApp = nullptr;
}

WinApp::WinApp() {
    Q_ASSERT(!g_currentApp);
    g_currentApp = this;
}

WinApp::~WinApp() {
    if (g_currentApp == this) g_currentApp = nullptr;
}

WinApp* WinApp::Current() {
    return g_currentApp;
}

int WinApp::Run(int argc, char** argv) {
    std::unique_ptr<QApplication> toolkit;
    if (!QCoreApplication::instance()) toolkit = std::make_unique<QApplication>(argc, argv);
    InstallInterfaceFont();
    InstallAccessibility();
    InitInstance();
    return exitCode_;
}

Window* WinApp::LastActivePopup() const {
    if (Window* active = lastActive_.Get();
        active && active->Widget() && active->Widget()->isVisible())
        return active;
    return mainWindow_;
}

void WinApp::NoteActivated(Window& window) {
    lastActive_ = window.Handle();
}

const MessageMap* WinApp::GetMessageMap() const {
    static constexpr MessageMapEntry entries[] = {
        OnCommand<&WinApp::OnAppExit>(ID_APP_EXIT),
        OnCommand<&WinApp::OnHelp>(ID_HELP),
    };
    static const MessageMap map{CommandTarget::RootMessageMap(), entries};
    return &map;
}

void WinApp::OnAppExit() {
    if (mainWindow_) mainWindow_->SendMessage(WM_CLOSE);
}

void WinApp::OnHelp() {
    // The tool brings no help of its own.
}

std::string ApplicationName() {
    QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty()) return "qelpupd";
    return QFileInfo(path).completeBaseName().toStdString();
}

void InstallInterfaceFont() {
    QApplication::setFont(TemplateFont("ＭＳ Ｐゴシック", 9));
}

}  // namespace fw
