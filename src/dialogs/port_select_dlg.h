#pragma once
// CPortSelectDlg: asks on which serial port, COM1 or COM2, the device hangs. Run it modally and
// read PortIndex() or ChosenPort() afterwards, however it ended: the index follows the clicks on
// the two radio buttons, not their state at the end, so Esc keeps a port already clicked.
//
// It is given the mapping of COM1 and COM2 to devices as it stands when it opens (port_map.h);
// each radio button's tooltip and accessible description say which device it is, and the chosen
// entry is what the caller opens. UI thread only.

#include <vector>

#include "framework/dialog.h"
#include "serial/port_map.h"

class CPortSelectDlg : public fw::Dialog {
  public:
    // `ports`: COM1 and COM2, in that order.
    CPortSelectDlg(fw::Window* parent, std::vector<PortMapping> ports);

    // 0 for COM1, 1 for COM2.
    int PortIndex() const { return portIndex_; }
    // The mapping entry of the chosen port.
    const PortMapping& ChosenPort() const;

    const fw::MessageMap* GetMessageMap() const override;

  protected:
    bool OnInitDialog() override;

  private:
    void OnPortCom1();
    void OnPortCom2();

    std::vector<PortMapping> ports_;
    int portIndex_ = 0;
};
