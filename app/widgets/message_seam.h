#pragma once
// Every message box goes through here, so tests can read and answer them.

#include <QString>
#include <functional>
#include <optional>

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

enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    QString title;
    QString filter;    // "Tyx Config File (*.tyx)|*.tyx|All files (*.*)|*.*"
    QString folder;    // preset folder
    QString fileName;  // preset file name
    bool confirmOverwrite = false;  // save: ask before replacing a file
};

// The chosen path (possibly empty text), or nothing when the dialog was cancelled.
std::optional<QString> FileDialog(QWidget* parent, const FileDialogRequest& request);

// Replaces the file dialogs with `handler` (nullptr restores them).
void SetFileDialogHandler(std::function<std::optional<QString>(const FileDialogRequest&)> handler);

}  // namespace kovrin
