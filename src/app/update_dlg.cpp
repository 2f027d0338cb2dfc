#include "app/update_dlg.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <system_error>
#include <utility>

#include "app/update_messages.h"
#include "app/window_upload.h"
#include "dialogs/port_select_dlg.h"
#include "dialogs/version_dlg.h"
#include "framework/app.h"
#include "framework/message_box.h"
#include "framework/resources.h"
#include "framework/system_menu.h"
#include "framework/text_format.h"
#include "res/resource.h"
#include "res/version_info.h"
#include "serial/comm_port.h"
#include "serial/port_discovery.h"
#include "serial/port_map.h"
#include "update/console_reader.h"
#include "update/data_file.h"
#include "update/data_upload.h"
#include "update/update_record.h"

namespace {
constexpr int kSystemIconSize = 32;
}

CUpdateDlg::CUpdateDlg(SystemRoots roots, ReaderStarter startReader)
    : fw::Dialog(IDD_UPDATE),
      roots_(std::move(roots)),
      icon_(fw::LoadIcon(IDR_MAINFRAME)),
      startReader_(std::move(startReader)) {}

fw::WorkerThread CUpdateDlg::StartReaderThread(std::function<unsigned()> proc) {
    return fw::WorkerThread("console-reader", std::move(proc));
}

CUpdateDlg::~CUpdateDlg() {
    // The window goes first, so that the reader's last sends to the log return at once.
    DestroyWindow();
    if (reader_.Started()) {
        session_.RequestStop();
        reader_.Join();
    }
    // Closed before the device ended the run.
    if (record_ && !record_->Finished()) {
        const auto [outcome, message] =
            pendingOutcome_.value_or(std::pair(RecordedOutcome::kClosedByOperator, 0));
        FinishRecord(outcome, message);
    }
    port_.reset();
}

const fw::MessageMap* CUpdateDlg::GetMessageMap() const {
    static constexpr fw::MessageMapEntry entries[] = {
        fw::OnMessage<&CUpdateDlg::OnSysCommand>(fw::WM_SYSCOMMAND),
        fw::OnMessage<&CUpdateDlg::OnPaint>(fw::WM_PAINT),
        fw::OnMessage<&CUpdateDlg::OnQueryDragIcon>(fw::WM_QUERYDRAGICON),
        fw::OnMessage<&CUpdateDlg::OnDeviceDataWait>(WM_DEVICE_DATAWAIT),
        fw::OnMessage<&CUpdateDlg::OnUpdateEnd>(WM_UPDATE_END),
    };
    static const fw::MessageMap map{fw::Dialog::GetBaseMessageMap(), entries};
    return &map;
}

bool CUpdateDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();

    std::string versionItem = fw::LoadText(IDS_VERSION_MENU);
    if (!versionItem.empty() && GetSystemMenu()) {
        GetSystemMenu()->AppendSeparator();
        GetSystemMenu()->AppendItem(IDM_VERSION, versionItem);
    }
    SetIcon(icon_, true);
    SetIcon(icon_, false);

    const DataFileChoice found = ChooseDataFile(".");
    if (found.path.empty()) {
        fw::MessageBox(IDS_NO_DATA_FILE);
        return true;
    }
    dataFilePath_ = found.path;
    if (found.passedOver > 0)
        // Several candidates usually mean an old file left beside the new one: say which one goes.
        std::fprintf(stderr, "%s: data file %s taken; %zu other matching file%s passed over\n",
                     fw::ApplicationName().c_str(), found.path.c_str(), found.passedOver,
                     found.passedOver == 1 ? "" : "s");

    // The ports are looked for once, as the dialog opens: the device opened is the one it showed.
    CPortSelectDlg portSelect(this, MapOfferedPorts(DiscoverSerialPorts(roots_)));
    portSelect.DoModal();  // however it ended, its choice counts
    const PortMapping& port = portSelect.ChosenPort();

    port_ = std::make_unique<CCommPort>();
    port_->BaudRate = UPDATE_BAUD;
    port_->SetWaiter(&portWaiter_);
    if (!port_->OpenPort(port)) {
        EndForUnusablePort(port.name, port_->DescribeOpenFailure());
        return false;
    }

    exitStatus_ = 1;  // until the device reports a success
    StartRecord(port);

    session_.buffer = &port_->Buffer();
    consoleSink_ = WindowConsoleSink(GetDlgItem(IDC_LOG)->Handle(), Handle(), record_.get());
    session_.flags.stop.store(0);
    session_.flags.result.store(1);
    try {
        reader_ = startReader_([this] { return ConsoleReaderProc(session_, consoleSink_); });
    } catch (const std::system_error& error) {
        // Without its reader the port would show nothing and answer nothing: give it back.
        session_.buffer = nullptr;
        port_.reset();
        // The port did open, so the run is recorded; but no update could start.
        FinishRecord(RecordedOutcome::kFailed, IDS_PORT_UNAVAILABLE);
        exitStatus_ = 2;
        EndForUnusablePort(
            port.name, std::string("cannot start the console reader: ") + error.code().message());
        return false;
    }
    return true;
}

void CUpdateDlg::EndForUnusablePort(const std::string& portName, const std::string& reason) {
    // For the operator who started the tool from a terminal: which device, what it is, and why.
    std::fprintf(stderr, "%s: %s: %s\n", fw::ApplicationName().c_str(), portName.c_str(),
                 reason.c_str());
    fw::MessageBox(fw::FormatMessage(IDS_PORT_UNAVAILABLE, {portName}));
    RequestExit();
}

void CUpdateDlg::RequestExit() {
    if (fw::WinApp* app = fw::WinApp::Current(); app && app->MainWindow())
        fw::PostMessage(app->MainWindow()->Handle(), fw::WM_COMMAND, fw::ID_APP_EXIT, 0);
}

void CUpdateDlg::StartRecord(const PortMapping& port) {
    record_ = std::make_unique<UpdateRecord>(RecordDirectory());
    record_->Start({fw::ApplicationName(), res::version::kVersion, port.name, port.devicePath,
                    dataFilePath_, std::chrono::system_clock::now()});
}

void CUpdateDlg::FinishRecord(RecordedOutcome outcome, int message) {
    if (!record_) return;
    RunEnd end;
    end.transfer = lastTransfer_;
    end.uploads = uploads_;
    end.outcome = outcome;
    end.message = message;
    end.time = std::chrono::system_clock::now();
    record_->Finish(end);
}

void CUpdateDlg::OnSysCommand(fw::UINT command, fw::LPARAM lParam) {
    if ((command & fw::SC_COMMAND_MASK) == IDM_VERSION) {
        CVersionDlg about(this);
        about.DoModal();
        return;
    }
    if ((command & fw::SC_COMMAND_MASK) == fw::SC_CLOSE) {
        if (uploading_) return;
        // The operator stopped the run: whatever the reader reports after this is no success.
        session_.flags.result.store(0);
        session_.RequestStop();
    }
    DefWindowProc(fw::WM_SYSCOMMAND, command, lParam);
}

void CUpdateDlg::OnOK() {
    if (!uploading_) fw::Dialog::OnOK();
}

void CUpdateDlg::OnCancel() {
    if (!uploading_) fw::Dialog::OnCancel();
}

void CUpdateDlg::OnPaint() {
    if (!IsIconic()) return;
    QSize client = ClientSize();
    int x = (client.width() - kSystemIconSize + 1) / 2;
    int y = (client.height() - kSystemIconSize + 1) / 2;
    PaintIcon(icon_, x, y, kSystemIconSize);
}

fw::LRESULT CUpdateDlg::OnQueryDragIcon(fw::WPARAM, fw::LPARAM) {
    return reinterpret_cast<fw::LRESULT>(&icon_);
}

fw::LRESULT CUpdateDlg::OnDeviceDataWait(fw::WPARAM, fw::LPARAM) {
    // A request that arrives while the file is going out is the device repeating itself.
    if (uploading_ || !port_) return 0;
    uploading_ = true;
    WindowUpload sink(*this);
    lastTransfer_ = UploadDataFile(dataFilePath_, *port_, session_, sink).transfer;
    ++uploads_;
    uploading_ = false;
    if (pendingOutcome_) {
        FinishRecord(pendingOutcome_->first, pendingOutcome_->second);
        pendingOutcome_.reset();
    }
    if (std::exchange(exitAfterUpload_, false)) RequestExit();
    return 0;
}

fw::LRESULT CUpdateDlg::OnUpdateEnd(fw::WPARAM, fw::LPARAM) {
    const bool succeeded = session_.flags.result.load() != 0;
    exitStatus_ = succeeded ? 0 : 1;
    const auto outcome = succeeded ? RecordedOutcome::kSucceeded : RecordedOutcome::kFailed;
    const int message = succeeded ? IDS_UPDATE_DONE : IDS_UPDATE_FAILED;
    // Written before the box, which may stay up for long; during an upload, once the figures of
    // the transfer are final.
    if (uploading_)
        pendingOutcome_.emplace(outcome, message);
    else
        FinishRecord(outcome, message);

    if (succeeded) {
        fw::MessageBox(IDS_UPDATE_DONE);
        // The window refuses to close until the upload has returned to it.
        if (uploading_)
            exitAfterUpload_ = true;
        else
            RequestExit();
    } else {
        fw::MessageBox(IDS_UPDATE_FAILED);
    }
    return 0;
}
