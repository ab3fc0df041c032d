#pragma once
// Every message box goes through here, so tests can read and answer them.

#include <QString>
#include <functional>

class QWidget;

namespace kovrin {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgResult { Ok, Cancel, Yes, No };

struct MessageRequest {
    QString text;
    QString title;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
};

// The program's title, the default title of its messages.
inline const char* ProgramTitle = "Kovrin";

MsgResult MsgBox(QWidget* parent, const QString& text, MsgButtons buttons = MsgButtons::Ok,
                 MsgIcon icon = MsgIcon::None, const QString& title = ProgramTitle);

// Replaces the message box with `handler` (nullptr restores it).
void SetMessageHandler(std::function<MsgResult(const MessageRequest&)> handler);

}  // namespace kovrin
