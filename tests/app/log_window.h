#pragma once
// A stand-in main window for the window program's tests and benchmarks: a real dialog with a log
// edit control, which counts the private messages the console reader's window sink posts to it.

#include <atomic>
#include <vector>

#include "app/update_messages.h"
#include "framework/dialog.h"
#include "framework/resources.h"

namespace test {

inline constexpr int IDD_LOG_WINDOW = 950;
inline constexpr int IDC_TEST_LOG = 951;

inline const fw::ControlTemplate kLogWindowControls[] = {
    {IDC_TEST_LOG, fw::ControlKind::kEdit, "", 12, 12, 160, 80,
     fw::ES_MULTILINE | fw::ES_AUTOVSCROLL | fw::ES_AUTOHSCROLL | fw::ES_READONLY | fw::WS_BORDER |
         fw::WS_TABSTOP},
};
inline const fw::DialogTemplate kLogWindowTemplate{IDD_LOG_WINDOW,
                                                   "log",
                                                   186,
                                                   117,
                                                   "ＭＳ Ｐゴシック",
                                                   12,
                                                   fw::WS_POPUP | fw::WS_CAPTION | fw::WS_SYSMENU,
                                                   0,
                                                   kLogWindowControls};

class LogWindow : public fw::Dialog {
  public:
    LogWindow() : fw::Dialog(IDD_LOG_WINDOW) { fw::RegisterTemplate(kLogWindowTemplate); }
    std::atomic<int> dataRequests{0};
    std::atomic<int> updateEnds{0};

    fw::EditControl& Log() { return *GetEdit(IDC_TEST_LOG); }

    const fw::MessageMap* GetMessageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::OnMessage<&LogWindow::OnDataWait>(WM_DEVICE_DATAWAIT),
            fw::OnMessage<&LogWindow::OnUpdateEnd>(WM_UPDATE_END),
        };
        static const fw::MessageMap map{fw::Dialog::GetBaseMessageMap(), entries};
        return &map;
    }

  private:
    void OnDataWait() { ++dataRequests; }
    void OnUpdateEnd() { ++updateEnds; }
};

}  // namespace test
