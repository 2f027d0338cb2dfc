#pragma once
// Message boxes: modal, an OK button and the exclamation icon, the program's name as title, owned
// by the most recently active window of the application. UI thread.

#include <string>

namespace fw {

// Shows `text` ("\n" breaks lines) and returns when the operator has closed the box.
void MessageBox(const std::string& text);
// The same with the stop icon, for errors of the file system.
void ErrorBox(const std::string& text);
// The framework's own box for a file that could not be read: its path and the system's reason.
void FileErrorBox(const std::string& path, int error);
// Loads text number `id` and shows it; nothing when there is no such text.
void MessageBox(int textId);

}  // namespace fw
