#pragma once
// A dialog template as the Windows dialog manager takes it (DLGTEMPLATEEX with DLGITEMTEMPLATEEX
// items), built in memory from the program's templates: positions in dialog units, the template's
// font, its styles, and the controls by their system classes (BUTTON, EDIT, STATIC,
// msctls_progress32). Plain bytes, no system calls: any thread, and testable on any system.

#include <cstdint>
#include <string_view>
#include <vector>

#include "framework/dialog_template.h"

namespace fw::win32 {

// The template's window styles as the system needs them: every control a visible child, the dialog
// with its font set (DS_SETFONT).
std::uint32_t DialogStyle(const DialogTemplate& tmpl);
std::uint32_t ControlStyle(const ControlTemplate& control);

// The whole template, WORD-aligned as DialogBoxIndirectParam and CreateDialogIndirectParam want
// it. `fontFace` is the face the dialog uses (the template's, or one that stands in for it);
// `charset` its character set.
std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& tmpl,
                                               std::u16string_view fontFace, std::uint8_t charset);

}  // namespace fw::win32
