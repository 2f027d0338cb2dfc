#pragma once
// The application object: one per program, constructed before main (it touches no toolkit there).
// Run() starts the toolkit, sets up the application's environment (fonts) and calls InitInstance;
// the process's exit status is what InitInstance set with SetExitCode (0 unless set).
// Its message table takes the commands that the main window leaves unhandled: ID_APP_EXIT closes
// the main window, ID_HELP has no help to show. UI thread only.

#include "framework/message_map.h"
#include "framework/window.h"

namespace fw {

class WinApp : public CommandTarget {
  public:
    WinApp();
    ~WinApp() override;
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;

    static WinApp* Current();

    // Starts the toolkit with the program's command line, unless it runs already (as in tests).
    // Returns the process's exit status.
    int Run(int argc = 0, char** argv = nullptr);
    virtual bool InitInstance() = 0;
    void SetExitCode(int code) { exitCode_ = code; }

    void SetMainWindow(Window* window) { mainWindow_ = window; }
    Window* MainWindow() const { return mainWindow_; }

    // The window that message boxes belong to: the most recently active of the main window and the
    // windows it owns, or the main window itself.
    Window* LastActivePopup() const;
    void NoteActivated(Window& window);

    const MessageMap* GetMessageMap() const override;

  protected:
    void OnAppExit();
    void OnHelp();

  private:
    Window* mainWindow_ = nullptr;
    WindowHandle lastActive_;
    int exitCode_ = 0;
};

// The program's name as message boxes show it: the executable's file name without directory and
// extension.
std::string ApplicationName();

// Makes the Japanese interface font the application's default (message boxes, menus).
void InstallInterfaceFont();

}  // namespace fw
