// Dialogs on Win32: built in memory from the program's templates and run by the system's dialog
// manager (CreateDialogIndirectParamW, IsDialogMessageW), with the framework's own loop for a modal
// run, as the system's DialogBox would run it but with the owner disabled by a counted hold.
#include "framework/dialog.h"

#include <algorithm>
#include <vector>

#include "framework/app.h"
#include "framework/resources.h"
#include "framework/system_menu.h"
#include "framework/win32/dialog_template_bytes.h"
#include "framework/win32/icon_pictures.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {
namespace {

constexpr wchar_t kDialogProperty[] = L"fw.dialog";
constexpr wchar_t kMessageBoxClass[] = L"#32770";

// The dialogs whose modal runs are under way, innermost last.
std::vector<Dialog*>& ModalRuns() {
    static std::vector<Dialog*> runs;
    return runs;
}

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFontFamily(const std::wstring& face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The template's font where Windows has it, else the system's Japanese interface font.
std::u16string FontFaceFor(const char* templateFace) {
    static const std::vector<std::wstring> standIns{L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic"};
    const std::wstring face = WideFromUtf8(templateFace ? templateFace : "");
    std::wstring chosen = face;
    if (!HasFontFamily(face)) {
        const auto standIn = std::find_if(standIns.begin(), standIns.end(), HasFontFamily);
        if (standIn != standIns.end()) chosen = *standIn;
    }
    return std::u16string(chosen.begin(), chosen.end());
}

BOOL CALLBACK NoteMessageBox(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring_view(name) == kMessageBoxClass && IsWindowVisible(window) &&
        !win32::DialogOf(window))
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

// The system's message boxes of this thread that are showing.
std::vector<HWND> OpenMessageBoxes() {
    std::vector<HWND> boxes;
    EnumThreadWindows(GetCurrentThreadId(), NoteMessageBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

}  // namespace

struct Dialog::Native {
    HWND window = nullptr;
    bool inLoop = false;        // a modal run's loop is running
    bool passToSystem = false;  // the message being handled goes on to the dialog manager
    HDC painting = nullptr;     // while WM_PAINT is handled
};

// The dialog procedure: the messages the framework's dialogs handle go to their message tables.
class DialogWidget {
  public:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        Dialog* dialog =
            message == WM_INITDIALOG ? reinterpret_cast<Dialog*>(lParam) : win32::DialogOf(window);
        if (!dialog) return FALSE;
        switch (message) {
            case WM_INITDIALOG:
                return Initialise(*dialog, window);
            case WM_ACTIVATE:
                if (LOWORD(wParam) != WA_INACTIVE)
                    if (WinApp* app = WinApp::Current()) app->NoteActivated(*dialog);
                return FALSE;
            case WM_PAINT: {
                PAINTSTRUCT paint;
                dialog->native_->painting = BeginPaint(window, &paint);
                dialog->Dispatch(WM_PAINT, 0, 0);
                dialog->native_->painting = nullptr;
                EndPaint(window, &paint);
                return TRUE;
            }
            case WM_QUERYENDSESSION:
                if (!win32::AskSessionEndToWait(window)) return FALSE;
                SetWindowLongPtrW(window, DWLP_MSGRESULT, FALSE);
                return TRUE;
            case WM_ENDSESSION:
                if (wParam) win32::NoteSessionEnding();
                return FALSE;
            case WM_NCDESTROY:
                RemovePropW(window, kDialogProperty);
                return FALSE;
            case WM_COMMAND:
            case WM_SYSCOMMAND:
            case WM_CLOSE:
            case WM_QUERYDRAGICON:
                break;
            default:
                return FALSE;
        }
        dialog->native_->passToSystem = false;
        const LRESULT result = dialog->WindowProc(message, wParam, lParam);
        if (dialog->native_->passToSystem) return FALSE;
        if (message == WM_QUERYDRAGICON) return static_cast<INT_PTR>(result);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }

  private:
    static INT_PTR Initialise(Dialog& dialog, HWND window) {
        SetPropW(window, kDialogProperty, &dialog);
        dialog.native_->window = window;
        dialog.Attach(window);
        const DialogTemplate* tmpl = FindTemplate(dialog.templateId_);
        if (tmpl->style & WS_SYSMENU)
            dialog.systemMenu_ = std::make_unique<SystemMenu>(dialog, window);
        dialog.BuildControls(*tmpl);
        // TRUE lets the dialog manager put the focus on the first control with a tab stop.
        return dialog.OnInitDialog() ? TRUE : FALSE;
    }
};

Dialog::Dialog(int templateId, Window* parent)
    : templateId_(templateId), parent_(parent), native_(std::make_unique<Native>()) {}

Dialog::~Dialog() {
    DestroyWindow();
}

bool Dialog::Build(Window* owner) {
    const DialogTemplate* tmpl = FindTemplate(templateId_);
    if (!tmpl || IsWindow()) return false;
    win32::AdoptUiThread();
    ended_ = false;
    const std::vector<std::uint16_t> bytes =
        win32::BuildDialogTemplate(*tmpl, FontFaceFor(tmpl->fontFace), SHIFTJIS_CHARSET);
    HWND ownerWindow = owner && owner->Widget() ? GetAncestor(owner->Widget(), GA_ROOT) : nullptr;
    // An owned window has no taskbar button and shows wherever its owner stands. A dialog whose
    // owner does not show yet (the port dialog, asked before the main window appears) would have
    // neither a button nor a place: it stands on its own, with a button of its own.
    if (ownerWindow && !IsWindowVisible(ownerWindow)) ownerWindow = nullptr;
    HWND window = CreateDialogIndirectParamW(
        win32::Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), ownerWindow,
        DialogWidget::Proc, reinterpret_cast<LPARAM>(this));
    // Before it first shows: the taskbar takes the style as the window appears.
    if (window && !ownerWindow && ::IsWindow(window) && !IsWindowVisible(window)) {
        SetWindowLongPtrW(window, GWL_EXSTYLE,
                          GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    }
    return window != nullptr;
}

void Dialog::BuildControls(const DialogTemplate& tmpl) {
    // The dialog manager made the controls in the template's order.
    HWND child = GetWindow(native_->window, GW_CHILD);
    for (const ControlTemplate& c : tmpl.controls) {
        if (!child) break;
        std::unique_ptr<Control> control;
        switch (c.kind) {
            case ControlKind::kPushButton:
                if ((c.style & 0xF) == BS_DEFPUSHBUTTON) defaultButtonId_ = c.id;
                control = std::make_unique<ButtonControl>(c.id, child);
                break;
            case ControlKind::kRadioButton:
                control = std::make_unique<ButtonControl>(c.id, child);
                break;
            case ControlKind::kStaticText:
            case ControlKind::kIcon:
                control = std::make_unique<StaticControl>(c.id, child);
                break;
            case ControlKind::kEdit:
                control = std::make_unique<EditControl>(c.id, child);
                break;
            case ControlKind::kProgressBar:
                control = std::make_unique<ProgressBar>(c.id, child);
                break;
        }
        if (c.style & WS_TABSTOP) tabStops_.push_back(c.id);
        controls_.push_back(std::move(control));
        child = GetWindow(child, GW_HWNDNEXT);
    }
}

NativeWindow Dialog::ActiveModalWindow() {
    if (const std::vector<HWND> boxes = OpenMessageBoxes(); !boxes.empty()) return boxes.front();
    for (auto it = ModalRuns().rbegin(); it != ModalRuns().rend(); ++it)
        if ((*it)->parent_ && (*it)->native_->window && IsWindowVisible((*it)->native_->window))
            return (*it)->native_->window;
    return nullptr;
}

void Dialog::EndModalRuns() {
    for (HWND box : OpenMessageBoxes()) ::EndDialog(box, IDCANCEL);
    for (auto it = ModalRuns().rbegin(); it != ModalRuns().rend(); ++it) (*it)->EndDialog(IDCANCEL);
}

int Dialog::DoModal() {
    if (!Build(parent_)) return -1;
    if (!ended_) {
        // A counted hold on the owner, not the system's own disabling, so that a progress dialog's
        // hold and this run's end in any order.
        ownerDisable_ = WindowDisable(parent_);
        ModalRuns().push_back(this);
        ShowWindow(native_->window, SW_SHOW);
        win32::BringToFront(native_->window);
        native_->inLoop = true;
        MSG message;
        while (!ended_) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == 0) {
                // Quitting: the loop further out sees it too.
                PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (got < 0) break;
            win32::DispatchMessageOf(message);
        }
        native_->inLoop = false;
        std::erase(ModalRuns(), this);
        ownerDisable_.Release();
    }
    const int result = result_;
    DestroyWindow();
    return result;
}

bool Dialog::Create(Window* owner) {
    return Build(owner) && IsWindow();
}

void Dialog::EndDialog(int result) {
    result_ = result;
    ended_ = true;
    if (!native_->inLoop) return;
    // An owned dialog goes at once and gives its owner back, even when its run ends only after a
    // handler further up the stack has returned.
    if (ownerDisable_.Holds() && native_->window) {
        ownerDisable_.Release();
        ShowWindow(native_->window, SW_HIDE);
    }
    // Wakes the loop, which looks at ended_ after every message.
    PostMessageW(native_->window, WM_NULL, 0, 0);
}

void Dialog::DestroyWindow() {
    HWND window = native_->window;
    if (!window) return;
    native_->window = nullptr;
    systemMenu_.reset();
    controls_.clear();  // each control lets go of its handle first
    tabStops_.clear();
    defaultButtonId_ = 0;
    Detach();
    RemovePropW(window, kDialogProperty);
    ::DestroyWindow(window);
    PostNcDestroy();
}

void Dialog::SetIcon(const Icon& icon, bool big) {
    if (!native_->window || !icon) return;
    SendMessageW(native_->window, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(big ? icon.Get()->large : icon.Get()->little));
}

bool Dialog::IsIconic() const {
    return native_->window && ::IsIconic(native_->window);
}

Size Dialog::ClientSize() const {
    RECT client{};
    if (native_->window) GetClientRect(native_->window, &client);
    return {client.right, client.bottom};
}

void Dialog::PaintIcon(const Icon& icon, int x, int y, int size) {
    HDC context = native_->painting;
    if (!context || !icon) return;
    SendMessageW(native_->window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    DrawIconEx(context, x, y, icon.Get()->large, size, size, 0, nullptr, DI_NORMAL);
}

LRESULT Dialog::PassToSystem(UINT, WPARAM, LPARAM) {
    native_->passToSystem = true;
    return 0;
}

namespace win32 {

void BringToFront(HWND window) {
    if (SetForegroundWindow(window)) return;
    FLASHWINFO flash{sizeof flash, window, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
}

Dialog* DialogOf(HWND window) {
    return window ? static_cast<Dialog*>(GetPropW(window, kDialogProperty)) : nullptr;
}

bool TakenByDialog(MSG& message) {
    HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    return root && DialogOf(root) && IsDialogMessageW(root, &message);
}

void DispatchMessageOf(MSG& message) {
    if (TakenByDialog(message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace win32
}  // namespace fw
