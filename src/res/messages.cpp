// The message table as the framework registers it; the texts themselves are in message_texts.cpp.

#include <vector>

#include "res/message_texts.h"
#include "res/tables.h"

namespace res {

std::span<const fw::TextResource> MessageTexts() {
    static const std::vector<fw::TextResource> texts = [] {
        std::vector<fw::TextResource> converted;
        for (const MessageText& message : MessageTable())
            converted.push_back({message.id, message.text});
        return converted;
    }();
    return texts;
}

}  // namespace res
