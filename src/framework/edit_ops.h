#pragma once
// Edit-control operations for other threads, each one synchronous send.

#include <string_view>

#include "framework/window.h"

namespace fw {

// Adds `text` at the end of the edit control, puts the caret after it and scrolls it into view: the
// text afterwards is the old text followed by `text`, as a get-text/set-text pair would leave it,
// at a cost that does not grow with the text. False when the control is gone.
bool EditAppendAndShowEnd(const WindowHandle& edit, std::string_view text);

}  // namespace fw
