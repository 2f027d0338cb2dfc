// The portable part of the controls: the window messages each control answers, mapped onto its
// operations, and the progress bar's stepping arithmetic. The operations themselves are the
// toolkit's.
#include "framework/controls.h"

#include <algorithm>
#include <cstring>

namespace fw {
namespace {

int Low16(LPARAM value) {
    return static_cast<int>(value & 0xFFFF);
}

int High16(LPARAM value) {
    return static_cast<int>((value >> 16) & 0xFFFF);
}

}  // namespace

LRESULT EditControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(length_);
        case WM_GETTEXT: {
            // wParam: buffer size in bytes, terminator included; lParam: the buffer.
            if (wParam == 0 || lParam == 0) return 0;
            std::string text = GetText();
            std::size_t n = std::min<std::size_t>(text.size(), wParam - 1);
            std::memcpy(reinterpret_cast<char*>(lParam), text.data(), n);
            reinterpret_cast<char*>(lParam)[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_SETTEXT:
            SetText(lParam ? reinterpret_cast<const char*>(lParam) : "");
            return 1;
        case EM_SETSEL:
            SetSel(static_cast<std::size_t>(wParam), static_cast<std::size_t>(lParam));
            return 0;
        case EM_SCROLLCARET:
            ScrollCaret();
            return 1;
        default:
            return Control::WindowProc(message, wParam, lParam);
    }
}

long long ProgressBar::NextPosition(long long position, long long step, int lower, int upper) {
    long long next = position + step;
    if (next > upper && upper > lower) next = lower + (next - lower) % (upper - lower);
    return std::max<long long>(next, lower);
}

LRESULT ProgressBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case PBM_SETRANGE: {
            LRESULT previous = MakeLong(lower_, upper_);
            SetRange(Low16(lParam), High16(lParam));
            return previous;
        }
        case PBM_SETPOS:
            return SetPos(static_cast<int>(wParam));
        case PBM_SETSTEP:
            return SetStep(static_cast<int>(wParam));
        case PBM_STEPIT:
            return StepIt();
        default:
            return Control::WindowProc(message, wParam, lParam);
    }
}

LRESULT ButtonControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case BM_GETCHECK:
            return GetCheck();
        case BM_SETCHECK:
            SetCheck(static_cast<int>(wParam));
            return 0;
        default:
            return Control::WindowProc(message, wParam, lParam);
    }
}

}  // namespace fw
