#include "app/widgets/message_seam.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>
#include <QMessageBox>

namespace kovrin {

namespace {

std::function<MsgResult(const MessageRequest&)>& Handler()
{
    static std::function<MsgResult(const MessageRequest&)> handler;
    return handler;
}

MsgResult ShowMessageBox(QWidget* parent, const MessageRequest& m)
{
    QMessageBox box(parent);
    box.setWindowTitle(m.title);
    box.setText(m.text);
    box.setAccessibleName(m.title);
    switch (m.icon) {
    case MsgIcon::None:
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (m.buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    default:
        return MsgResult::Ok;
    }
}

}  // namespace

MsgResult MsgBox(QWidget* parent, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title)
{
    const MessageRequest request{text, title, buttons, icon};
    if (Handler())
        return Handler()(request);
    return ShowMessageBox(parent, request);
}

void SetMessageHandler(std::function<MsgResult(const MessageRequest&)> handler)
{
    Handler() = std::move(handler);
}

namespace {

std::function<std::optional<QString>(const FileDialogRequest&)>& DialogHandler()
{
    static std::function<std::optional<QString>(const FileDialogRequest&)> handler;
    return handler;
}

// "Text (*.a)|*.a|All (*.*)|*.*" as the Qt dialog wants it: "Text (*.a);;All (*.*)".
QString QtFilter(const QString& filter)
{
    const QStringList parts = filter.split('|');
    QStringList names;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        names << parts[i];
    return names.join(";;");
}

}  // namespace

std::optional<QString> FileDialog(QWidget* parent, const FileDialogRequest& request)
{
    if (DialogHandler())
        return DialogHandler()(request);
    QFileDialog dialog(parent, request.title, request.folder, QtFilter(request.filter));
    dialog.setAccessibleName(request.title);
    dialog.setAcceptMode(request.kind == FileDialogKind::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.kind == FileDialogKind::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void SetFileDialogHandler(std::function<std::optional<QString>(const FileDialogRequest&)> handler)
{
    DialogHandler() = std::move(handler);
}

}  // namespace kovrin
