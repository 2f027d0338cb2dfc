#include "framework/resources.h"

#include <map>
#include <mutex>

#include "framework/text_format.h"

namespace fw {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<int, std::string> texts;
    std::map<int, const DialogTemplate*> templates;
    std::map<int, IconResource> icons;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

void RegisterTexts(std::span<const TextResource> texts) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    for (const auto& t : texts) r.texts[t.id] = t.text;
}

void RegisterTemplate(const DialogTemplate& dialogTemplate) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.templates[dialogTemplate.id] = &dialogTemplate;
}

void RegisterIcon(IconResource icon) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.icons[icon.id] = std::move(icon);
}

std::string LoadText(int id) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.texts.find(id);
    return it == r.texts.end() ? std::string() : it->second;
}

std::string FormatMessage(int id, std::initializer_list<std::string_view> args) {
    std::string text = LoadText(id);
    return text.empty() ? std::string() : FormatText(text, args);
}

const DialogTemplate* FindTemplate(int id) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.templates.find(id);
    return it == r.templates.end() ? nullptr : it->second;
}

std::optional<IconResource> FindIcon(int id) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.icons.find(id);
    if (it == r.icons.end()) return std::nullopt;
    return it->second;
}

}  // namespace fw
