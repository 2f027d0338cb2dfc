#pragma once
// The toolkit's own window and menu behind the framework's objects: a Qt widget and menu on Linux,
// a window and menu handle on Windows. The framework's backend and tests that look into the toolkit
// use them; the program's windows speak only in the framework's terms.

#if defined(_WIN32)
struct HWND__;
struct HMENU__;
namespace fw {
using NativeWindow = HWND__*;
using NativeMenu = HMENU__*;
}  // namespace fw
#else
class QWidget;
class QMenu;
namespace fw {
using NativeWindow = QWidget*;
using NativeMenu = QMenu*;
}  // namespace fw
#endif
