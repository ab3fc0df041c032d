#include "message_seam.h"

#include <QApplication>
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

}  // namespace kovrin
