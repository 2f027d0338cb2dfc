// dialog-gallery: shows the program's windows one at a time on a real display, for screenshots
// (scripts/screenshots.sh). For each window it prints "READY <name> <window id>" once the window
// has been drawn, then waits for a line on standard input before it goes on; "DONE" at the end.

#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <string>

#include "dialogs/port_select_dlg.h"
#include "dialogs/transfer_progress_dlg.h"
#include "dialogs/version_dlg.h"
#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/resources.h"
#include "res/resource.h"
#include "res/resources.h"

namespace {

constexpr char kLogLines[] =
    "QELP boot loader 2.10\r\n"
    "checking flash ... ok\r\n"
    "bootmode=UPDATE\r\n"
    "bootmode=DATAWAIT\r\n"
    "receiving record 1/8\r\n"
    "receiving record 2/8\r\n"
    "receiving record 3/8\r\n";

// Shows `dialog` at `position`, announces it once it has been drawn, and waits for the script.
void Present(fw::Dialog& dialog, const char* name, QPoint position) {
    QWidget* window = dialog.Widget();
    window->move(position);
    window->show();
    window->raise();
    QEventLoop loop;
    QTimer::singleShot(700, &loop, [&] {
        std::printf("READY %s 0x%llx\n", name, static_cast<unsigned long long>(window->winId()));
        std::fflush(stdout);
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &loop, [&] {
        char line[64];
        if (read(STDIN_FILENO, line, sizeof line) >= 0) loop.quit();
    });
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    fw::InstallInterfaceFont();
    RegisterResources();

    fw::Dialog main(IDD_UPDATE);
    if (!main.Create(nullptr)) return 1;
    main.SetIcon(fw::LoadIcon(IDR_MAINFRAME), true);
    main.GetEdit(IDC_LOG)->SetText(kLogLines);
    Present(main, "main", {20, 20});

    const QPoint beside{460, 20};
    {
        CPortSelectDlg ports(&main);
        ports.Create(&main);
        Present(ports, "port-select", beside);
    }
    {
        CTransferProgressDlg progress;
        progress.Create(&main);
        progress.SetStatusText(fw::LoadText(IDS_TRANSFERRING));
        progress.SetBarRange(0, 8);
        progress.SetBarStep(1);
        for (int i = 0; i < 3; ++i) progress.StepBar();
        Present(progress, "progress", beside);
    }
    {
        CVersionDlg version(&main);
        version.Create(&main);
        Present(version, "version", beside);
    }
    std::printf("DONE\n");
    std::fflush(stdout);
    return 0;
}
