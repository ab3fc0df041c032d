#include "app/mainwindow/form_audit.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/config/eeprom_record.h"
#include "app/widgets/value_label.h"

namespace kovrin {

namespace {

// Box member, its object name and its label's caption, in display order.
struct AuditBoxRow {
    QLineEdit* FormAudit::*box;
    const char* name;
    const char* caption;
};

const AuditBoxRow AuditBoxRows[] = {
    {&FormAudit::txtPreEscrows, "txtPreEscrows", "PRE-ESCROWS"},
    {&FormAudit::txtJams, "txtJams", "JAMS"},
    {&FormAudit::txtReturns, "txtReturns", "RETURNED"},
    {&FormAudit::txtTimestamp, "txtTimestamp", "TIMESTAMP"},
    {&FormAudit::txtPowerUp, "txtPowerUp", "POWER UP"},
    {&FormAudit::txtCheats, "txtCheats", "CHEATS"},
    {&FormAudit::txtRejects, "txtRejects", "REJECTED"},
    {&FormAudit::txtStacked, "txtStacked", "STACKED"},
    {&FormAudit::txtMotStarts, "txtMotStarts", "MOTOR STARTS"},
};
constexpr int RowsInFirstColumn = 4;

}  // namespace

FormAudit::FormAudit(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("FormAudit");
    setWindowTitle("Audit Data");
    setAccessibleName("Audit Data");
    setFont(QFont("Tahoma"));
    // The main window's closing ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    lblAuditNote = new QLabel(this);
    lblAuditNote->setObjectName("lblAuditNote");
    MakeValueLabel(lblAuditNote, "Audit note");
    lblAuditNote->setWordWrap(true);
    lblAuditNote->hide();

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    int index = 0;
    for (const AuditBoxRow& row : AuditBoxRows) {
        auto* box = new QLineEdit(this);
        box->setObjectName(row.name);
        box->setAccessibleName(row.caption);
        box->setReadOnly(true);
        box->setMinimumWidth(140);
        auto* label = new QLabel(row.caption, this);
        label->setObjectName(QString("lbl") + (row.name + 3));
        label->setAccessibleName(row.caption);
        label->setBuddy(box);
        this->*row.box = box;
        const int column = index < RowsInFirstColumn ? 0 : 2;
        const int line = index < RowsInFirstColumn ? index : index - RowsInFirstColumn;
        grid->addWidget(label, line, column);
        grid->addWidget(box, line, column + 1);
        ++index;
    }

    OKButton = new QPushButton("Change", this);
    OKButton->setObjectName("OKButton");
    OKButton->setAccessibleName("Change");
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setAccessibleName("Cancel");
    connect(CancelButton, &QPushButton::clicked, this, &FormAudit::CancelButton_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* all = new QVBoxLayout(this);
    all->addWidget(lblAuditNote);
    all->addLayout(grid);
    all->addLayout(buttons);
}

FormAudit& FormAudit::Default()
{
    static QPointer<FormAudit> instance;
    if (!instance) {
        instance = new FormAudit;
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, instance.data(), &QObject::deleteLater);
    }
    return *instance;
}

void FormAudit::ShowAudit(const ProgramState& state, const std::string& FirmwareVersionText)
{
    if (!loaded_)
        Form_Load(state, FirmwareVersionText);
    show();
    raise();
    activateWindow();
}

void FormAudit::FillFromReply(const Bytes& frame, const ProgramState& state, const std::string& FirmwareVersionText)
{
    if (!loaded_)
        Form_Load(state, FirmwareVersionText);
    if (const auto texts = AuditTextsFromReply(frame, FirmwareVersionText, locale()))
        SetBoxTexts(*texts);
}

void FormAudit::Form_Load(const ProgramState& state, const std::string& FirmwareVersionText)
{
    const AuditLoadTexts load = AuditTextsOnLoad(state.AcceptorVariant, state.ConfigSource, state.CurrentRecord,
                                                 FirmwareVersionText, locale());
    SetBoxTexts(load.boxes);
    SetNote(load.note);
    loaded_ = true;
}

void FormAudit::Unload()
{
    hide();
    SetBoxTexts({});
    SetNote({});
    loaded_ = false;
}

AuditBoxTexts FormAudit::BoxTexts() const
{
    AuditBoxTexts t;
    t.txtPreEscrows = txtPreEscrows->text();
    t.txtJams = txtJams->text();
    t.txtReturns = txtReturns->text();
    t.txtTimestamp = txtTimestamp->text();
    t.txtPowerUp = txtPowerUp->text();
    t.txtCheats = txtCheats->text();
    t.txtRejects = txtRejects->text();
    t.txtStacked = txtStacked->text();
    t.txtMotStarts = txtMotStarts->text();
    return t;
}

void FormAudit::SetBoxTexts(const AuditBoxTexts& t)
{
    txtPreEscrows->setText(t.txtPreEscrows);
    txtJams->setText(t.txtJams);
    txtReturns->setText(t.txtReturns);
    txtTimestamp->setText(t.txtTimestamp);
    txtPowerUp->setText(t.txtPowerUp);
    txtCheats->setText(t.txtCheats);
    txtRejects->setText(t.txtRejects);
    txtStacked->setText(t.txtStacked);
    txtMotStarts->setText(t.txtMotStarts);
}

void FormAudit::SetNote(const QString& note)
{
    lblAuditNote->setText(note);
    lblAuditNote->setVisible(!note.isEmpty());
}

void FormAudit::CancelButton_Click()
{
    Unload();
}

void FormAudit::Form_Deactivate()
{
    hide();
}

void FormAudit::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Hidden when another window of the program takes over, not when the user
    // switches to another program.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        QWidget* now = QApplication::activeWindow();
        if (now && now != this)
            Form_Deactivate();
    }
}

}  // namespace kovrin
