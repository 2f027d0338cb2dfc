#pragma once
// The message vocabulary of the dialog services: window messages, notifications, commands and
// styles by their fixed numbers, which handlers, message tables, templates and tests use alike.

#include <cstdint>

namespace fw {

using UINT = std::uint32_t;
#if defined(_WIN32) && !defined(_WIN64)
// 32-bit Windows spells its pointer-sized integers as long, where intptr_t is int: the same types
// keep the framework's window and dialog procedures assignable to the system's.
using WPARAM = unsigned int;
using LPARAM = long;
using LRESULT = long;
#else
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
#endif

// Window messages.
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUERYDRAGICON = 0x0037;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_USER = 0x0400;

// Edit control messages.
inline constexpr UINT EM_SETSEL = 0x00B1;
inline constexpr UINT EM_SCROLLCARET = 0x00B7;

// Progress bar messages.
inline constexpr UINT PBM_SETRANGE = 0x0401;
inline constexpr UINT PBM_SETPOS = 0x0402;
inline constexpr UINT PBM_SETSTEP = 0x0404;
inline constexpr UINT PBM_STEPIT = 0x0405;

// Button notification and messages.
inline constexpr UINT BN_CLICKED = 0;
inline constexpr UINT BM_GETCHECK = 0x00F0;
inline constexpr UINT BM_SETCHECK = 0x00F1;

// WM_SETICON selectors.
inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;

// System commands; the platform reserves their low four bits.
inline constexpr UINT SC_CLOSE = 0xF060;
inline constexpr UINT SC_COMMAND_MASK = 0xFFF0;

// Command identifiers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr UINT ID_APP_EXIT = 0xE141;
inline constexpr UINT ID_HELP = 0xE146;
// Commands in this range that a dialog leaves unhandled are offered to the application object.
inline constexpr UINT APP_COMMAND_FIRST = 0x8000;
inline constexpr UINT APP_COMMAND_LAST = 0xEFFF;

// Window and control styles used by the templates.
inline constexpr std::uint32_t WS_POPUP = 0x80000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000;
inline constexpr std::uint32_t WS_BORDER = 0x00800000;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000;
inline constexpr std::uint32_t WS_GROUP = 0x00020000;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000;
inline constexpr std::uint32_t DS_MODALFRAME = 0x00000080;
inline constexpr std::uint32_t WS_EX_APPWINDOW = 0x00040000;  // in the template's extended style

inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x00000001;
inline constexpr std::uint32_t BS_AUTORADIOBUTTON = 0x00000009;

inline constexpr std::uint32_t ES_MULTILINE = 0x0004;
inline constexpr std::uint32_t ES_AUTOVSCROLL = 0x0040;
inline constexpr std::uint32_t ES_AUTOHSCROLL = 0x0080;
inline constexpr std::uint32_t ES_READONLY = 0x0800;

inline constexpr std::uint32_t SS_LEFT = 0x0000;
inline constexpr std::uint32_t SS_NOPREFIX = 0x0080;

inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;

// A width and a height in pixels.
struct Size {
    int cx = 0;
    int cy = 0;
};

inline constexpr WPARAM MakeCommandParam(UINT id, UINT code) {
    return (code << 16) | (id & 0xFFFF);
}
inline constexpr UINT CommandId(WPARAM w) {
    return static_cast<UINT>(w & 0xFFFF);
}
inline constexpr UINT CommandCode(WPARAM w) {
    return static_cast<UINT>((w >> 16) & 0xFFFF);
}
inline constexpr LPARAM MakeLong(int low, int high) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(high & 0xFFFF) << 16) |
                               static_cast<std::uint32_t>(low & 0xFFFF));
}

}  // namespace fw
