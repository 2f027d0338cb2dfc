#pragma once
// CVersionDlg: the version dialog behind the system menu's version item: the icon, the version and
// a one-line notice. A plain dialog; OK, Esc and the close box end it. UI thread only.

#include "framework/dialog.h"

class CVersionDlg : public fw::Dialog {
  public:
    explicit CVersionDlg(fw::Window* parent = nullptr);
};
