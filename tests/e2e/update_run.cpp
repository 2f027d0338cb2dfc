#include "e2e/update_run.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <utility>

#include "app/update_dlg.h"
#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/resources.h"
#include "framework/system_menu.h"
#include "res/resource.h"
#include "res/resources.h"
#include "support/gui_wait.h"

namespace e2e {

// Only keeps a broken run from hanging the suite; every run here ends in seconds.
constexpr int kGiveUpAfterMs = 60000;
constexpr int kStepIntervalMs = 5;

// The main dialog, with the private messages it handled noted for the test.
class ObservedUpdateDlg : public CUpdateDlg {
  public:
    explicit ObservedUpdateDlg(UpdateRun& run)
        : CUpdateDlg(run.roots_,
                     run.readerStarter_ ? run.readerStarter_ : &RunSettings::StartReader),
          run_(run) {}

    fw::LRESULT WindowProc(fw::UINT message, fw::WPARAM wParam, fw::LPARAM lParam) override {
        if (message == WM_DEVICE_DATAWAIT) ++run_.record_.dataRequests;
        const fw::LRESULT result = CUpdateDlg::WindowProc(message, wParam, lParam);
        if (message == WM_UPDATE_END) {
            ++run_.record_.updateEnds;
            run_.outcomeHandled_ = true;
        }
        return result;
    }

  private:
    UpdateRun& run_;
};

// The application object as the program has it (CUpdateApp), with the exit command noted.
class TestUpdateApp : public fw::WinApp {
  public:
    explicit TestUpdateApp(UpdateRun& run) : run_(run) {}

    bool InitInstance() override {
        ObservedUpdateDlg dialog(run_);
        run_.dialog_ = &dialog;
        SetMainWindow(&dialog);
        dialog.DoModal();
        SetMainWindow(nullptr);
        SetExitCode(dialog.ExitStatus());
        run_.dialog_ = nullptr;
        return false;
    }

    const fw::MessageMap* GetMessageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::OnCommand<&TestUpdateApp::OnAppExitNoted>(fw::ID_APP_EXIT),
        };
        static const fw::MessageMap map{fw::WinApp::GetMessageMap(), entries};
        return &map;
    }

  private:
    void OnAppExitNoted() {
        run_.record_.exitRequested = true;
        OnAppExit();
    }

    UpdateRun& run_;
};

// Tells the run about every window that shows.
class ShowWatcher : public QObject {
  public:
    explicit ShowWatcher(UpdateRun& run) : run_(run) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            if (auto* widget = static_cast<QWidget*>(watched); widget->isWindow())
                run_.NoteShown(widget);
        return false;
    }

  private:
    UpdateRun& run_;
};

const char* GestureName(Gesture gesture) {
    switch (gesture) {
        case Gesture::kCloseBox:
            return "CloseBox";
        case Gesture::kEscape:
            return "Escape";
        case Gesture::kEnter:
            return "Enter";
        case Gesture::kSystemMenuClose:
            return "SystemMenuClose";
    }
    return "?";
}

std::vector<std::string> RunRecord::BoxTexts() const {
    std::vector<std::string> texts;
    for (const BoxSeen& box : boxes) texts.push_back(box.text);
    return texts;
}

UpdateRun::UpdateRun(PortChoice port, SystemRoots roots) : port_(port), roots_(std::move(roots)) {
    QObject::connect(&stepTimer_, &QTimer::timeout, [this] { TakeSteps(); });
    QObject::connect(&watchdog_, &QTimer::timeout, [this] { GiveUp(); });
}

UpdateRun::~UpdateRun() = default;

void UpdateRun::When(std::function<bool()> ready, std::function<void()> act) {
    steps_.push_back({std::move(ready), std::move(act)});
}

void UpdateRun::AtUploadStart(std::function<void()> act) {
    atUploadStart_ = std::move(act);
}

void UpdateRun::NoteShown(QWidget* window) {
    if (!atUploadStart_ ||
        window->windowTitle() != QString::fromStdString(fw::LoadText(IDS_PROCESSING)))
        return;
    // The progress dialog shows as the upload starts; what is posted now is taken in by the first
    // pumping of messages, before the first block.
    QMetaObject::invokeMethod(
        qApp,
        [act = std::exchange(atUploadStart_, nullptr), alive = std::weak_ptr<int>(alive_)] {
            if (!alive.expired()) act();
        },
        Qt::QueuedConnection);
}

void UpdateRun::CloseWhenSettled(std::function<bool()> settled, Gesture gesture) {
    When(std::move(settled), [this, gesture] {
        // An exit that the program asked for is queued by now: look once the queue has got that
        // far. Should the run end first, this never runs, and the record says so.
        QMetaObject::invokeMethod(
            qApp,
            [this, alive = std::weak_ptr<int>(alive_), gesture] {
                if (alive.expired() || !dialog_) return;
                const bool stayed =
                    dialog_->IsWindow() && dialog_->Widget()->isVisible() && !record_.exitRequested;
                record_.stayedOpen = stayed;
                if (stayed) Perform(gesture);
            },
            Qt::QueuedConnection);
    });
}

void UpdateRun::CloseAfterOutcome(Gesture gesture) {
    CloseWhenSettled([this] { return outcomeHandled_; }, gesture);
}

RunRecord UpdateRun::Run() {
    RegisterResources();
    test::ModalAnswerer answerer([this](QWidget* modal) { AnswerModal(modal); });
    showWatcher_ = std::make_unique<ShowWatcher>(*this);
    qApp->installEventFilter(showWatcher_.get());
    stepTimer_.start(kStepIntervalMs);
    watchdog_.start(kGiveUpAfterMs);
    {
        TestUpdateApp app(*this);
        record_.exitStatus = app.Run();
    }
    stepTimer_.stop();
    watchdog_.stop();
    showWatcher_.reset();
    return record_;
}

bool UpdateRun::LogContains(const std::string& text) const {
    return dialog_ && dialog_->IsWindow() &&
           dialog_->GetDlgItemText(IDC_LOG).find(text) != std::string::npos;
}

bool UpdateRun::Uploading() const {
    const QString caption = QString::fromStdString(fw::LoadText(IDS_PROCESSING));
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowTitle() == caption) return true;
    return false;
}

void UpdateRun::CancelUpload() {
    const QString caption = QString::fromStdString(fw::LoadText(IDS_PROCESSING));
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowTitle() != caption) continue;
        QWidget* focus = window->focusWidget() ? window->focusWidget() : window;
        QTest::keyClick(focus, Qt::Key_Escape);
        return;
    }
    ADD_FAILURE() << "no progress dialog to cancel";
}

void UpdateRun::Perform(Gesture gesture) {
    ASSERT_TRUE(dialog_ && dialog_->IsWindow()) << "no main window to close";
    record_.closedByTest = true;
    QWidget* window = dialog_->Widget();
    QWidget* focus = window->focusWidget() ? window->focusWidget() : window;
    switch (gesture) {
        case Gesture::kCloseBox:
            window->close();  // what the window manager does with a click on the close box
            break;
        case Gesture::kEscape:
            QTest::keyClick(focus, Qt::Key_Escape);
            break;
        case Gesture::kEnter:
            QTest::keyClick(focus, Qt::Key_Return);
            break;
        case Gesture::kSystemMenuClose:
            dialog_->GetSystemMenu()->Menu()->actions().front()->trigger();
            break;
    }
}

void UpdateRun::AnswerModal(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        BoxSeen seen;
        seen.text = box->text().toStdString();
        if (dialog_) {
            seen.portOpen = dialog_->PortOpen();
            seen.log = dialog_->GetDlgItemText(IDC_LOG);
        }
        seen.uploading = Uploading();
        record_.boxes.push_back(seen);
        QTest::keyClick(box, Qt::Key_Return);
        return;
    }
    if (modal->windowTitle() == QString::fromUtf8("通信ポートの選択")) {
        record_.portDialogShown = true;
        for (const char* text : {"COM1", "COM2"}) {
            for (QRadioButton* radio : modal->findChildren<QRadioButton*>()) {
                if (radio->text() != text) continue;
                record_.portToolTips.push_back(radio->toolTip().toStdString());
                record_.portDescriptions.push_back(radio->accessibleDescription().toStdString());
                if (port_ == PortChoice::kCom2ByClick && radio->text() == "COM2")
                    QTest::mouseClick(radio, Qt::LeftButton);
            }
        }
        QWidget* focus = modal->focusWidget() ? modal->focusWidget() : modal;
        QTest::keyClick(focus, Qt::Key_Return);
        return;
    }
    ADD_FAILURE() << "unexpected modal window \"" << modal->windowTitle().toStdString() << "\"";
    modal->close();
}

void UpdateRun::TakeSteps() {
    // One step at a time: a step that runs an event loop of its own must not let the next one in.
    if (takingSteps_) return;
    takingSteps_ = true;
    while (nextStep_ < steps_.size() && steps_[nextStep_].ready()) {
        auto act = std::move(steps_[nextStep_++].act);
        act();
    }
    takingSteps_ = false;
}

void UpdateRun::GiveUp() {
    if (!record_.timedOut) ADD_FAILURE() << "the run did not end; closing it";
    record_.timedOut = true;
    watchdog_.setInterval(1000);
    if (QWidget* modal = fw::Dialog::ActiveModalWindow()) modal->close();
    if (dialog_) dialog_->EndDialog(fw::IDCANCEL);
}

}  // namespace e2e
