#pragma once
// The application object: runs the main dialog modally for the program's whole life.

#include "framework/app.h"

class CUpdateApp : public fw::WinApp {
  public:
    bool InitInstance() override;
};
