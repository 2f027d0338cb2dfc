#include "update_dlg_run.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "framework/dialog.h"

void PressKey(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

bool UpdateDlgRun::InitInstance() {
    CUpdateDlg dialog;
    SetMainWindow(&dialog);

    // Start-up only: stopped before the benchmark measures anything.
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (QWidget* modal = fw::Dialog::ActiveModalWindow()) {
            if (!modal->isVisible() || modal->property("bench_answered").toBool()) return;
            modal->setProperty("bench_answered", true);
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                std::fprintf(stderr, "unexpected message box: %s\n", qPrintable(box->text()));
            PressKey(modal, Qt::Key_Return);
            return;
        }
        // The main dialog has no owner, so Qt does not count it as modal: once it shows, with
        // nothing modal above it, its own loop runs.
        QWidget* main = dialog.Widget();
        if (!main || !main->isVisible()) return;
        answer.stop();
        if (dialog.PortOpen()) {
            started_ = true;
            running_(dialog);
        } else {
            std::fprintf(stderr, "the dialog runs without an open port\n");
            PressKey(main, Qt::Key_Escape);
        }
    });
    answer.start();

    dialog.DoModal();
    SetMainWindow(nullptr);
    return false;
}
