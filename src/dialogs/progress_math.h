#pragma once
// The arithmetic of the transfer progress dialog, free of windows: the percentage it shows, and how
// a range too wide for the 16-bit bar is shown on it (a step goes as the bar's own does,
// controls.h).
//
// The bar control takes 16-bit positions, so an upload of 65536 blocks or more cannot be given to
// it as is. The dialog then keeps positions in the caller's units itself and shows them on a bar of
// kScaledBarUpper steps; ranges that fit go to the bar unchanged.

#include <string>

namespace dialogs {

inline constexpr int kBarValueMax = 0xFFFF;
inline constexpr int kScaledBarUpper = 10000;

// True when both bounds can be given to the bar as they are.
bool FitsBar(int lower, int upper);

// (position - lower) x 100 / (upper - lower), truncated toward zero; above 100 it starts again from
// 0 (modulo 100), exactly 100 stays 100. The range must not be empty.
int PercentOf(long long position, int lower, int upper);

// The percentage as the dialog shows it: "%d%c" with '%', for example "37%".
std::string PercentText(int percent);

// A position of a range that does not fit, as a position of the bar's range 0..kScaledBarUpper.
int ScaledBarPosition(long long position, int lower, int upper);

}  // namespace dialogs
