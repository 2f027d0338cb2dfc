// The message table and the version record, as the operator reads them.

#include <gtest/gtest.h>

#include <string>

#include "framework/resources.h"
#include "res/resource.h"
#include "res/resources.h"
#include "res/version_info.h"

namespace {

struct MessageCase {
    int id;
    const char* text;
};

class MessageTable : public testing::TestWithParam<MessageCase> {
  protected:
    void SetUp() override { RegisterResources(); }
};

TEST_P(MessageTable, TextIsExactlyAsListed) {
    EXPECT_EQ(fw::LoadText(GetParam().id), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageTable,
    testing::Values(
        MessageCase{IDS_VERSION_MENU, "ﾊﾞｰｼﾞｮﾝ情報(QelpUpd) (&A)..."},
        MessageCase{IDS_NO_DATA_FILE, "アップデート データファイルが存在しません。"},
        MessageCase{IDS_OUT_OF_MEMORY, "メモリが不足しています。"},
        MessageCase{IDS_READ_FAILED, "ファイルの読み込みに失敗しました。"},
        MessageCase{IDS_TRANSFERRING, "ファイルを転送中..."},
        MessageCase{IDS_PROCESSING, "処理中..."},
        MessageCase{IDS_PORT_UNAVAILABLE,
                    "%1は使用できません。\nDr.VORMA等のほかのソフトウェアが使用していないかどうか"
                    "確認してください。"},
        MessageCase{IDS_UPDATE_FAILED,
                    "アップデート作業は正常に終了しませんでした。\nもう一度やり直してください。"},
        MessageCase{IDS_UPDATE_DONE, "アップデート作業は正常に終了しました。"}),
    [](const testing::TestParamInfo<MessageCase>& p) { return std::to_string(p.param.id); });

TEST(MessageTableEdges, NumbersOutsideTheTableHaveNoText) {
    RegisterResources();
    EXPECT_EQ(fw::LoadText(100), "");
    EXPECT_EQ(fw::LoadText(110), "");
}

TEST(VersionRecord, FollowsTheProjectVersion) {
    EXPECT_STREQ(res::version::kVersion, "1.0.0.1");
    EXPECT_STREQ(res::version::kFileVersionText, "1, 0, 0, 1");
    EXPECT_STREQ(res::version::kProductVersionText, "1, 0, 0, 1");
    EXPECT_STREQ(res::version::kVersionLine, "QelpUpd Version 1.0");
    EXPECT_STREQ(res::version::kProductName, "QELPUPD ｱﾌﾟﾘｹｰｼｮﾝ");
}

}  // namespace
