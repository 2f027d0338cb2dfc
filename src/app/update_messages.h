#pragma once
// The main dialog's private messages, posted by its console sink with zero parameters.

#include "framework/win_types.h"

inline constexpr fw::UINT WM_DEVICE_DATAWAIT = fw::WM_USER + 1;
inline constexpr fw::UINT WM_UPDATE_END = fw::WM_USER + 2;
