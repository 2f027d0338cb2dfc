// The application object on Qt: the QApplication, the interface font and the program's name.
#include <QApplication>
#include <QFileInfo>
#include <QWidget>
#include <memory>

#include "framework/accessibility.h"
#include "framework/app.h"
#include "framework/qt/dialog_font.h"

namespace fw {

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

std::string ApplicationName() {
    QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty()) return "qelpupd";
    return QFileInfo(path).completeBaseName().toStdString();
}

void InstallInterfaceFont() {
    QApplication::setFont(TemplateFont("ＭＳ Ｐゴシック", 9));
}

}  // namespace fw
