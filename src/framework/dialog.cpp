// The portable part of dialogs: the message table's dispatch, the default handling of commands
// and system commands, and the controls by id. The toolkit's side (building the window from its
// template, modal runs, icons) is the backend's.
#include "framework/dialog.h"

#include "framework/app.h"

namespace fw {

const MessageMap* Dialog::GetBaseMessageMap() {
    static const MessageMap map{CommandTarget::RootMessageMap(), {}};
    return &map;
}

Control* Dialog::GetDlgItem(int id) const {
    for (const auto& c : controls_)
        if (c->Id() == id) return c.get();
    return nullptr;
}

void Dialog::SetDlgItemText(int id, const std::string& text) {
    if (Control* c = GetDlgItem(id)) c->SetWindowText(text);
}

std::string Dialog::GetDlgItemText(int id) const {
    Control* c = GetDlgItem(id);
    return c ? c->GetWindowText() : std::string();
}

void Dialog::CheckRadioButton(int first, int last, int checked) {
    for (int id = first; id <= last; ++id)
        if (ButtonControl* b = GetButton(id))
            b->SetCheck(id == checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Dialog::OnInitDialog() {
    return true;
}

void Dialog::OnOK() {
    EndDialog(IDOK);
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    WindowProc(message, wParam, lParam);
}

LRESULT Dialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The run may end inside a handler while its loop still has messages queued; none of them
    // may reach a handler before DoModal returns.
    if (ended_) return 0;
    const MessageMap* map = GetMessageMap();
    const MessageMapEntry* entry = message == WM_COMMAND
                                       ? map->FindCommand(CommandId(wParam), CommandCode(wParam))
                                       : map->FindMessage(message);
    if (entry) return entry->invoke(*this, wParam, lParam);
    return DefWindowProc(message, wParam, lParam);
}

LRESULT Dialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            UINT id = CommandId(wParam);
            UINT code = CommandCode(wParam);
            if (code == BN_CLICKED && id == IDOK) {
                OnOK();
            } else if (code == BN_CLICKED && id == IDCANCEL) {
                OnCancel();
            } else if (id >= APP_COMMAND_FIRST && id <= APP_COMMAND_LAST) {
                if (WinApp* app = WinApp::Current()) app->OnCmdMsg(id, code);
            }
            return 0;
        }
        case WM_SYSCOMMAND:
            if ((wParam & SC_COMMAND_MASK) != SC_CLOSE) return PassToSystem(message, wParam, lParam);
            WindowProc(WM_CLOSE, 0, 0);
            return 0;
        case WM_CLOSE:
            WindowProc(WM_COMMAND, MakeCommandParam(IDCANCEL, BN_CLICKED), 0);
            return 0;
        case WM_SETICON:
            return 0;
        default:
            return Window::WindowProc(message, wParam, lParam);
    }
}

}  // namespace fw
