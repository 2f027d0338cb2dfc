#include "framework/qt/dialog_font.h"

#include <QFontMetrics>
#include <QStringList>

namespace fw {
namespace {

// Family names as templates write them, and what renders them here, best first.
void InstallSubstitutions() {
    static const bool installed = [] {
        const QStringList japaneseGothic{"IPAPGothic", "VL PGothic", "Noto Sans CJK JP",
                                         "IPAGothic"};
        QFont::insertSubstitutions(QString::fromUtf8("ＭＳ Ｐゴシック"), japaneseGothic);
        QFont::insertSubstitutions(QStringLiteral("MS PGothic"), japaneseGothic);
        QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"), japaneseGothic);
        return true;
    }();
    (void)installed;
}

}  // namespace

QFont TemplateFont(const char* face, int pointSize) {
    InstallSubstitutions();
    QFont font(QString::fromUtf8(face));
    font.setPointSize(pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogUnits MeasureDialogUnits(const QFont& font) {
    // The average width of the Latin letters, rounded: the measure the templates were laid out in.
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    QFontMetrics metrics(font);
    int width = metrics.horizontalAdvance(alphabet);
    DialogUnits units;
    units.baseX = (width / 26 + 1) / 2;
    units.baseY = metrics.height();
    return units;
}

}  // namespace fw
