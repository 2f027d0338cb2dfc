#include "framework/edit_ops.h"

#include "framework/controls.h"

namespace fw {

bool EditAppendAndShowEnd(const WindowHandle& edit, std::string_view text) {
    return SendCall(edit, [text](Window& window) -> LRESULT {
               auto* control = dynamic_cast<EditControl*>(&window);
               if (!control) return 0;
               control->AppendText(text);
               control->SetSel(control->TextLength(), control->TextLength());
               control->ScrollCaret();
               return 1;
           }) != 0;
}

}  // namespace fw
