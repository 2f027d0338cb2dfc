#pragma once
// The message texts by number (res/resource.h), UTF-8, as plain data without Qt: the window
// program registers them with the framework (res/resources.h), the terminal program prints them.
// Read-only; any thread.

#include <span>
#include <string_view>

namespace res {

struct MessageText {
    int id;
    const char* text;
};

std::span<const MessageText> MessageTable();

// Empty when there is no such text.
std::string_view FindMessageText(int id);

// What Windows shows beside the program's name when a shutdown or logoff would cut a transfer
// short. Outside the table: no box shows it, and the table's numbers are the fixed ones.
inline constexpr char kTransferRunsReason[] =
    "ファームウェアを転送中です。転送が終わるまでお待ちください。";

}  // namespace res
