#pragma once
// A small dialog class for the framework's tests: records the commands and system commands it gets.

#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/resources.h"
#include "framework/system_menu.h"

namespace test {

inline constexpr int IDD_TEST = 900;
inline constexpr int IDC_TEST_EDIT = 901;
inline constexpr int IDC_TEST_BUTTON = 902;
inline constexpr int IDC_TEST_BAR = 903;
inline constexpr int IDC_TEST_LABEL = 904;
inline constexpr fw::UINT WM_TEST_PING = fw::WM_USER + 50;
inline constexpr fw::UINT IDM_TEST_ITEM = 0x0020;

inline const fw::ControlTemplate kTestControls[] = {
    {fw::IDOK, fw::ControlKind::kPushButton, "OK", 10, 60, 50, 14,
     fw::BS_DEFPUSHBUTTON | fw::WS_TABSTOP},
    {fw::IDCANCEL, fw::ControlKind::kPushButton, "Cancel", 70, 60, 50, 14, fw::WS_TABSTOP},
    {IDC_TEST_BUTTON, fw::ControlKind::kPushButton, "&Other", 130, 60, 50, 14, fw::WS_TABSTOP},
    {IDC_TEST_EDIT, fw::ControlKind::kEdit, "", 10, 10, 170, 30,
     fw::ES_MULTILINE | fw::ES_AUTOVSCROLL | fw::ES_AUTOHSCROLL | fw::ES_READONLY | fw::WS_BORDER |
         fw::WS_TABSTOP},
    {IDC_TEST_BAR, fw::ControlKind::kProgressBar, "", 10, 44, 100, 8, fw::WS_BORDER},
    {IDC_TEST_LABEL, fw::ControlKind::kStaticText, "ラベル", 120, 44, 60, 8, fw::SS_LEFT},
};

inline const fw::DialogTemplate kTestTemplate{
    IDD_TEST,
    "テスト",
    190,
    80,
    "ＭＳ Ｐゴシック",
    9,
    fw::WS_POPUP | fw::WS_CAPTION | fw::WS_SYSMENU | fw::DS_MODALFRAME,
    0,
    kTestControls};

class RecordingDialog : public fw::Dialog {
  public:
    explicit RecordingDialog(fw::Window* parent = nullptr) : fw::Dialog(IDD_TEST, parent) {
        fw::RegisterTemplate(kTestTemplate);
    }
    std::vector<std::string> events;
    bool handleOk = false;  // when set, OK is recorded instead of ending the run

    const fw::MessageMap* GetMessageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::OnMessage<&RecordingDialog::OnPing>(WM_TEST_PING),
            fw::OnMessage<&RecordingDialog::OnSysCommand>(fw::WM_SYSCOMMAND),
            fw::OnCommand<&RecordingDialog::OnOther>(IDC_TEST_BUTTON),
        };
        static const fw::MessageMap map{fw::Dialog::GetBaseMessageMap(), entries};
        return &map;
    }

  protected:
    bool OnInitDialog() override {
        events.push_back("init");
        if (GetSystemMenu()) {
            GetSystemMenu()->AppendSeparator();
            GetSystemMenu()->AppendItem(IDM_TEST_ITEM, "項目(&T)");
        }
        return true;
    }
    void OnOK() override {
        events.push_back("ok");
        if (!handleOk) fw::Dialog::OnOK();
    }
    void OnCancel() override {
        events.push_back("cancel");
        fw::Dialog::OnCancel();
    }

  private:
    fw::LRESULT OnPing(fw::WPARAM w, fw::LPARAM l) {
        events.push_back("ping " + std::to_string(w) + " " + std::to_string(l));
        return static_cast<fw::LRESULT>(w + 1);
    }
    void OnSysCommand(fw::UINT command, fw::LPARAM lParam) {
        events.push_back("syscommand " + std::to_string(command));
        DefWindowProc(fw::WM_SYSCOMMAND, command, lParam);
    }
    void OnOther() { events.push_back("other"); }
};

}  // namespace test
