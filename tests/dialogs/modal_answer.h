#pragma once
// Answers a modal dialog from inside its modal run: a repeating timer waits until the dialog is
// fw::Dialog::ActiveModalWindow(), then runs `answer` on it once. If the dialog never becomes
// modal or the answer does not end it, the dialog is ended after a generous time-out and the test
// fails, so that no test hangs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "framework/dialog.h"

class ModalAnswer {
  public:
    ModalAnswer(fw::Dialog& dialog, std::function<void(QWidget*)> answer)
        : dialog_(dialog), answer_(std::move(answer)) {
        clock_.start();
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }

  private:
    void Poll() {
        QWidget* modal = fw::Dialog::ActiveModalWindow();
        if (answer_ && modal && modal == dialog_.Widget()) {
            auto answer = std::move(answer_);
            answer_ = nullptr;
            answer(modal);
        } else if (clock_.elapsed() > kGiveUpMs && dialog_.IsWindow()) {
            ADD_FAILURE() << (answer_ ? "the dialog never became modal"
                                      : "the answer did not end the dialog");
            timer_.stop();
            dialog_.EndDialog(-1);
        }
    }

    static constexpr qint64 kGiveUpMs = 30000;
    fw::Dialog& dialog_;
    std::function<void(QWidget*)> answer_;
    QElapsedTimer clock_;
    QTimer timer_;
};
