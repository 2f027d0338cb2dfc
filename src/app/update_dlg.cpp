#include "app/update_dlg.h"

#include <string>
#include <utility>

#include "app/update_messages.h"
#include "app/window_upload.h"
#include "dialogs/port_select_dlg.h"
#include "dialogs/version_dlg.h"
#include "framework/app.h"
#include "framework/message_box.h"
#include "framework/resources.h"
#include "framework/system_menu.h"
#include "framework/termination.h"
#include "framework/text_format.h"
#include "res/message_texts.h"
#include "res/resource.h"
#include "res/version_info.h"
#include "serial/port_discovery.h"
#include "serial/port_map.h"
#include "update/data_file.h"
#include "update/standard_streams.h"

namespace {

constexpr int kSystemIconSize = 32;

RunSettings WindowRunSettings(CUpdateDlg::ReaderStarter startReader) {
    RunSettings settings;
    settings.program = fw::ApplicationName();
    settings.version = res::version::kVersion;
    // Nobody else reads the file while this program sends it.
    settings.lock = DataFileLock::kExclusive;
    settings.startReader = std::move(startReader);
    return settings;
}

}  // namespace

CUpdateDlg::CUpdateDlg(SystemRoots roots, ReaderStarter startReader)
    : fw::Dialog(IDD_UPDATE),
      roots_(std::move(roots)),
      icon_(fw::LoadIcon(IDR_MAINFRAME)),
      run_(WindowRunSettings(std::move(startReader)), &portWaiter_) {}

CUpdateDlg::~CUpdateDlg() {
    // The window goes first, so that the reader's last sends to the log return at once.
    DestroyWindow();
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
    if (found.passedOver > 0)
        // Several candidates usually mean an old file left beside the new one: say which one goes.
        WriteAll(kStandardError, fw::ApplicationName() + ": data file " + found.path + " taken; " +
                                     std::to_string(found.passedOver) + " other matching file" +
                                     (found.passedOver == 1 ? "" : "s") + " passed over\n");

    // The ports are looked for once, as the dialog opens: the device opened is the one it showed.
    CPortSelectDlg portSelect(this, MapOfferedPorts(DiscoverSerialPorts(roots_)));
    portSelect.DoModal();  // however it ended, its choice counts
    const PortMapping& port = portSelect.ChosenPort();

    consoleSink_ = WindowConsoleSink(GetDlgItem(IDC_LOG)->Handle(), Handle());
    const OpenResult opened = run_.Open(port, found.path, consoleSink_);
    if (opened.end == OpenEnd::kOpened || opened.end == OpenEnd::kRecordFailed) started_ = true;
    switch (opened.end) {
        case OpenEnd::kOpened:
            break;
        case OpenEnd::kRecordFailed:
            // The run ended before it began, as failed: reported as any failure, the log stays.
            std::fprintf(stderr, "%s: %s: %s\n", fw::ApplicationName().c_str(), port.name.c_str(),
                         opened.reason.c_str());
            ReportOutcome();
            return true;
        case OpenEnd::kPortUnusable:
        case OpenEnd::kReaderFailed:
            EndForUnusablePort(port.name, opened.reason);
            return false;
    }
    fw::OnTerminationRequest([this](const char* signal) { OnTerminationRequest(signal); });
    fw::OnSessionEnd([this] { OnSessionEnd(); });
    return true;
}

void CUpdateDlg::OnTerminationRequest(const char* signal) {
    // A second request, or one after the port was given back, is not waited for.
    if (terminating_ || !run_.PortOpen()) fw::EndByTerminationRequest(signal);
    terminating_ = true;
    run_.Stop(EndCause::kSignal, signal);
    // An upload under way returns first, once its block is out; the window then goes as it would
    // after a close, and its going closes and records the run.
    fw::Dialog::EndModalRuns();
}

void CUpdateDlg::OnSessionEnd() {
    // The process may end as soon as this returns: the run is closed and recorded here, from
    // whichever loop runs; what unwinds afterwards changes nothing of it.
    terminating_ = true;
    run_.EndNow(EndCause::kSignal, "WM_ENDSESSION");
    exitStatus_ = run_.Conclude().Succeeded() ? 0 : 1;
    fw::Dialog::EndModalRuns();
}

void CUpdateDlg::EndForUnusablePort(const std::string& portName, const std::string& reason) {
    // For the operator who started the tool from a terminal: which device, what it is, and why.
    WriteAll(kStandardError, fw::ApplicationName() + ": " + portName + ": " + reason + "\n");
    fw::MessageBox(fw::FormatMessage(IDS_PORT_UNAVAILABLE, {portName}));
    RequestExit();
}

void CUpdateDlg::RequestExit() {
    if (fw::WinApp* app = fw::WinApp::Current(); app && app->MainWindow())
        fw::PostMessage(app->MainWindow()->Handle(), fw::WM_COMMAND, fw::ID_APP_EXIT, 0);
}

void CUpdateDlg::PostNcDestroy() {
    run_.Close();
    // Closed before the device ended the run, or before its outcome could be reported.
    run_.Record();
    if (!started_) return;
    exitStatus_ = run_.Conclude().Succeeded() ? 0 : 1;
    // The process ends from here on: a request now ends it at once.
    fw::OnTerminationRequest(nullptr);
    fw::OnSessionEnd(nullptr);
}

void CUpdateDlg::OnSysCommand(fw::UINT command, fw::LPARAM lParam) {
    if ((command & fw::SC_COMMAND_MASK) == IDM_VERSION) {
        CVersionDlg about(this);
        about.DoModal();
        return;
    }
    if ((command & fw::SC_COMMAND_MASK) == fw::SC_CLOSE) {
        if (uploading_) return;
        run_.Stop(EndCause::kOperator);
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
    const fw::Size client = ClientSize();
    int x = (client.cx - kSystemIconSize + 1) / 2;
    int y = (client.cy - kSystemIconSize + 1) / 2;
    PaintIcon(icon_, x, y, kSystemIconSize);
}

fw::LRESULT CUpdateDlg::OnQueryDragIcon(fw::WPARAM, fw::LPARAM) {
    return icon_.Handle();
}

fw::LRESULT CUpdateDlg::OnDeviceDataWait(fw::WPARAM, fw::LPARAM) {
    // A request that arrives while the file is going out is the device repeating itself.
    if (uploading_ || !run_.PortOpen()) return 0;
    uploading_ = true;
    {
        fw::SessionEndHold hold(res::kTransferRunsReason);
        WindowUpload sink(*this);
        run_.Upload(sink);
    }
    uploading_ = false;
    if (std::exchange(recordAfterUpload_, false)) run_.Record();
    if (std::exchange(exitAfterUpload_, false)) RequestExit();
    return 0;
}

fw::LRESULT CUpdateDlg::OnUpdateEnd(fw::WPARAM, fw::LPARAM) {
    ReportOutcome();
    return 0;
}

void CUpdateDlg::ReportOutcome() {
    // Decided once: the box, the record and the exit status all take this verdict.
    const RunVerdict& verdict = run_.Conclude();
    // Written before the box, which may stay up for long; during an upload, once the figures of
    // the transfer are final.
    if (uploading_)
        recordAfterUpload_ = true;
    else
        run_.Record();

    if (verdict.Succeeded()) {
        fw::MessageBox(IDS_UPDATE_DONE);
        // The window refuses to close until the upload has returned to it.
        if (uploading_)
            exitAfterUpload_ = true;
        else
            RequestExit();
    } else {
        fw::MessageBox(IDS_UPDATE_FAILED);
    }
}
