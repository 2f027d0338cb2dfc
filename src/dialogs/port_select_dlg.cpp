#include "dialogs/port_select_dlg.h"

#include <cassert>

#include "res/resource.h"

CPortSelectDlg::CPortSelectDlg(fw::Window* parent, std::vector<PortMapping> ports)
    : fw::Dialog(IDD_PORT_SELECT, parent), ports_(std::move(ports)) {
    assert(ports_.size() == IDC_PORT_COM2 - IDC_PORT_COM1 + 1);
}

const PortMapping& CPortSelectDlg::ChosenPort() const {
    return ports_[static_cast<std::size_t>(portIndex_)];
}

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
    // The buttons keep their texts; which device each one is shows on hovering and to a screen
    // reader.
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        if (fw::Window* button = GetDlgItem(IDC_PORT_COM1 + static_cast<int>(i))) {
            button->SetToolTip(ports_[i].Label());
            button->SetAccessibleDescription(ports_[i].Label());
        }
    }
    return true;
}

void CPortSelectDlg::OnPortCom1() {
    portIndex_ = 0;
}

void CPortSelectDlg::OnPortCom2() {
    portIndex_ = 1;
}
