// The message table, UTF-8. Half-width katakana stay half-width: the operator knows the texts in
// that form.

#include "res/message_texts.h"

#include "res/resource.h"

namespace res {
namespace {

constexpr MessageText kMessages[] = {
    {IDS_VERSION_MENU, "ﾊﾞｰｼﾞｮﾝ情報(QelpUpd) (&A)..."},
    {IDS_NO_DATA_FILE, "アップデート データファイルが存在しません。"},
    {IDS_OUT_OF_MEMORY, "メモリが不足しています。"},
    {IDS_READ_FAILED, "ファイルの読み込みに失敗しました。"},
    {IDS_TRANSFERRING, "ファイルを転送中..."},
    {IDS_PROCESSING, "処理中..."},
    {IDS_PORT_UNAVAILABLE,
     "%1は使用できません。\n"
     "Dr.VORMA等のほかのソフトウェアが使用していないかどうか確認してください。"},
    {IDS_UPDATE_FAILED,
     "アップデート作業は正常に終了しませんでした。\n"
     "もう一度やり直してください。"},
    {IDS_UPDATE_DONE, "アップデート作業は正常に終了しました。"},
};

}  // namespace

std::span<const MessageText> MessageTable() {
    return kMessages;
}

std::string_view FindMessageText(int id) {
    for (const MessageText& message : kMessages)
        if (message.id == id) return message.text;
    return {};
}

}  // namespace res
