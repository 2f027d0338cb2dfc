#include "app/update_app.h"

#include "app/update_dlg.h"

bool CUpdateApp::InitInstance() {
    CUpdateDlg dialog;
    SetMainWindow(&dialog);
    dialog.DoModal();
    SetMainWindow(nullptr);
    SetExitCode(dialog.ExitStatus());
    // The program ends here, without a message loop of its own.
    return false;
}
