#pragma once
// One run of the update tool in process: an application object as the program has it runs
// CUpdateDlg modally, the port dialog and the message boxes are answered as an operator would, and
// the test's own steps (closing the window at a chosen moment) run from inside the modal loops.
//
// Everything here runs on the test's thread, which is the UI thread: the steps and the answers
// come from timers, so they run in whichever event loop is active - the main dialog's, a message
// box's, or the upload's pumping. Run() returns once the application object's initialisation has
// returned, that is after the dialog's destructor has stopped the reader and closed the port.

#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/worker_thread.h"
#include "serial/port_scan.h"

class CUpdateDlg;
class QWidget;

namespace e2e {

enum class PortChoice { kCom1ByEnter, kCom2ByClick };
// kSystemMenuClose: Close chosen from the system menu, as from a menu that was open already.
enum class Gesture { kCloseBox, kEscape, kEnter, kSystemMenuClose };
const char* GestureName(Gesture gesture);

// A message box as it showed, and the main dialog as it stood meanwhile.
struct BoxSeen {
    std::string text;
    bool portOpen = false;   // the run held the port (and its reader)
    bool uploading = false;  // the transfer progress dialog was showing
    std::string log;
};

struct RunRecord {
    bool portDialogShown = false;
    // The port dialog's radio buttons as it showed: their tooltips and accessible descriptions.
    std::vector<std::string> portToolTips;
    std::vector<std::string> portDescriptions;
    std::vector<BoxSeen> boxes;
    int dataRequests = 0;        // WM_DEVICE_DATAWAIT handled
    int updateEnds = 0;          // WM_UPDATE_END handled
    bool exitRequested = false;  // ID_APP_EXIT reached the application object
    bool closedByTest = false;   // a step of the test performed a closing gesture
    // Whether the window was still open when the test came to close it (CloseWhenSettled), once
    // everything queued before had run. Empty when the test never looked.
    std::optional<bool> stayedOpen;
    bool timedOut = false;
    int exitStatus = -1;  // what the application object returned for the process

    std::vector<std::string> BoxTexts() const;
};

class UpdateRun {
  public:
    explicit UpdateRun(PortChoice port = PortChoice::kCom1ByEnter, SystemRoots roots = {});
    ~UpdateRun();
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;

    // Runs `act` once `ready` holds and every step given before has run.
    void When(std::function<bool()> ready, std::function<void()> act);
    // Runs `act` at the upload's first pumping of messages, before its first block goes out.
    void AtUploadStart(std::function<void()> act);
    // Once `settled` holds: notes whether the window is still open after everything queued until
    // then has run (an exit the program asked for included), and if so closes it by `gesture`.
    void CloseWhenSettled(std::function<bool()> settled, Gesture gesture);
    // The same once the outcome has been reported and its box answered.
    void CloseAfterOutcome(Gesture gesture);

    // Starts the console reader by `starter` instead of as the program does.
    void StartReaderWith(std::function<fw::WorkerThread(std::function<unsigned()>)> starter) {
        readerStarter_ = std::move(starter);
    }

    RunRecord Run();

    // For steps, during Run(): the dialog, or nullptr before it exists and after it has gone.
    CUpdateDlg* Dialog() const { return dialog_; }
    bool LogContains(const std::string& text) const;
    bool OutcomeReported() const { return outcomeHandled_; }
    // The transfer progress dialog is showing.
    bool Uploading() const;
    // Closes the main window as the operator would: the title bar's close box, or a key that goes
    // where the keyboard focus is (the log, as the window opens).
    void Perform(Gesture gesture);
    // Presses Esc in the transfer progress dialog, as the operator stopping the transfer would.
    void CancelUpload();

  private:
    friend class ObservedUpdateDlg;
    friend class TestUpdateApp;
    friend class ShowWatcher;
    void AnswerModal(QWidget* modal);
    void NoteShown(QWidget* window);
    void TakeSteps();
    void GiveUp();

    struct Step {
        std::function<bool()> ready;
        std::function<void()> act;
    };
    PortChoice port_;
    SystemRoots roots_;
    std::function<fw::WorkerThread(std::function<unsigned()>)> readerStarter_;
    RunRecord record_;
    CUpdateDlg* dialog_ = nullptr;
    bool outcomeHandled_ = false;
    std::vector<Step> steps_;
    std::size_t nextStep_ = 0;
    bool takingSteps_ = false;
    QTimer stepTimer_;
    QTimer watchdog_;
    std::function<void()> atUploadStart_;
    std::unique_ptr<QObject> showWatcher_;
    // Lets a queued step find out that the run it belonged to is over.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace e2e
