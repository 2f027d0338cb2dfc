#include "framework/message_map.h"

namespace fw {

const MessageMapEntry* MessageMap::FindMessage(UINT message) const {
    for (const MessageMap* map = this; map; map = map->base)
        for (const auto& entry : map->entries)
            if (entry.message == message && message != WM_COMMAND) return &entry;
    return nullptr;
}

const MessageMapEntry* MessageMap::FindCommand(UINT id, UINT code) const {
    for (const MessageMap* map = this; map; map = map->base)
        for (const auto& entry : map->entries)
            if (entry.message == WM_COMMAND && entry.id == id && entry.code == code) return &entry;
    return nullptr;
}

const MessageMap* CommandTarget::RootMessageMap() {
    static const MessageMap empty{nullptr, {}};
    return &empty;
}

bool CommandTarget::OnCmdMsg(UINT id, UINT code) {
    const MessageMapEntry* entry = GetMessageMap()->FindCommand(id, code);
    if (!entry) return false;
    entry->invoke(*this, MakeCommandParam(id, code), 0);
    return true;
}

}  // namespace fw
