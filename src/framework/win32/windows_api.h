#pragma once
// <windows.h> for the framework's Win32 files: include this instead of it, after the project's own
// headers. The framework names window messages, styles and commands by the system's numbers
// (win_types.h), and windows.h defines the same names as macros, which would turn those
// declarations into nonsense: with win_types.h first, the macros come later and stand for the same
// values, so the code below uses them unqualified. The macros that rename functions the framework
// has too (SendMessage to SendMessageW, ...) are taken back; the Win32 calls are spelt with W.

#include "framework/win_types.h"
// The serial layer's <windows.h>, with its own constants taken care of and the UTF-16 spellings.
#include "serial/win32_api.h"
// After windows.h:
#include <commctrl.h>

#undef DefWindowProc
#undef FormatMessage
#undef GetDlgItemText
#undef GetWindowText
#undef LoadIcon
#undef MessageBox
#undef PostMessage
#undef SendMessage
#undef SetDlgItemText
#undef SetWindowText
