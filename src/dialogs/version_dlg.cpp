#include "dialogs/version_dlg.h"

#include "res/resource.h"

CVersionDlg::CVersionDlg(fw::Window* parent) : fw::Dialog(IDD_VERSION, parent) {}
