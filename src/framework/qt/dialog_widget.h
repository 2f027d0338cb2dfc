#pragma once
// The Qt window behind a Dialog: turns Qt's keys, close requests, context clicks, activation and
// painting into the dialog's messages. Internal to the framework.

#include <QDialog>

namespace fw {

class Dialog;

class DialogWidget : public QDialog {
  public:
    DialogWidget(Dialog& dialog, Qt::WindowFlags flags);
    // Called as the Dialog lets go of this widget; no event reaches the dialog afterwards.
    void Release() { dialog_ = nullptr; }
    // True while one of this widget's own event handlers runs (deleting it then must wait).
    bool InEvent() const { return eventDepth_ > 0; }
    // Alt+Space opens the dialog's system menu and Alt+F4 asks it to close, from any of its
    // controls.
    void OfferSystemMenuKeys();

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    Dialog* dialog_;
    int eventDepth_ = 0;
};

}  // namespace fw
