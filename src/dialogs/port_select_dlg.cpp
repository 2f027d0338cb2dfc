#include "dialogs/port_select_dlg.h"

#include "res/resource.h"

CPortSelectDlg::CPortSelectDlg(fw::Window* parent) : fw::Dialog(IDD_PORT_SELECT, parent) {}

const fw::MessageMap* CPortSelectDlg::GetMessageMap() const {
    static constexpr fw::MessageMapEntry entries[] = {
        fw::OnCommand<&CPortSelectDlg::OnPortCom1>(IDC_PORT_COM1, fw::BN_CLICKED),
        fw::OnCommand<&CPortSelectDlg::OnPortCom2>(IDC_PORT_COM2, fw::BN_CLICKED),
    };
    static const fw::MessageMap map{fw::Dialog::GetBaseMessageMap(), entries};
    return &map;
}

bool CPortSelectDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    CheckRadioButton(IDC_PORT_COM1, IDC_PORT_COM2, IDC_PORT_COM1 + portIndex_);
    return true;
}

void CPortSelectDlg::OnPortCom1() {
    portIndex_ = 0;
}

void CPortSelectDlg::OnPortCom2() {
    portIndex_ = 1;
}
