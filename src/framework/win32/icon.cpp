// Icons from the executable's own resources, under the number they are registered by.
#include "framework/resources.h"
#include "framework/win32/icon_pictures.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {

Icon LoadIcon(int id) {
    if (!FindIcon(id)) return Icon();
    const auto load = [id](int width, int height) {
        return static_cast<HICON>(LoadImageW(win32::Instance(), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                             width, height, LR_DEFAULTCOLOR));
    };
    auto pictures = std::make_shared<Icon::Pictures>();
    pictures->large = load(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    pictures->little = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    if (!pictures->large) return Icon();
    return Icon(std::move(pictures));
}

LRESULT Icon::Handle() const {
    return pictures_ ? reinterpret_cast<LRESULT>(pictures_->large) : 0;
}

}  // namespace fw
