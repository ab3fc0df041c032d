#pragma once
// A label that shows a value beside its caption. A screen reader hears the
// value it shows, and nothing while it shows nothing; the caption is its
// description, and the caption label stays its buddy.

#include <QLabel>

namespace kovrin {

// Makes `label` heard this way; call before anything asks for its accessible
// interface.
void MakeValueLabel(QLabel* label, const QString& caption);

}  // namespace kovrin
