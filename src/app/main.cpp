#include <QApplication>

#include "app/update_app.h"
#include "res/resources.h"

namespace {
CUpdateApp theApp;
}

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    RegisterResources();
    return theApp.Run();
}
