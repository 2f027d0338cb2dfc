#pragma once
// Resources by number: dialog templates, texts and icons. The resource module registers them at
// start-up (UI thread); afterwards they are read-only and may be read from any thread.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "framework/dialog_template.h"
#include "framework/icon.h"

namespace fw {

struct TextResource {
    int id;
    const char* text;  // UTF-8
};

struct IconResource {
    int id;
    // Where the toolkit finds the pictures: Qt resource paths (":/icons/app-32.png"), the first for
    // the size the templates use, the others for other sizes. A Windows build carries the icon in
    // its executable's resources under the same number instead.
    const char* path;
    std::vector<const char*> sizes;
};

void RegisterTexts(std::span<const TextResource> texts);
void RegisterTemplate(const DialogTemplate& dialogTemplate);
void RegisterIcon(IconResource icon);

// Empty when there is no such text.
std::string LoadText(int id);
const DialogTemplate* FindTemplate(int id);
// The icon registered under `id`, as registered.
std::optional<IconResource> FindIcon(int id);
// The icon itself; an empty icon when there is no such icon.
Icon LoadIcon(int id);

}  // namespace fw
