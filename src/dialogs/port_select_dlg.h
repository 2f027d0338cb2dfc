#pragma once
// CPortSelectDlg: asks on which serial port, COM1 or COM2, the device hangs. Run it modally and
// read PortIndex() afterwards, however it ended: the index follows the clicks on the two radio
// buttons, not their state at the end, so Esc keeps a port already clicked. UI thread only.

#include "framework/dialog.h"

class CPortSelectDlg : public fw::Dialog {
  public:
    explicit CPortSelectDlg(fw::Window* parent = nullptr);

    // 0 for COM1, 1 for COM2.
    int PortIndex() const { return portIndex_; }

    const fw::MessageMap* GetMessageMap() const override;

  protected:
    bool OnInitDialog() override;

  private:
    void OnPortCom1();
    void OnPortCom2();

    int portIndex_ = 0;
};
