#include "app/mainwindow/form_about.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/version.h"
#include "app/widgets/message_seam.h"
#include "app/widgets/pictures.h"

namespace kovrin {

namespace {

constexpr const char* ProductDescription = "Programming and configuration of Tyx bill acceptors";
constexpr const char* RightsNotice = "Copyright \u00A9 Kovrin developers";
constexpr const char* MakerAddress = "www.kovrin.example";

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAccessibleName(text);
    label->setWordWrap(true);
    return label;
}

QFrame* NewFrame(QWidget* parent, const char* name, const char* what)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setAccessibleName(what);
    frame->setFrameShape(QFrame::StyledPanel);
    return frame;
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption, const char* what)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAccessibleName(what);
    return button;
}

}  // namespace

FormAbout::FormAbout(QWidget* parent, SystemInfoTool tool) : QDialog(parent), tool_(std::move(tool))
{
    setObjectName("FormAbout");
    setWindowTitle("About");
    setAccessibleName("About");

    Image1 = NewLabel(this, "Image1", QString());
    Image1->setAccessibleName("Program picture");
    Image1->setPixmap(ProgramIcon().pixmap(64, 64));
    Image1->setFixedSize(72, 72);
    Image1->setAlignment(Qt::AlignCenter);

    Frame1 = NewFrame(this, "Frame1", "Program");
    Label1 = NewLabel(Frame1, "Label1", QString());
    QFont large = Label1->font();
    large.setPointSizeF(large.pointSizeF() * 1.8);
    large.setBold(true);
    Label1->setFont(large);
    Label3 = NewLabel(Frame1, "Label3", QString());
    auto* f1 = new QVBoxLayout(Frame1);
    f1->addWidget(Label1);
    f1->addWidget(Label3);

    Frame2 = NewFrame(this, "Frame2", "Maker");
    Label5 = NewLabel(Frame2, "Label5", QString());
    Label4 = NewLabel(Frame2, "Label4", MakerAddress);
    Label4->setAccessibleDescription("Web address");
    auto* f2 = new QVBoxLayout(Frame2);
    f2->addWidget(Label5);
    f2->addWidget(Label4);

    cmdInfo = NewButton(this, "cmdInfo", "&System Info", "System Info");
    cmdExit = NewButton(this, "cmdExit", "&OK", "OK");
    cmdExit->setDefault(true);
    connect(cmdInfo, &QPushButton::clicked, this, &FormAbout::cmdInfo_Click);
    connect(cmdExit, &QPushButton::clicked, this, &FormAbout::cmdExit_Click);

    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(Frame1);
    texts->addWidget(Frame2);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdInfo);
    buttons->addWidget(cmdExit);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(buttons);
    setMinimumWidth(420);

    Form_Load();
}

QString FormAbout::NameAndVersion()
{
    return QString(ProgramTitle) + " " + KovrinVersion;
}

void FormAbout::Form_Load()
{
    Label5->setText(RightsNotice);
    Label5->setAccessibleName(RightsNotice);
    Label3->setText(ProductDescription);
    Label3->setAccessibleName(ProductDescription);
    Label1->setText(NameAndVersion());
    Label1->setAccessibleName(NameAndVersion());
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
}

FormAbout* FormAbout::ShowAbout(QWidget* parent, SystemInfoTool tool)
{
    static QPointer<FormAbout> open;
    if (!open) {
        open = new FormAbout(parent, std::move(tool));
        open->setAttribute(Qt::WA_DeleteOnClose);
        open->setModal(false);
    }
    open->show();
    open->raise();
    open->activateWindow();
    return open;
}

void FormAbout::cmdExit_Click()
{
    close();
}

void FormAbout::cmdInfo_Click()
{
    StartSysInfo(this, tool_);
}

}  // namespace kovrin
