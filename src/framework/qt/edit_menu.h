#pragma once
// The context menu of a dialog's read-only edit control (the log): the edit's own Copy and Select
// All, a separator, then the dialog's system menu, where Linux users look for a window's other
// commands. It opens on a right click, the menu key or Shift+F10. UI thread only.

class QPlainTextEdit;

namespace fw {

class SystemMenu;

// `systemMenu` belongs to the dialog that holds `edit` and lives as long as `edit` does.
void OfferSystemMenuInContextMenu(QPlainTextEdit* edit, SystemMenu& systemMenu);

}  // namespace fw
