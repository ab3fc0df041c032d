#include "app/widgets/value_label.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace kovrin {

namespace {

constexpr const char* ValueLabelProperty = "kovrinValueLabel";

// Qt's own label names an empty label by its buddy caption or its group box,
// which a listener takes for the value.
class ValueLabelAccessible : public QAccessibleWidget {
public:
    explicit ValueLabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        const auto* label = static_cast<const QLabel*>(widget());
        return label->accessibleName().isEmpty() ? label->text() : label->accessibleName();
    }
};

QAccessibleInterface* ValueLabelFactory(const QString& key, QObject* object)
{
    if (key == QLatin1String("QLabel") && object && object->property(ValueLabelProperty).toBool())
        return new ValueLabelAccessible(static_cast<QLabel*>(object));
    return nullptr;
}

}  // namespace

void MakeValueLabel(QLabel* label, const QString& caption)
{
    static const bool installed = [] {
        QAccessible::installFactory(&ValueLabelFactory);
        return true;
    }();
    (void)installed;
    label->setProperty(ValueLabelProperty, true);
    label->setAccessibleDescription(caption);
}

}  // namespace kovrin
