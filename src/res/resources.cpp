#include "res/resources.h"

#include <mutex>

#include "framework/resources.h"
#include "res/resource.h"
#include "res/tables.h"

void RegisterResources() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        fw::RegisterTexts(res::MessageTexts());
        for (const fw::DialogTemplate& t : res::DialogTemplates()) fw::RegisterTemplate(t);
        // The 32-pixel picture first, the size the templates use; Qt picks among the others by
        // size.
        fw::RegisterIcon(
            {IDR_MAINFRAME,
             ":/icons/qelpupd-32.png",
             {":/icons/qelpupd-16.png", ":/icons/qelpupd-48.png", ":/icons/qelpupd-256.png"}});
    });
}
