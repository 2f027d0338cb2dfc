#pragma once
// Dialog templates: a window's controls laid out in dialog units, as resource files describe them.

#include <cstdint>
#include <span>

namespace fw {

enum class ControlKind { kPushButton, kRadioButton, kStaticText, kEdit, kProgressBar, kIcon };

struct ControlTemplate {
    int id;  // -1 for a control without id
    ControlKind kind;
    const char* text;  // UTF-8; for an icon, unused (see iconId)
    int x, y, cx, cy;  // dialog units
    std::uint32_t style;
    int iconId = 0;  // ControlKind::kIcon: the icon resource shown
};

struct DialogTemplate {
    int id;
    const char* caption;  // UTF-8
    int cx, cy;           // client area, dialog units
    const char* fontFace;
    int fontPointSize;
    std::uint32_t style;
    std::uint32_t exStyle;
    std::span<const ControlTemplate> controls;
};

inline constexpr int kNoControlId = -1;

}  // namespace fw
