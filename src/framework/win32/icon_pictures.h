#pragma once
// The Win32 side of an Icon: the large and the small picture, as the system's icons. Internal to
// the framework.

#include "framework/icon.h"
// After the project's headers:
#include "framework/win32/windows_api.h"

struct fw::Icon::Pictures {
    HICON large = nullptr;
    HICON little = nullptr;
    ~Pictures() {
        if (large) DestroyIcon(large);
        if (little) DestroyIcon(little);
    }
};
