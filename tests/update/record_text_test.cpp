// The record's pure pieces: SHA-256 against published and computed vectors, fed whole and in
// pieces that cross the 64-byte blocks; JSON strings for every kind of byte a device line or a file
// name can hold.

#include <gtest/gtest.h>

#include <string>

#include "update/json_text.h"
#include "update/sha256.h"

namespace {

std::string HexOf(const std::string& bytes, std::size_t piece) {
    Sha256 hash;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        hash.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
    return Sha256::Hex(hash.Finish());
}

// Bytes 0, 1, 2, ... modulo 251, so no two blocks are alike.
std::string Counting(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

struct HashCase {
    std::string input;
    const char* digest;
};

TEST(Sha256Test, KnownDigestsWholeAndInPieces) {
    const HashCase cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Around the padding's boundaries: the length must move to a block of its own at 56.
        {Counting(55), "463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59"},
        {Counting(56), "da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562"},
        {Counting(63), "29af2686fd53374a36b0846694cc342177e428d1647515f078784d69cdb9e488"},
        {Counting(64), "fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108"},
        {Counting(65), "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781"},
        {Counting(119), "da18797ed7c3a777f0847f429724a2d8cd5138e6ed2895c3fa1a6d39d18f7ec6"},
        {Counting(120), "f52b23db1fbb6ded89ef42a23ce0c8922c45f25c50b568a93bf1c075420bbb7c"},
    };
    for (const HashCase& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64},
                                  std::size_t{1000}, c.input.size() + 1}) {
            EXPECT_EQ(HexOf(c.input, piece), c.digest)
                << c.input.size() << " bytes in pieces of " << piece;
        }
    }
}

struct JsonCase {
    const char* name;
    std::string text;
    std::string json;
};

TEST(JsonTextTest, EscapesWhatWouldBreakTheLine) {
    const JsonCase cases[] = {
        {"plain", "Versionup succeed", R"("Versionup succeed")"},
        {"empty", "", R"("")"},
        {"quote and backslash", R"(say "C:\x")", R"("say \"C:\\x\"")"},
        {"line ends and tab", "a\nb\rc\td", R"("a\nb\rc\td")"},
        {"other controls", std::string("\x01\x08\x0c\x1b\x1f\x7f", 6),
         R"("\u0001\b\f\u001b\u001f\u007f")"},
        {"NUL", std::string("a\0b", 3), R"("a\u0000b")"},
        {"valid UTF-8 stays", "通信ポート é", "\"通信ポート é\""},
        {"stray continuation byte", "a\x80z", R"("a\ufffdz")"},
        {"truncated sequence", "a\xe3\x81", R"("a\ufffd\ufffd")"},
        {"overlong form", "\xc0\xaf", R"("\ufffd\ufffd")"},
        {"surrogate", "\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},
    };
    for (const JsonCase& c : cases) {
        std::string out = "x";
        AppendJsonString(out, c.text);
        EXPECT_EQ(out, "x" + c.json) << c.name;
    }
}

}  // namespace
