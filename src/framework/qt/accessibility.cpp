#include "framework/accessibility.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QLabel>

#include "framework/controls.h"

namespace fw {
namespace {

constexpr char kPercentProperty[] = "qelpupd_percentage";

// A label whose text is a percentage: named by its text like any label, with the number as its
// value from 0 to 100.
class PercentageText : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit PercentageText(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name || type == QAccessible::Value) return Shown();
        return QAccessibleWidget::text(type);
    }

    QVariant currentValue() const override {
        QString digits = Shown();
        digits.remove(QLatin1Char('%'));
        return digits.trimmed().toInt();
    }
    void setCurrentValue(const QVariant&) override {}  // shown, not set by the operator
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

  private:
    QString Shown() const { return static_cast<QLabel*>(widget())->text().trimmed(); }
};

QAccessibleInterface* Interfaces(const QString&, QObject* object) {
    if (auto* label = qobject_cast<QLabel*>(object);
        label && label->property(kPercentProperty).toBool())
        return new PercentageText(label);
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(Interfaces);
}

void ExposePercentage(Control& text) {
    QWidget* label = text.Widget();
    if (!label) return;
    label->setProperty(kPercentProperty, true);
    // An interface made before the mark (while the label was built) gives way to the marked one.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(label))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void AnnouncePercentage(Control& text, int percent) {
    if (!text.Widget()) return;
    QAccessibleValueChangeEvent event(text.Widget(), percent);
    QAccessible::updateAccessibility(&event);
}

}  // namespace fw
