// The dialog template as the Windows dialog manager reads it, built from the program's own
// templates: where each field lands, in the order and alignment the system requires. Plain bytes,
// so this runs on every system.

#include "framework/win32/dialog_template_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/win_types.h"

namespace {

using fw::win32::BuildDialogTemplate;

constexpr fw::ControlTemplate kControls[] = {
    {fw::IDOK, fw::ControlKind::kPushButton, "OK", 68, 44, 50, 14,
     fw::BS_DEFPUSHBUTTON | fw::WS_TABSTOP},
    {fw::kNoControlId, fw::ControlKind::kIcon, "", 11, 17, 20, 20, 0, 128},
    {1003, fw::ControlKind::kProgressBar, "", 15, 34, 154, 13, fw::WS_BORDER},
};
constexpr fw::DialogTemplate kTemplate{
    129,
    "ポート",
    188,
    65,
    "ＭＳ Ｐゴシック",
    12,
    fw::WS_POPUP | fw::WS_CAPTION | fw::WS_SYSMENU | fw::DS_MODALFRAME,
    fw::WS_EX_APPWINDOW,
    kControls};

// Reads the template back as the dialog manager does.
class Reader {
  public:
    explicit Reader(const std::vector<std::uint16_t>& words) : words_(words) {}
    std::uint16_t Word() { return words_.at(at_++); }
    std::uint32_t Dword() {
        const std::uint32_t low = Word();
        return low | std::uint32_t{Word()} << 16;
    }
    std::int16_t Short() { return static_cast<std::int16_t>(Word()); }
    std::u16string Text() {
        std::u16string text;
        for (std::uint16_t w = Word(); w != 0; w = Word()) text.push_back(static_cast<char16_t>(w));
        return text;
    }
    void AlignToDword() {
        if (at_ % 2 != 0) {
            EXPECT_EQ(Word(), 0);
        }
    }
    bool AtEnd() const { return at_ == words_.size(); }

  private:
    const std::vector<std::uint16_t>& words_;
    std::size_t at_ = 0;
};

TEST(DialogTemplateBytes, CarryTheTemplateAsTheDialogManagerReadsIt) {
    const std::vector<std::uint16_t> bytes =
        BuildDialogTemplate(kTemplate, u"ＭＳ Ｐゴシック", 0x80);
    Reader in(bytes);
    EXPECT_EQ(in.Word(), 1);       // dlgVer
    EXPECT_EQ(in.Word(), 0xFFFF);  // the extended template
    EXPECT_EQ(in.Dword(), 0u);
    EXPECT_EQ(in.Dword(), fw::WS_EX_APPWINDOW);
    EXPECT_EQ(in.Dword(), kTemplate.style | 0x40);  // DS_SETFONT
    EXPECT_EQ(in.Word(), 3);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 188);
    EXPECT_EQ(in.Short(), 65);
    EXPECT_EQ(in.Word(), 0);  // no menu
    EXPECT_EQ(in.Word(), 0);  // the dialog class
    EXPECT_EQ(in.Text(), u"ポート");
    EXPECT_EQ(in.Word(), 12);      // points
    EXPECT_EQ(in.Word(), 400);     // weight
    EXPECT_EQ(in.Word(), 0x8000);  // not italic; Shift JIS
    EXPECT_EQ(in.Text(), u"ＭＳ Ｐゴシック");

    struct Item {
        std::uint32_t style;
        int x, y, cx, cy;
        std::uint32_t id;
        std::u16string classText;  // empty: by ordinal
        std::uint16_t classOrdinal;
        std::u16string title;
        std::uint16_t titleOrdinal;  // 0: by text
    };
    const Item expected[] = {
        {0x50000000 | fw::BS_DEFPUSHBUTTON | fw::WS_TABSTOP, 68, 44, 50, 14, 1, u"", 0x0080, u"OK",
         0},
        {0x50000003, 11, 17, 20, 20, 0xFFFFFFFF, u"", 0x0082, u"", 128},  // SS_ICON, icon 128
        {0x50000000 | fw::WS_BORDER, 15, 34, 154, 13, 1003, u"msctls_progress32", 0, u"", 0},
    };
    for (const Item& item : expected) {
        SCOPED_TRACE(item.id);
        in.AlignToDword();
        EXPECT_EQ(in.Dword(), 0u);  // helpID
        EXPECT_EQ(in.Dword(), 0u);  // exStyle
        EXPECT_EQ(in.Dword(), item.style);
        EXPECT_EQ(in.Short(), item.x);
        EXPECT_EQ(in.Short(), item.y);
        EXPECT_EQ(in.Short(), item.cx);
        EXPECT_EQ(in.Short(), item.cy);
        EXPECT_EQ(in.Dword(), item.id);
        if (item.classText.empty()) {
            EXPECT_EQ(in.Word(), 0xFFFF);
            EXPECT_EQ(in.Word(), item.classOrdinal);
        } else {
            EXPECT_EQ(in.Text(), item.classText);
        }
        if (item.titleOrdinal != 0) {
            EXPECT_EQ(in.Word(), 0xFFFF);
            EXPECT_EQ(in.Word(), item.titleOrdinal);
        } else {
            EXPECT_EQ(in.Text(), item.title);
        }
        EXPECT_EQ(in.Word(), 0);  // no creation data
    }
    EXPECT_TRUE(in.AtEnd());
}

}  // namespace
