// Every dialog template, built as the program builds it: each text fits its control in the Japanese
// interface font, so nothing is clipped.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QRadioButton>
#include <string>

#include "dialogs/transfer_progress_dlg.h"
#include "framework/dialog.h"
#include "res/resource.h"
#include "res/tables.h"

namespace {

class Templates : public testing::TestWithParam<fw::DialogTemplate> {};

TEST_P(Templates, TextsFitTheirControls) {
    const fw::DialogTemplate& t = GetParam();
    fw::Dialog dlg(t.id);
    ASSERT_TRUE(dlg.Create(nullptr));
    for (const fw::ControlTemplate& c : t.controls) {
        if (!c.text || !*c.text || c.id == fw::kNoControlId) continue;
        QWidget* w = dlg.GetDlgItem(c.id)->Widget();
        QFontMetrics metrics(w->font());
        int textWidth = metrics.horizontalAdvance(QString::fromUtf8(c.text));
        if (qobject_cast<QRadioButton*>(w))
            EXPECT_LE(w->sizeHint().width(), w->width()) << c.text;
        else
            EXPECT_LT(textWidth, w->width()) << c.text;
        EXPECT_LE(metrics.height(), w->height()) << c.text;
    }
    // Every label, with an id or without: a line of text, as wide as the label needs.
    for (QLabel* label : dlg.Widget()->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        EXPECT_LE(label->fontMetrics().height(), label->height()) << label->text().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(All, Templates, testing::ValuesIn(res::DialogTemplates()),
                         [](const testing::TestParamInfo<fw::DialogTemplate>& p) {
                             return "Template" + std::to_string(p.param.id);
                         });

TEST(TransferProgressTemplate, WidestPercentageAndStatusFit) {
    CTransferProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    for (const char* text : {"100%", "88%"}) {
        dlg.SetDlgItemText(IDC_TRANSFER_PERCENT, text);
        QWidget* w = dlg.GetDlgItem(IDC_TRANSFER_PERCENT)->Widget();
        EXPECT_LE(w->sizeHint().width(), w->width()) << text;
    }
    dlg.SetStatusText("ファイルを転送中...");
    QWidget* status = dlg.GetDlgItem(IDC_TRANSFER_STATUS)->Widget();
    EXPECT_LE(status->sizeHint().width(), status->width());
}

}  // namespace
