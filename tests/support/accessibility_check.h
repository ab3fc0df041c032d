#pragma once
// What a screen reader hears from a window, read through Qt's accessibility interfaces.

#include <QAccessible>
#include <QLabel>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

namespace kovrin::test {

// The name a screen reader announces for a control.
inline QString HeardName(QObject* control)
{
    QAccessible::setActive(true);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
    return a ? a->text(QAccessible::Name) : QString();
}

inline QString HeardDescription(QObject* control)
{
    QAccessible::setActive(true);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
    return a ? a->text(QAccessible::Description) : QString();
}

namespace detail {

// Names from the code ("Label59", "lblCVersion") say nothing to a listener.
inline bool InternalName(const QString& name, const QObject* o)
{
    static const QRegularExpression codeName(
        "^(Label|lbl|txt|Text|cmd|chk|lst|List|frm|Frame|Line|mnu|tmr|Timer|Image|Command)[A-Za-z0-9_]*$");
    return (o && !o->objectName().isEmpty() && name == o->objectName()) || codeName.match(name).hasMatch();
}

inline void Walk(QAccessibleInterface* a, const QString& path, QStringList& problems)
{
    if (!a || !a->isValid())
        return;
    QObject* o = a->object();
    const QAccessible::Role role = a->role();
    const QString name = a->text(QAccessible::Name);
    const QString where =
        path + "/" + (o ? (o->objectName().isEmpty() ? QString(o->metaObject()->className()) : o->objectName())
                        : QString("item"));
    const auto problem = [&](const QString& what) { problems << where + ": " + what + " (heard \"" + name + "\")"; };

    // The pop-up list of a drop-down is Qt's own; its entries are named by their texts.
    if (role == QAccessible::List && a->parent() && a->parent()->role() == QAccessible::ComboBox)
        return;

    if (auto* label = qobject_cast<QLabel*>(o)) {
        if (!label->pixmap().isNull()) {
            if (name.isEmpty() || InternalName(name, o))
                problem("a picture says what it shows");
        } else if (!label->text().isEmpty()) {
            if (name != QString(label->text()).remove('&'))
                problem("a label is heard as the text it shows, \"" + label->text() + "\"");
        } else if (!name.isEmpty()) {
            // Its caption or a code name would be read out as the value it does not show.
            problem("a label that shows nothing is heard as nothing");
        }
    } else if (o && o->isWidgetType() && static_cast<QWidget*>(o)->isWindow()) {
        if (name != static_cast<QWidget*>(o)->windowTitle())
            problem("a window is heard by its title");
    } else {
        // Containers that only hold others, and plain lines and corners, need no name of their own.
        const bool container = role == QAccessible::Client || role == QAccessible::MenuBar ||
                               role == QAccessible::PopupMenu || role == QAccessible::Separator ||
                               (role == QAccessible::Border && a->childCount() == 0);
        if (!container && name.isEmpty())
            problem("a control has a name");
        if (!name.isEmpty() && InternalName(name, o))
            problem("a control has no code name");
    }
    for (int i = 0; i < a->childCount(); ++i)
        Walk(a->child(i), where, problems);
}

}  // namespace detail

// Walks the accessibility tree under `root`, hidden controls included: every control has a meaningful
// name, every label is heard as the text it shows, a window as its title. One line per fault.
inline QStringList AccessibilityProblems(QObject* root)
{
    QAccessible::setActive(true);
    QStringList problems;
    detail::Walk(QAccessible::queryAccessibleInterface(root), QString(), problems);
    return problems;
}

}  // namespace kovrin::test
