#include <QApplication>

#include "app/update_app.h"
#include "res/resources.h"
#include "res/version_info.h"

namespace {
CUpdateApp theApp;
}

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationVersion(res::version::kVersion);
    RegisterResources();
    return theApp.Run();
}
