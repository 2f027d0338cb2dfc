#pragma once
// Helpers for tests that drive windows: wait for a condition while the UI thread keeps running,
// and answer modal windows that a call under test opens.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>

#include "framework/dialog.h"

namespace test {

// Runs the event loop until `done` holds or `timeout` passes; returns whether it held.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    if (done()) return true;
    // An event loop, so that the UI thread sleeps until something arrives for it.
    QEventLoop loop;
    QTimer check;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > timeout.count()) loop.quit();
    });
    check.start(2);
    loop.exec();
    return done();
}

// From now on, whenever a modal window shows, `answer` gets it once. Keep the returned timer alive
// for as long as the answering should go on.
class ModalAnswerer {
  public:
    explicit ModalAnswerer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = fw::Dialog::ActiveModalWindow();
            if (modal && modal->isVisible() && !modal->property("qelpupd_answered").toBool()) {
                modal->setProperty("qelpupd_answered", true);
                ++seen_;
                answer_(modal);
            }
        });
        timer_.start();
    }
    int Seen() const { return seen_; }

  private:
    std::function<void(QWidget*)> answer_;
    QTimer timer_;
    int seen_ = 0;
};

}  // namespace test
