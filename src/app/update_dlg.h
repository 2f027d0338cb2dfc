#pragma once
// The main dialog: the tool's window, which drives one update run (update/update_run.h).
//
// Its initialisation finds the data file, asks for the port and opens the run on it; the log shows
// what the device prints. The reader's WM_DEVICE_DATAWAIT starts the upload, its WM_UPDATE_END
// reports the outcome the run decides: success ends the program, failure leaves the log open. As
// its window goes, the run is closed (the reader stopped and joined, the port closed) and a run
// that ended without a report is recorded. UI thread.
//
// The run concludes its outcome once, as the outcome is reported; the box, the record line and the
// exit status all come from that one verdict. The record line is appended before the outcome's box
// shows; during an upload, once the transfer's figures are final. A box about the data file (102)
// is no outcome box: an end that comes while it shows is reported on top of it, once. SIGTERM,
// SIGHUP and SIGINT while the port is open end the program as a close does, in order: a transfer
// stops after the block on the wire, every box and dialog goes, the port is closed and the run
// recorded as stopped by that signal (a second one ends the program at once); before the port opens
// and after it closed they end the program at once. While the upload runs, the end of the Windows
// session is asked to wait; when it ends all the same, the transfer stops after the block on the
// wire, the port is closed and the run recorded before the system's message returns (the process
// may end as soon as it does). The exit status says how the run ended: 0 success, 1 failure or
// stopped after the port opened, 2 when no update could start (a port that opened but got no
// console reader is recorded as failed with message 107, and still gives 2; one whose record got no
// helper thread ends as failed, 108 and 1).

#include <string>

#include "app/update_messages.h"
#include "app/window_console_sink.h"
#include "framework/dialog.h"
#include "framework/event_loop_port_waiter.h"
#include "framework/icon.h"
#include "framework/worker_thread.h"
#include "serial/port_scan.h"
#include "update/update_run.h"

class CUpdateDlg : public fw::Dialog {
  public:
    // `roots`: where port discovery looks for the system's serial ports; tests point it at a fake
    // tree. `startReader` starts the console reader's thread; it throws std::system_error when the
    // system gives none, as fw::WorkerThread does.
    using ReaderStarter = std::function<fw::WorkerThread(std::function<unsigned()> proc)>;

    explicit CUpdateDlg(SystemRoots roots = {},
                        ReaderStarter startReader = RunSettings::StartReader);
    ~CUpdateDlg() override;

    // The run holds the port (and its reader).
    bool PortOpen() const { return run_.PortOpen(); }
    // The process's exit status, final once the window is gone.
    int ExitStatus() const { return exitStatus_; }

    const fw::MessageMap* GetMessageMap() const override;

  protected:
    bool OnInitDialog() override;
    // Refused while the upload runs.
    void OnOK() override;
    void OnCancel() override;
    // The window is gone: the run is closed and, if nothing reported it, recorded.
    void PostNcDestroy() override;

  private:
    void OnSysCommand(fw::UINT command, fw::LPARAM lParam);
    void OnPaint();
    fw::LRESULT OnQueryDragIcon(fw::WPARAM, fw::LPARAM);
    fw::LRESULT OnDeviceDataWait(fw::WPARAM, fw::LPARAM);
    fw::LRESULT OnUpdateEnd(fw::WPARAM, fw::LPARAM);
    // The run's concluded outcome: recorded (after an upload under way) and shown in its box.
    void ReportOutcome();
    // Reports a port that cannot serve the run (message 107, and the reason on standard error)
    // and ends the program.
    void EndForUnusablePort(const std::string& portName, const std::string& reason);
    void RequestExit();
    void OnTerminationRequest(const char* signal);
    void OnSessionEnd();

    SystemRoots roots_;
    fw::Icon icon_;
    // The port's writes wait in the event loop, so the windows stay alive during the upload.
    fw::EventLoopPortWaiter portWaiter_;
    WindowConsoleSink consoleSink_;  // used by the run's reader: outlives it
    UpdateRun run_;
    bool uploading_ = false;
    bool started_ = false;  // the run started: the device's word decides the exit status
    bool terminating_ = false;
    int exitStatus_ = 2;
    // An outcome that came while an upload ran: recorded once the upload has returned.
    bool recordAfterUpload_ = false;
    bool exitAfterUpload_ = false;  // success was reported while the file was still going out
};
