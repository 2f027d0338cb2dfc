#pragma once
// Resources by number: dialog templates, texts and icons. The resource module registers them at
// start-up (UI thread); afterwards they are read-only and may be read from any thread.

#include <span>
#include <string>
#include <vector>

#include "framework/dialog_template.h"

class QIcon;

namespace fw {

struct TextResource {
    int id;
    const char* text;  // UTF-8
};

struct IconResource {
    int id;
    const char* path;  // a Qt resource path of a scalable or multi-size icon (":/icons/app.svg")
    std::vector<const char*> sizes;  // further pictures of the same icon, for specific sizes
};

void RegisterTexts(std::span<const TextResource> texts);
void RegisterTemplate(const DialogTemplate& dialogTemplate);
void RegisterIcon(IconResource icon);

// Empty when there is no such text.
std::string LoadText(int id);
const DialogTemplate* FindTemplate(int id);
QIcon LoadIcon(int id);

}  // namespace fw
