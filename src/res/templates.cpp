// The dialog templates, in dialog units.

#include "framework/win_types.h"
#include "res/resource.h"
#include "res/tables.h"
#include "res/version_info.h"

namespace res {
namespace {

using fw::ControlKind;
using fw::kNoControlId;

constexpr char kDialogFont[] = "ＭＳ Ｐゴシック";
constexpr std::uint32_t kDialogStyle =
    fw::WS_POPUP | fw::WS_CAPTION | fw::WS_SYSMENU | fw::DS_MODALFRAME;

constexpr fw::ControlTemplate kUpdateControls[] = {
    {IDC_LOG, ControlKind::kEdit, "", 12, 12, 160, 80,
     fw::ES_MULTILINE | fw::ES_AUTOVSCROLL | fw::ES_AUTOHSCROLL | fw::ES_READONLY | fw::WS_BORDER |
         fw::WS_TABSTOP},
};

constexpr fw::ControlTemplate kPortSelectControls[] = {
    {fw::IDOK, ControlKind::kPushButton, "OK", 68, 44, 50, 14,
     fw::BS_DEFPUSHBUTTON | fw::WS_TABSTOP},
    {kNoControlId, ControlKind::kStaticText, "QELPと接続している通信ポートを選択してください。", 15,
     8, 156, 8, fw::SS_LEFT | fw::WS_GROUP},
    {IDC_PORT_COM1, ControlKind::kRadioButton, "COM1", 42, 24, 35, 10, fw::BS_AUTORADIOBUTTON},
    {IDC_PORT_COM2, ControlKind::kRadioButton, "COM2", 110, 24, 35, 10, fw::BS_AUTORADIOBUTTON},
};

constexpr fw::ControlTemplate kTransferProgressControls[] = {
    {fw::IDCANCEL, ControlKind::kPushButton, "ｷｬﾝｾﾙ", 67, 58, 50, 14,
     fw::BS_DEFPUSHBUTTON | fw::WS_TABSTOP},
    {IDC_TRANSFER_BAR, ControlKind::kProgressBar, "", 15, 34, 154, 13, fw::WS_BORDER},
    {IDC_TRANSFER_PERCENT, ControlKind::kStaticText, " 0 %", 85, 23, 18, 8,
     fw::SS_LEFT | fw::WS_GROUP},
    {IDC_TRANSFER_STATUS, ControlKind::kStaticText, "", 13, 7, 158, 8, fw::SS_LEFT | fw::WS_GROUP},
};

constexpr fw::ControlTemplate kVersionControls[] = {
    {kNoControlId, ControlKind::kIcon, "", 11, 17, 20, 20, 0, IDR_MAINFRAME},
    {kNoControlId, ControlKind::kStaticText, version::kVersionLine, 40, 10, 119, 8,
     fw::SS_LEFT | fw::SS_NOPREFIX | fw::WS_GROUP},
    {kNoControlId, ControlKind::kStaticText, "QELP ファームウェア更新ツール", 40, 25, 119, 8,
     fw::SS_LEFT | fw::WS_GROUP},
    {fw::IDOK, ControlKind::kPushButton, "OK", 178, 7, 32, 14,
     fw::BS_DEFPUSHBUTTON | fw::WS_GROUP | fw::WS_TABSTOP},
};

constexpr fw::DialogTemplate kTemplates[] = {
    {IDD_VERSION, "ﾊﾞｰｼﾞｮﾝ情報 QelpUpd", 217, 55, kDialogFont, 9, kDialogStyle, 0,
     kVersionControls},
    // The main window: visible at once, with a task-bar button of its own.
    {IDD_UPDATE, "QelpUpd", 186, 117, kDialogFont, 12, kDialogStyle | fw::WS_VISIBLE,
     fw::WS_EX_APPWINDOW, kUpdateControls},
    // The caption is set at initialisation from the caption message.
    {IDD_TRANSFER_PROGRESS, "", 186, 79, kDialogFont, 9, kDialogStyle | fw::WS_VISIBLE, 0,
     kTransferProgressControls},
    {IDD_PORT_SELECT, "通信ポートの選択", 188, 65, kDialogFont, 12, kDialogStyle, 0,
     kPortSelectControls},
};

}  // namespace

std::span<const fw::DialogTemplate> DialogTemplates() {
    return kTemplates;
}

}  // namespace res
