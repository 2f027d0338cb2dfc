#pragma once
// The operator's hands in the dialog tests: keys go where the keyboard focus is, as a real key
// press does; the close box asks the window to close, as the window manager does.

#include <QTest>
#include <QWidget>

#include "framework/dialog.h"

inline void PressKey(QWidget* window, Qt::Key key) {
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, key);
}

inline void ClickCloseBox(QWidget* window) {
    window->close();
}

inline void ClickControl(const fw::Dialog& dialog, int id) {
    fw::Control* control = dialog.GetDlgItem(id);
    ASSERT_NE(control, nullptr) << "no control " << id;
    QTest::mouseClick(control->Widget(), Qt::LeftButton);
}

// The ways an operator ends or answers a dialog.
enum class Gesture { kEnter, kSpace, kEscape, kCloseBox };

inline void Perform(QWidget* window, Gesture gesture) {
    switch (gesture) {
        case Gesture::kEnter:
            PressKey(window, Qt::Key_Return);
            break;
        case Gesture::kSpace:
            PressKey(window, Qt::Key_Space);
            break;
        case Gesture::kEscape:
            PressKey(window, Qt::Key_Escape);
            break;
        case Gesture::kCloseBox:
            ClickCloseBox(window);
            break;
    }
}

inline const char* GestureName(Gesture gesture) {
    switch (gesture) {
        case Gesture::kEnter:
            return "Enter";
        case Gesture::kSpace:
            return "Space";
        case Gesture::kEscape:
            return "Escape";
        case Gesture::kCloseBox:
            return "CloseBox";
    }
    return "?";
}
