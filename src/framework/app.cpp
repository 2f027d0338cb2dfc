// The portable part of the application object: the one instance, its command table, and which
// window it last saw active.
#include "framework/app.h"

#include <cassert>

namespace fw {
namespace {
WinApp* g_currentApp = nullptr;
}

WinApp::WinApp() {
    assert(!g_currentApp);
    g_currentApp = this;
}

WinApp::~WinApp() {
    if (g_currentApp == this) g_currentApp = nullptr;
}

WinApp* WinApp::Current() {
    return g_currentApp;
}

void WinApp::NoteActivated(Window& window) {
    lastActive_ = window.Handle();
}

const MessageMap* WinApp::GetMessageMap() const {
    static constexpr MessageMapEntry entries[] = {
        OnCommand<&WinApp::OnAppExit>(ID_APP_EXIT),
        OnCommand<&WinApp::OnHelp>(ID_HELP),
    };
    static const MessageMap map{CommandTarget::RootMessageMap(), entries};
    return &map;
}

void WinApp::OnAppExit() {
    if (mainWindow_) mainWindow_->SendMessage(WM_CLOSE);
}

void WinApp::OnHelp() {
    // The tool brings no help of its own.
}

}  // namespace fw
