// Icons from the Qt resources the icon's registration names.
#include "framework/qt/icon_pictures.h"
#include "framework/resources.h"

namespace fw {

Icon LoadIcon(int id) {
    const std::optional<IconResource> found = FindIcon(id);
    if (!found) return Icon();
    auto pictures = std::make_shared<Icon::Pictures>();
    pictures->icon.addFile(QString::fromUtf8(found->path));
    for (const char* path : found->sizes) pictures->icon.addFile(QString::fromUtf8(path));
    return Icon(std::move(pictures));
}

LRESULT Icon::Handle() const {
    return pictures_ ? reinterpret_cast<LRESULT>(&pictures_->icon) : 0;
}

}  // namespace fw
