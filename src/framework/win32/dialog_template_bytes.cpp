#include "framework/win32/dialog_template_bytes.h"

#include "serial/utf16.h"

namespace fw::win32 {
namespace {

// The system's numbers, as windows.h gives them.
constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::uint32_t kWsVisible = 0x10000000;
constexpr std::uint32_t kDsSetFont = 0x00000040;
constexpr std::uint32_t kSsIcon = 0x00000003;
constexpr std::uint16_t kFwNormal = 400;
constexpr std::uint16_t kButtonClass = 0x0080;
constexpr std::uint16_t kEditClass = 0x0081;
constexpr std::uint16_t kStaticClass = 0x0082;
constexpr std::u16string_view kProgressClass = u"msctls_progress32";

class Words {
  public:
    void Word(std::uint16_t w) { words_.push_back(w); }
    void Dword(std::uint32_t d) {
        Word(static_cast<std::uint16_t>(d & 0xFFFF));
        Word(static_cast<std::uint16_t>(d >> 16));
    }
    void Short(int s) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(s))); }
    void Text(std::u16string_view text) {
        for (char16_t c : text) Word(static_cast<std::uint16_t>(c));
        Word(0);
    }
    void Ordinal(std::uint16_t value) {
        Word(0xFFFF);
        Word(value);
    }
    // Items start on a DWORD boundary, counted from the template's start.
    void AlignToDword() {
        if (words_.size() % 2 != 0) Word(0);
    }
    std::vector<std::uint16_t> Take() { return std::move(words_); }

  private:
    std::vector<std::uint16_t> words_;
};

void ClassOf(const ControlTemplate& control, Words& out) {
    switch (control.kind) {
        case ControlKind::kPushButton:
        case ControlKind::kRadioButton:
            out.Ordinal(kButtonClass);
            return;
        case ControlKind::kEdit:
            out.Ordinal(kEditClass);
            return;
        case ControlKind::kStaticText:
        case ControlKind::kIcon:
            out.Ordinal(kStaticClass);
            return;
        case ControlKind::kProgressBar:
            out.Text(kProgressClass);
            return;
    }
}

}  // namespace

std::uint32_t DialogStyle(const DialogTemplate& tmpl) {
    return tmpl.style | kDsSetFont;
}

std::uint32_t ControlStyle(const ControlTemplate& control) {
    std::uint32_t style = control.style | kWsChild | kWsVisible;
    if (control.kind == ControlKind::kIcon) style |= kSsIcon;
    return style;
}

std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& tmpl,
                                               std::u16string_view fontFace, std::uint8_t charset) {
    Words out;
    out.Word(1);       // dlgVer
    out.Word(0xFFFF);  // signature: the extended template
    out.Dword(0);      // helpID
    out.Dword(tmpl.exStyle);
    out.Dword(DialogStyle(tmpl));
    out.Word(static_cast<std::uint16_t>(tmpl.controls.size()));
    out.Short(0);
    out.Short(0);
    out.Short(tmpl.cx);
    out.Short(tmpl.cy);
    out.Word(0);  // no menu
    out.Word(0);  // the system's dialog class
    out.Text(ToUtf16(tmpl.caption ? tmpl.caption : ""));
    out.Word(static_cast<std::uint16_t>(tmpl.fontPointSize));
    out.Word(kFwNormal);
    out.Word(static_cast<std::uint16_t>(charset) << 8);  // italic 0, then the character set
    out.Text(fontFace);
    for (const ControlTemplate& control : tmpl.controls) {
        out.AlignToDword();
        out.Dword(0);  // helpID
        out.Dword(0);  // exStyle
        out.Dword(ControlStyle(control));
        out.Short(control.x);
        out.Short(control.y);
        out.Short(control.cx);
        out.Short(control.cy);
        out.Dword(static_cast<std::uint32_t>(control.id));
        ClassOf(control, out);
        if (control.kind == ControlKind::kIcon)
            out.Ordinal(static_cast<std::uint16_t>(control.iconId));
        else
            out.Text(ToUtf16(control.text ? control.text : ""));
        out.Word(0);  // no creation data
    }
    return out.Take();
}

}  // namespace fw::win32
