// Which data file a folder gives: the first matching name, letters compared without regard to
// case, however the file system lists the folder (ext4 in hash order, tmpfs newest first).

#include "update/data_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class ChooseDataFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qelpupd-datafile-" + std::to_string(std::random_device{}()));
        ASSERT_TRUE(fs::create_directory(dir_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Creates the entries in the order given.
    void Create(const std::vector<std::string>& names) const {
        for (const std::string& name : names) std::ofstream(dir_ / name) << name;
    }
    fs::path dir_;
};

struct ChoiceCase {
    const char* name;
    std::vector<std::string> created;  // in this order
    std::string expected;              // empty: none
    std::size_t passedOver;
};

class ChoiceTable : public ChooseDataFileTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(ChoiceTable, TakesTheFirstMatchingNameWithoutRegardToCase) {
    const ChoiceCase& c = GetParam();
    Create(c.created);
    const auto entries = std::distance(fs::directory_iterator(dir_), fs::directory_iterator());
    if (static_cast<std::size_t>(entries) < c.created.size())
        GTEST_SKIP() << "this file system does not tell names apart by case";
    const DataFileChoice choice = ChooseDataFile(dir_.string());
    if (c.expected.empty()) {
        EXPECT_EQ(choice.path, "");
    } else {
        EXPECT_EQ(choice.path, (fs::canonical(dir_) / c.expected).string());
    }
    EXPECT_EQ(choice.passedOver, c.passedOver);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ChoiceTable,
    ::testing::Values(
        ChoiceCase{
            "Nothing", {"7118K.TXT", "a7118K0001.UPF", "7118J0001.UPF", "7118K0001.UP"}, "", 0},
        ChoiceCase{
            "OneAmongOthers", {"README", "7118k0001.upf", "7118J0001.UPF"}, "7118k0001.upf", 0},
        // Created largest first: a folder listed newest first would offer the smallest last.
        ChoiceCase{"MixedCaseNewestLast",
                   {"7118k0500.upf", "7118K0900.UPF", "7118K0010.UPF"},
                   "7118K0010.UPF",
                   2},
        ChoiceCase{"MixedCaseNewestFirst",
                   {"7118K0010.upf", "7118k0500.UPF", "7118K0900.Upf"},
                   "7118K0010.upf",
                   2},
        // A lower-case letter sorts with its capital, not after every capital as bytes would.
        ChoiceCase{"LettersWithoutRegardToCase",
                   {"7118KB.UPF", "7118kC.UPF", "7118ka.upf"},
                   "7118ka.upf",
                   2},
        // The same name in two spellings: the one with the capitals, whichever came first.
        ChoiceCase{"SameNameTwoSpellings", {"7118k0001.upf", "7118K0001.UPF"}, "7118K0001.UPF", 1},
        ChoiceCase{"ShorterNameFirst", {"7118K00010.UPF", "7118K0001.UPF"}, "7118K0001.UPF", 1}),
    [](const ::testing::TestParamInfo<ChoiceCase>& p) { return std::string(p.param.name); });

// Many names created in a shuffled order, twice over in different folders: the same file each time.
TEST_F(ChooseDataFileTest, ManyNamesGiveTheSameFileWhateverTheirCreationOrder) {
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        std::string digits = std::to_string(1000 + (i * 37) % 60);
        names.push_back((i % 2 ? "7118k" : "7118K") + digits + (i % 3 ? ".UPF" : ".upf"));
    }
    Create(names);
    const std::string expected = (fs::canonical(dir_) / "7118K1000.upf").string();
    EXPECT_EQ(ChooseDataFile(dir_.string()).path, expected);
    EXPECT_EQ(ChooseDataFile(dir_.string()).passedOver, names.size() - 1);

    fs::path second = dir_ / "again";
    fs::create_directory(second);
    std::reverse(names.begin(), names.end());
    for (const std::string& name : names) std::ofstream(second / name) << name;
    EXPECT_EQ(fs::path(ChooseDataFile(second.string()).path).filename(), "7118K1000.upf");
}

TEST_F(ChooseDataFileTest, AFolderThatCannotBeListedGivesNothing) {
    const DataFileChoice choice = ChooseDataFile((dir_ / "missing").string());
    EXPECT_EQ(choice.path, "");
    EXPECT_EQ(choice.passedOver, 0u);
}

}  // namespace
