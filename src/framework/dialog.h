#pragma once
// Dialogs built from templates.
//
// A Dialog owns its window and its controls. DoModal builds the window, runs OnInitDialog, shows it
// and runs a nested event loop until EndDialog; Create builds a modeless one that stays until
// DestroyWindow. Keys follow the usual dialog conventions: Enter issues the focused push
// button's command, else the default button's, else IDOK; Esc issues IDCANCEL; the title bar's
// close box, and Alt+F4 from any control, arrive as the system command SC_CLOSE, which becomes
// WM_CLOSE and then IDCANCEL.
// Unless a class overrides them, OnOK and OnCancel end a modal run with IDOK or IDCANCEL.
//
// Messages reach WindowProc, which looks the message or command up in the class's table; commands
// from APP_COMMAND_FIRST to APP_COMMAND_LAST that the dialog leaves unhandled are offered to the
// application object. Once EndDialog has ended a run, the dialog handles nothing more: what was
// already queued for it (a device's data request, an outcome) is dropped, not acted on while the
// run winds down. UI thread only; other threads use the window's handle.

#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/dialog_template.h"
#include "framework/icon.h"
#include "framework/window.h"
#include "framework/window_disable.h"

namespace fw {

class DialogWidget;
class SystemMenu;

class Dialog : public Window {
  public:
    // `parent` owns the dialog: it stays above it, and a modal run disables it, so that the owner
    // takes no input meanwhile. Only the owner: other windows, such as a progress dialog that a
    // posted message opens meanwhile, stay usable.
    explicit Dialog(int templateId, Window* parent = nullptr);
    ~Dialog() override;

    int DoModal();
    bool Create(Window* owner);
    void EndDialog(int result);
    void DestroyWindow();

    Control* GetDlgItem(int id) const;
    EditControl* GetEdit(int id) const { return dynamic_cast<EditControl*>(GetDlgItem(id)); }
    ProgressBar* GetProgressBar(int id) const { return dynamic_cast<ProgressBar*>(GetDlgItem(id)); }
    ButtonControl* GetButton(int id) const { return dynamic_cast<ButtonControl*>(GetDlgItem(id)); }
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    void CheckRadioButton(int first, int last, int checked);

    // The dialog's own system menu (Alt+Space from any control, a right click outside the
    // controls, or the lower part of an edit control's context menu); null when the template has
    // none.
    SystemMenu* GetSystemMenu() const { return systemMenu_.get(); }

    void SetIcon(const Icon& icon, bool big);
    bool IsIconic() const;
    Size ClientSize() const;
    // Paints the icon at a client position, over an erased background; only while handling
    // WM_PAINT.
    void PaintIcon(const Icon& icon, int x, int y, int size);

    // The window of the innermost modal run that is showing - a message box, or a dialog run by
    // DoModal over an owner - or nullptr. A dialog without owner is the application's main window,
    // not a question put to the operator. For tests and tools that answer modal windows.
    static NativeWindow ActiveModalWindow();
    // Ends every modal run that is under way - message boxes as if closed, dialogs with IDCANCEL -
    // for a program that must end. Each run returns once the handlers above it on the stack have.
    static void EndModalRuns();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    const MessageMap* GetMessageMap() const override { return GetBaseMessageMap(); }
    static const MessageMap* GetBaseMessageMap();

  protected:
    // Runs after the controls exist, before the window shows. True lets the framework put the focus
    // on the first control with a tab stop.
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Runs once the window and its controls are gone (their handles dead), at the end of
    // DestroyWindow; a modal run's DoModal returns after it.
    virtual void PostNcDestroy() {}
    // The handling a message gets when the table has no handler for it, or when a handler passes it
    // on.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    friend class DialogWidget;
    struct Native;  // the toolkit's window and modal loop
    bool Build(Window* owner);
    void BuildControls(const DialogTemplate& tmpl);
    void FocusFirstTabStop();
    void OnEnterKey();
    void Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    // Leaves a system command the dialog does not handle (moving, the system menu's keys) to the
    // toolkit's own handling.
    LRESULT PassToSystem(UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    Window* parent_;
    std::unique_ptr<Native> native_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<int> tabStops_;
    int defaultButtonId_ = 0;
    std::unique_ptr<SystemMenu> systemMenu_;
    WindowDisable ownerDisable_;  // held on the owner while the modal run lasts
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace fw
