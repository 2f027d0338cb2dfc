#pragma once
// The main dialog: the tool's window and the owner of one update run.
//
// Its initialisation finds the data file, asks for the port, opens it and starts the console
// reader; the log shows what the device prints. The reader's WM_DEVICE_DATAWAIT starts the upload,
// its WM_UPDATE_END reports the outcome: success ends the program, failure leaves the log open. The
// destructor stops and joins the reader, then closes the port. UI thread.
//
// A run that opened the port leaves an update record (update/update_record.h): the outcome's line
// is appended before the outcome's box shows; a run the operator closed first is recorded by the
// destructor. The exit status says how the run ended: 0 success, 1 failure or closed after the port
// opened, 2 when no update could start (a port that opened but got no console reader is recorded as
// failed with message 107, and still gives 2).

#include <QIcon>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/update_messages.h"
#include "app/window_console_sink.h"
#include "framework/dialog.h"
#include "framework/event_loop_port_waiter.h"
#include "framework/worker_thread.h"
#include "serial/port_scan.h"
#include "update/update_record.h"
#include "update/update_session.h"

class CCommPort;
struct PortMapping;

class CUpdateDlg : public fw::Dialog {
  public:
    // `roots`: where port discovery looks for the system's serial ports; tests point it at a fake
    // tree. `startReader` starts the console reader's thread; it throws std::system_error when the
    // system gives none, as fw::WorkerThread does.
    using ReaderStarter = std::function<fw::WorkerThread(std::function<unsigned()> proc)>;
    static fw::WorkerThread StartReaderThread(std::function<unsigned()> proc);

    explicit CUpdateDlg(SystemRoots roots = {}, ReaderStarter startReader = StartReaderThread);
    ~CUpdateDlg() override;

    const std::string& DataFilePath() const { return dataFilePath_; }
    CCommPort* Port() const { return port_.get(); }
    UpdateSession& Session() { return session_; }
    bool ReaderStarted() const { return reader_.Started(); }
    // The process's exit status for the run as it stands.
    int ExitStatus() const { return exitStatus_; }

    const fw::MessageMap* GetMessageMap() const override;

  protected:
    bool OnInitDialog() override;
    // Refused while the upload runs.
    void OnOK() override;
    void OnCancel() override;

  private:
    void OnSysCommand(fw::UINT command, fw::LPARAM lParam);
    void OnPaint();
    fw::LRESULT OnQueryDragIcon(fw::WPARAM, fw::LPARAM);
    fw::LRESULT OnDeviceDataWait(fw::WPARAM, fw::LPARAM);
    fw::LRESULT OnUpdateEnd(fw::WPARAM, fw::LPARAM);
    // Reports a port that cannot serve the run (message 107, and the reason on standard error)
    // and ends the program.
    void EndForUnusablePort(const std::string& portName, const std::string& reason);
    void RequestExit();
    void StartRecord(const PortMapping& port);
    void FinishRecord(RecordedOutcome outcome, int message);

    SystemRoots roots_;
    std::string dataFilePath_;
    QIcon icon_;
    // The port's writes wait in the event loop, so the windows stay alive during the upload.
    fw::EventLoopPortWaiter portWaiter_;
    std::unique_ptr<CCommPort> port_;
    UpdateSession session_;
    WindowConsoleSink consoleSink_;
    ReaderStarter startReader_;
    fw::WorkerThread reader_;
    bool uploading_ = false;
    int exitStatus_ = 2;
    std::unique_ptr<UpdateRecord> record_;
    std::optional<TransferResult> lastTransfer_;  // the last upload's, for the record
    int uploads_ = 0;
    // An outcome that came while an upload ran: recorded once the upload has returned.
    std::optional<std::pair<RecordedOutcome, int>> pendingOutcome_;
    bool exitAfterUpload_ = false;  // success was reported while the file was still going out
};
