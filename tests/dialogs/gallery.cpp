// dialog-gallery: shows the program's windows one at a time on a real display, for screenshots
// (scripts/screenshots.sh). For each window it prints "READY <name> <window id>" once the window
// has been drawn, then waits for a line on standard input before it goes on; "DONE" at the end.

#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/port_select_dlg.h"
#include "dialogs/transfer_progress_dlg.h"
#include "dialogs/version_dlg.h"
#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/resources.h"
#include "res/resource.h"
#include "res/resources.h"
#include "serial/port_discovery.h"
#include "serial/port_map.h"

namespace {

constexpr char kLogLines[] =
    "QELP boot loader 2.10\r\n"
    "checking flash ... ok\r\n"
    "bootmode=UPDATE\r\n"
    "bootmode=DATAWAIT\r\n"
    "receiving record 1/8\r\n"
    "receiving record 2/8\r\n"
    "receiving record 3/8\r\n";

// What discovery makes of a PC with the four placeholder UARTs, an FTDI adapter in the first USB
// socket and an Arduino in the second.
std::vector<PortMapping> ShowcasePorts() {
    std::vector<TtyFacts> ttys;
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS3"}) {
        TtyFacts uart;
        uart.name = name;
        uart.devicePath = std::string("/dev/") + name;
        uart.hasDevice = true;
        uart.driver = "serial8250";
        uart.bus = "platform";
        uart.uartType = 0;
        ttys.push_back(uart);
    }
    TtyFacts ftdi;
    ftdi.name = "ttyUSB0";
    ftdi.devicePath = "/dev/ttyUSB0";
    ftdi.hasDevice = ftdi.onUsb = true;
    ftdi.driver = "ftdi_sio";
    ftdi.bus = "usb-serial";
    ftdi.manufacturer = "FTDI";
    ftdi.product = "FT232R USB UART";
    ftdi.serial = "A9XYZ";
    ftdi.byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0";
    TtyFacts arduino;
    arduino.name = "ttyACM0";
    arduino.devicePath = "/dev/ttyACM0";
    arduino.hasDevice = arduino.onUsb = true;
    arduino.driver = "cdc_acm";
    arduino.bus = "usb";
    arduino.manufacturer = "Arduino (www.arduino.cc)";
    arduino.product = "Arduino Uno";
    arduino.serial = "7543931";
    arduino.byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0";
    ttys.push_back(arduino);
    ttys.push_back(ftdi);
    return MapOfferedPorts(SelectSerialPorts(ttys));
}

// The rectangle of the screen that shows `window` and the tooltip beside it, as import's -crop
// takes it.
std::string CropAround(QWidget* window) {
    QRect area = window->frameGeometry();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->inherits("QTipLabel")) area = area.united(top->geometry());
    }
    area.adjust(-8, -8, 8, 8);
    return std::to_string(area.width()) + "x" + std::to_string(area.height()) + "+" +
           std::to_string(std::max(area.x(), 0)) + "+" + std::to_string(std::max(area.y(), 0));
}

// Shows `dialog` at `position`, announces it once it has been drawn, and waits for the script.
// `prepare` runs once the window shows (a tooltip to show with it); the shot then takes the part of
// the screen around both.
void Present(fw::Dialog& dialog, const char* name, QPoint position,
             const std::function<void()>& prepare = nullptr) {
    QWidget* window = dialog.Widget();
    window->move(position);
    window->show();
    window->raise();
    QEventLoop loop;
    if (prepare) QTimer::singleShot(300, &loop, prepare);
    QTimer::singleShot(700, &loop, [&] {
        if (prepare) {
            std::printf("READY %s root %s\n", name, CropAround(window).c_str());
        } else {
            std::printf("READY %s 0x%llx\n", name,
                        static_cast<unsigned long long>(window->winId()));
        }
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
        CPortSelectDlg ports(&main, ShowcasePorts());
        ports.Create(&main);
        Present(ports, "port-select", beside);
        // The pointer resting on COM1.
        Present(ports, "port-select-tooltip", beside, [&] {
            QWidget* com1 = ports.GetDlgItem(IDC_PORT_COM1)->Widget();
            QToolTip::showText(com1->mapToGlobal(QPoint(com1->width() / 2, com1->height())),
                               com1->toolTip(), com1);
        });
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
