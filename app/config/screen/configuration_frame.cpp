#include "app/config/screen/configuration_frame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/config/colours.h"
#include "app/config/eeprom_map.h"
#include "app/config/field_checks.h"
#include "app/settings/program_settings.h"
#include "app/widgets/colour_of.h"
#include "app/widgets/message_seam.h"
#include "app/widgets/pictures.h"
#include "app/widgets/value_label.h"

namespace kovrin {

namespace {

// Masked codes show "*" whatever the platform style would use.
class AsteriskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QLabel* NewLabel(QWidget* parent, const QString& text, const QRect& at)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(at);
    return l;
}

// A value label with its caption to the left. A screen reader hears the value the label shows, and
// nothing while it shows nothing; the caption describes it.
QLabel* CaptionedValue(QWidget* parent, const char* name, const QString& caption, int y)
{
    QLabel* c = NewLabel(parent, caption, QRect(14, y, 150, 24));
    c->setStyleSheet("color: #555;");
    auto* v = new QLabel(parent);
    v->setObjectName(name);
    v->setGeometry(170, y, 250, 24);
    c->setBuddy(v);
    MakeValueLabel(v, caption);
    v->setStyleSheet("font-weight: 600;");
    return v;
}

QLineEdit* NewField(QWidget* parent, const QString& name, const QString& accessible, const QRect& at)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessible);
    e->setGeometry(at);
    return e;
}

QCheckBox* NewCheck(QWidget* parent, const char* name, const QString& caption, const QRect& at)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    c->setAccessibleName(caption.trimmed());
    c->setGeometry(at);
    return c;
}

QGroupBox* NewGroup(QWidget* parent, const char* name, const QString& title, const QRect& at)
{
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(name);
    g->setAccessibleName(title);
    g->setGeometry(at);
    return g;
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption, const QRect& at)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAccessibleName(QString(caption).remove('&'));
    b->setGeometry(at);
    return b;
}

// The button's caption is the channel's state; a screen reader hears it with the channel.
QString SecurityButtonName(int index, bool high)
{
    return QString("Security of channel %1: %2").arg(index + 1).arg(high ? "H" : "L");
}

void SetText(QLineEdit* e, const std::string& text)
{
    const QString t = QString::fromStdString(text);
    if (e->text() != t)
        e->setText(t);
}

OptionListValue ListValue(const QComboBox* list, std::span<const OptionEntry> table)
{
    OptionListValue v;
    // The entries' texts live in the tables; find each by its text and code.
    for (int i = 0; i < list->count(); ++i) {
        const std::string text = list->itemText(i).toStdString();
        const int32_t code = list->itemData(i).toInt();
        for (const OptionEntry& e : table)
            if (text == e.text && code == e.code)
                v.entries.push_back(e);
    }
    v.selected = list->currentIndex();
    return v;
}

void FillList(QComboBox* list, std::span<const OptionEntry> table)
{
    for (const OptionEntry& e : table) {
        list->addItem(e.text);
        list->setItemData(list->count() - 1, e.code);
    }
}

}  // namespace

ConfigurationFrame::ConfigurationFrame(ConfigHost& host, ProgramState& state, QWidget* parent)
    : QFrame(parent), host_(host), state_(state)
{
    setObjectName("frmConfiguration");
    setAccessibleName("Configuration");
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    resize(DesignWidth, DesignHeight);
    BuildControls();
}

void ConfigurationFrame::BuildControls()
{
    BuildAcceptorGroup();
    BuildOptionLists();
    BuildSetupGroup();
    BuildOptionGroups();
    BuildChannelGroups();
    BuildButtons();
}

void ConfigurationFrame::BuildAcceptorGroup()
{
    QGroupBox* g = NewGroup(this, "frmAcceptor", "Note Acceptor", QRect(10, 10, 440, 275));
    lblCMachine = CaptionedValue(g, "lblCMachine", "Acceptor", 28);
    lblCSoftware = CaptionedValue(g, "lblCSoftware", "Software", 58);
    lblCVersion = CaptionedValue(g, "lblCVersion", "Version", 88);
    lblCSerial = CaptionedValue(g, "lblCSerial", "Serial number", 118);
    txtSerial = NewField(g, "txtSerial", "New serial number", QRect(170, 148, 250, 26));
    txtSerial->setToolTip("New serial number");
    txtSerial->setReadOnly(true);
    txtSerial->hide();  // the service user modes show it
    LabelEeSetupRevision = CaptionedValue(g, "LabelEeSetupRevision", "Setup revision", 184);
    LabelEeCalRevision = CaptionedValue(g, "LabelEeCalRevision", "Calibration revision", 214);
}

void ConfigurationFrame::BuildOptionLists()
{
    QGroupBox* g = NewGroup(this, "frmOptions", "Options", QRect(460, 10, 640, 275));
    const struct {
        QComboBox** list;
        const char* name;
        const char* label;
        const char* tip;
        int column, row;
    } lists[] = {
        {&lstInterface, "lstInterface", "Select Interface", "Set interface to Controller type.", 0, 0},
        {&lstEnable, "lstEnable", "Enable Logic", "Interface enable option.", 1, 0},
        {&lstPulse, "lstPulse", "Pulse per Unit", "Set # of pulse(s) per VMC requirement.", 0, 1},
        {&lstAlarmSignal, "lstAlarmSignal", "Alarm Signal",
         "Set Alarm Output Pin logic according to VMC requirement.", 1, 1},
        {&lstPullbackdetection, "lstPullbackdetection", "Optical Anti-Stringing (OAS)",
         "Adjust sensitivity of Optical Anti-Stringing (OAS) detection Sensor.", 0, 2},
        {&lstVent, "lstVent", "Vend Line Output", "", 1, 2},
    };
    for (const auto& l : lists) {
        const int x = 14 + l.column * 312, y = 26 + l.row * 66;
        NewLabel(g, l.label, QRect(x, y, 296, 20));
        auto* c = new QComboBox(g);
        c->setObjectName(l.name);
        c->setAccessibleName(l.label);
        c->setToolTip(l.tip);
        c->setPlaceholderText(PleaseSelect);
        c->setGeometry(x, y + 22, 296, 30);
        *l.list = c;
    }
    chkADU = NewCheck(g, "chkADU", "ADU-016xx Communication ", QRect(14, 228, 296, 26));

    connect(lstInterface, &QComboBox::currentIndexChanged, this, &ConfigurationFrame::lstInterface_Click);
}

void ConfigurationFrame::BuildSetupGroup()
{
    QGroupBox* g = NewGroup(this, "frmSetup", "Setup", QRect(1110, 10, 520, 275));
    const auto line = [&](int index, int y) {
        auto* f = new QFrame(g);
        f->setObjectName(QString("Line5_%1").arg(index));
        f->setFrameShape(QFrame::HLine);
        f->setFrameShadow(QFrame::Sunken);
        f->setGeometry(14, y, 492, 4);
        Line5[size_t(index)] = f;
    };
    Label4_2 = NewLabel(g, "MDB Setup", QRect(14, 24, 300, 22));
    Label4_2->setStyleSheet("font-weight: 700;");
    line(0, 46);
    NewLabel(g, "Scaling Factor", QRect(14, 56, 200, 24));
    txtScaling = NewField(g, "txtScaling", "Scaling Factor", QRect(330, 54, 120, 26));
    NewLabel(g, "Decimal Place", QRect(14, 86, 200, 24));
    txtDecimal = NewField(g, "txtDecimal", "Decimal Place", QRect(330, 84, 120, 26));
    line(4, 114);
    Label1_1 = NewLabel(g, "IDD or ISO Code", QRect(14, 122, 200, 24));
    txtMDBISO = NewField(g, "txtMDBISO", "IDD or ISO Code", QRect(330, 120, 120, 26));
    line(5, 150);
    line(1, 156);
    NewLabel(g, "ccTalk Setup", QRect(14, 164, 300, 22))->setStyleSheet("font-weight: 700;");
    line(2, 186);
    NewLabel(g, "Device Address (Default = 40)", QRect(14, 196, 300, 24));
    txtCCAddress = NewField(g, "txtCCAddress", "Device Address (Default = 40)", QRect(330, 194, 120, 26));
    line(3, 224);
    NewLabel(g, "Encryption Code (Default = 507913)", QRect(14, 234, 300, 24));
    txtCCEncry = NewField(g, "txtCCEncry", "Encryption Code (Default = 507913)", QRect(330, 232, 120, 26));
    auto* style = new AsteriskStyle;
    style->setParent(this);  // outlives the field, which is deleted with its group first
    txtCCEncry->setStyle(style);
    txtCCEncry->installEventFilter(this);
    connect(txtCCEncry, &QLineEdit::textChanged, this, &ConfigurationFrame::txtCCEncry_Change);
}

void ConfigurationFrame::BuildOptionGroups()
{
    frmPulse = NewGroup(this, "frmPulse", "Pulse Timing", QRect(10, 295, 440, 105));
    NewLabel(frmPulse, "High", QRect(14, 30, 60, 24));
    txtPulseON = NewField(frmPulse, "txtPulseON", "Pulse Timing High", QRect(80, 28, 90, 26));
    NewLabel(frmPulse, "Low", QRect(14, 64, 60, 24));
    txtPulseOFF = NewField(frmPulse, "txtPulseOFF", "Pulse Timing Low", QRect(80, 62, 90, 26));
    NewLabel(frmPulse, "msec   (1 to 255)", QRect(190, 46, 200, 24));

    frmEscrowTime = NewGroup(this, "frmEscrowTime", "Escrow Timeout", QRect(460, 295, 300, 105));
    NewLabel(frmEscrowTime, "Time", QRect(14, 46, 60, 24));
    txtEscrowTime = NewField(frmEscrowTime, "txtEscrowTime", "Escrow Timeout", QRect(80, 44, 90, 26));
    NewLabel(frmEscrowTime, "sec   (1 to 255)", QRect(180, 46, 110, 24));

    frmCCTalk = NewGroup(this, "frmCCTalk", "ccTalk Options", QRect(770, 295, 420, 105));
    chkNoteType = NewCheck(frmCCTalk, "chkNoteType", "Report every note type as type A", QRect(14, 30, 390, 26));
    chkCCTalk = NewCheck(frmCCTalk, "chkCCTalk", "ccTalk Encryption On", QRect(14, 64, 390, 26));
    connect(chkCCTalk, &QCheckBox::toggled, this, &ConfigurationFrame::chkCCTalk_Click);

    frmBillOpt = NewGroup(this, "frmBillOpt", "Bill Options", QRect(1200, 295, 430, 105));
    chkExit = NewCheck(frmBillOpt, "chkExit", "Disable acceptor when cashbox is full", QRect(14, 30, 400, 26));
    chkBill_Hold = NewCheck(frmBillOpt, "chkBill_Hold", "Hold Bill Enabled", QRect(14, 64, 400, 26));
}

void ConfigurationFrame::BuildChannelGroups()
{
    constexpr int first = 190, step = 59, width = 54, rowY = 28;
    const auto x = [&](int i) { return first + i * step; };

    QGroupBox* enables = NewGroup(this, "frmEnable", "Channel Enables", QRect(10, 410, 1620, 66));
    NewLabel(enables, "Check Boxes to Enable Bills", QRect(14, rowY, 170, 26));
    for (int i = 0; i < 24; ++i) {
        const QString caption = i < 9 ? QString("  %1").arg(i + 1) : QString::number(i + 1);
        chkEnDis[size_t(i)] = NewCheck(enables, "chkEnDis", caption, QRect(x(i), rowY, width, 26));
        chkEnDis[size_t(i)]->setObjectName(QString("chkEnDis_%1").arg(i));
        chkEnDis[size_t(i)]->setAccessibleName(QString("Enable channel %1").arg(i + 1));
    }

    Frame8 = NewGroup(this, "Frame8", "Channel Security", QRect(10, 482, 1620, 66));
    NewLabel(Frame8, "L / H", QRect(14, rowY, 170, 26));
    for (int i = 0; i < 24; ++i) {
        QPushButton* b = NewButton(Frame8, "cmdButtonSecurity", "L", QRect(x(i), rowY - 2, width, 30));
        b->setObjectName(QString("cmdButtonSecurity_%1").arg(i));
        b->setAccessibleName(SecurityButtonName(i, false));
        b->setToolTip("Click here to change channel security. L - High Acceptance ; H - High Security.");
        cmdButtonSecurity[size_t(i)] = b;
        connect(b, &QPushButton::clicked, this, [this, i] { cmdButtonSecurity_Click(i); });
    }

    const struct {
        QGroupBox** group;
        const char* name;
        const char* title;
        const char* label;
        QLineEdit** fields;
        int count;
        const char* fieldName;
        int y;
    } rows[] = {
        {&frmAdvance2, "frmAdvance2", "Advance 3", "Pulse Assignment", TextPulse.data(), 24, "TextPulse", 554},
        {&frmAdvance3, "frmAdvance3", "Advance 4", "Vend Channel Assignment", txtVend.data(), 24, "txtVend", 626},
        {&frmMDB, "frmMDB", "MDB Base Value", "MDB Base Value", TextMDB.data(), 16, "TextMDB", 698},
    };
    for (const auto& r : rows) {
        *r.group = NewGroup(this, r.name, r.title, QRect(10, r.y, 1620, 66));
        NewLabel(*r.group, r.label, QRect(14, rowY, 170, 26));
        for (int i = 0; i < r.count; ++i)
            r.fields[i] = NewField(*r.group, QString("%1_%2").arg(r.fieldName).arg(i),
                                   QString("%1, channel %2").arg(r.label).arg(i + 1), QRect(x(i), rowY, width, 26));
    }
}

void ConfigurationFrame::BuildButtons()
{
    LabelNaStatusMessage = new QLabel(this);
    LabelNaStatusMessage->setObjectName("LabelNaStatusMessage");
    MakeValueLabel(LabelNaStatusMessage, "Configuration status");
    LabelNaStatusMessage->setGeometry(10, 774, 1620, 36);
    LabelNaStatusMessage->setAutoFillBackground(true);
    LabelNaStatusMessage->setIndent(12);
    LabelNaStatusMessage->setStyleSheet("font-size: 14px; font-weight: 700;");
    {
        // A dark ground, so red, yellow and green texts all read well.
        QPalette p = LabelNaStatusMessage->palette();
        p.setColor(QPalette::Window, QColor(0x22, 0x28, 0x30));
        LabelNaStatusMessage->setPalette(p);
    }

    const struct {
        std::array<QPushButton*, VariantCount>* buttons;
        const char* name;
        const char* what;
        int image;
        int x;
        void (ConfigurationFrame::*signal)();
    } sets[] = {
        {&cmdRefresh, "cmdRefresh", "Read the configuration from the acceptor", 2, 10,
         &ConfigurationFrame::refreshClicked},
        {&cmdSend, "cmdSend", "Send the configuration to the acceptor", 1, 104, &ConfigurationFrame::sendClicked},
    };
    for (const auto& set : sets) {
        for (int v = 0; v < 10; ++v) {
            auto* b = new QPushButton(this);
            b->setObjectName(QString("%1_%2").arg(set.name).arg(v));
            b->setGeometry(set.x, 822, 84, 84);
            b->setIcon(ButtonPicture(set.image));
            b->setIconSize(QSize(56, 56));
            b->setAccessibleName(set.what);
            const std::string noLayout = NoLayoutText(v);
            b->setToolTip(noLayout.empty() ? QString(set.what)
                                           : QString("%1 (%2)").arg(set.what, QString::fromStdString(noLayout)));
            b->setVisible(v == 0);
            b->setEnabled(false);
            connect(b, &QPushButton::clicked, this, set.signal);
            (*set.buttons)[size_t(v)] = b;
        }
    }

    cmdDefault = NewButton(this, "cmdDefault", "Load &Defaults", QRect(220, 842, 190, 44));
    cmdDefault->setToolTip("Load the acceptor's factory values, or the application defaults");
    cmdLoad = NewButton(this, "cmdLoad", "&Load File", QRect(420, 842, 190, 44));
    cmdLoad->setToolTip("Load a configuration file");
    cmdSave = NewButton(this, "cmdSave", "&Save File", QRect(620, 842, 190, 44));
    cmdSave->setToolTip("Save the configuration to a file");
    cmdConfigClose = NewButton(this, "cmdConfigClose", "&Close", QRect(1440, 842, 190, 44));
    cmdConfigClose->setToolTip("Close the configuration screen");
    connect(cmdDefault, &QPushButton::clicked, this, &ConfigurationFrame::cmdDefault_Click);
    connect(cmdLoad, &QPushButton::clicked, this, &ConfigurationFrame::cmdLoad_Click);
    connect(cmdSave, &QPushButton::clicked, this, &ConfigurationFrame::cmdSave_Click);
    connect(cmdConfigClose, &QPushButton::clicked, this, &ConfigurationFrame::cmdConfigClose_Click);
}

// ---- lists and the screen's values

void ConfigurationFrame::InitConfigLists()
{
    {
        const QSignalBlocker quiet(lstInterface);
        for (QComboBox* l : {lstInterface, lstPulse, lstPullbackdetection, lstAlarmSignal, lstEnable, lstVent})
            l->clear();
        FillList(lstInterface, InterfaceOptions());
        FillList(lstEnable, EnableOptions());
        FillList(lstPulse, PulseOptions());
        FillList(lstAlarmSignal, AlarmSignalOptions());
        FillList(lstPullbackdetection, PullbackDetectionOptions());
        FillList(lstVent, VentOptions());
        for (QComboBox* l : {lstInterface, lstPulse, lstPullbackdetection, lstAlarmSignal, lstEnable, lstVent})
            l->setCurrentIndex(-1);
    }
    for (int i = 0; i < 24; ++i) {
        SetSecurityButton(i, false);
        const QSignalBlocker quiet(chkEnDis[size_t(i)]);
        chkEnDis[size_t(i)]->setChecked(false);
    }
}

ConfigScreenValues ConfigurationFrame::CollectScreen() const
{
    ConfigScreenValues s;
    s.lstInterface = ListValue(lstInterface, InterfaceOptions());
    s.lstEnable = ListValue(lstEnable, EnableOptions());
    s.lstPulse = ListValue(lstPulse, PulseOptions());
    s.lstAlarmSignal = ListValue(lstAlarmSignal, AlarmSignalOptions());
    s.lstPullbackdetection = ListValue(lstPullbackdetection, PullbackDetectionOptions());
    s.lstVent = ListValue(lstVent, VentOptions());
    for (size_t i = 0; i < 24; ++i) {
        s.SecurityHigh[i] = cmdButtonSecurity[i]->text() == "H";
        s.chkEnDis[i] = chkEnDis[i]->isChecked();
        s.TextPulse[i] = TextPulse[i]->text().toStdString();
        s.txtVend[i] = txtVend[i]->text().toStdString();
    }
    for (size_t i = 0; i < 16; ++i)
        s.TextMDB[i] = TextMDB[i]->text().toStdString();
    s.txtMDBISO = txtMDBISO->text().toStdString();
    s.txtScaling = txtScaling->text().toStdString();
    s.txtDecimal = txtDecimal->text().toStdString();
    s.txtCCAddress = txtCCAddress->text().toStdString();
    s.txtCCEncry = txtCCEncry->text().toStdString();
    s.txtPulseON = txtPulseON->text().toStdString();
    s.txtPulseOFF = txtPulseOFF->text().toStdString();
    s.txtEscrowTime = txtEscrowTime->text().toStdString();
    s.txtSerial = txtSerial->text().toStdString();
    s.lblCSerial = lblCSerial->text().toStdString();
    s.chkADU = chkADU->isChecked();
    s.chkCCTalk = chkCCTalk->isChecked();
    s.chkBill_Hold = chkBill_Hold->isChecked();
    s.chkExit = chkExit->isChecked();
    s.chkNoteType = chkNoteType->isChecked();
    HiddenControls& h = s.hidden;
    h.chkADU = chkADU->isHidden();
    h.txtMDBISO = txtMDBISO->isHidden();
    h.frmMDB = frmMDB->isHidden();
    h.Frame8 = Frame8->isHidden();
    h.frmEscrowTime = frmEscrowTime->isHidden();
    h.chkBill_Hold = chkBill_Hold->isHidden();
    h.chkCCTalk = chkCCTalk->isHidden();
    h.chkNoteType = chkNoteType->isHidden();
    h.txtSerial = txtSerial->isHidden();
    return s;
}

void ConfigurationFrame::ApplyScreen(const ConfigScreenValues& s)
{
    const QSignalBlocker q1(lstInterface), q2(chkCCTalk), q3(txtCCEncry);
    lstInterface->setCurrentIndex(s.lstInterface.selected);
    lstEnable->setCurrentIndex(s.lstEnable.selected);
    lstPulse->setCurrentIndex(s.lstPulse.selected);
    lstAlarmSignal->setCurrentIndex(s.lstAlarmSignal.selected);
    lstPullbackdetection->setCurrentIndex(s.lstPullbackdetection.selected);
    lstVent->setCurrentIndex(s.lstVent.selected);
    for (size_t i = 0; i < 24; ++i) {
        SetSecurityButton(int(i), s.SecurityHigh[i]);
        chkEnDis[i]->setChecked(s.chkEnDis[i]);
        SetText(TextPulse[i], s.TextPulse[i]);
        SetText(txtVend[i], s.txtVend[i]);
    }
    for (size_t i = 0; i < 16; ++i)
        SetText(TextMDB[i], s.TextMDB[i]);
    SetText(txtMDBISO, s.txtMDBISO);
    SetText(txtScaling, s.txtScaling);
    SetText(txtDecimal, s.txtDecimal);
    SetText(txtCCAddress, s.txtCCAddress);
    SetText(txtCCEncry, s.txtCCEncry);
    SetText(txtPulseON, s.txtPulseON);
    SetText(txtPulseOFF, s.txtPulseOFF);
    SetText(txtEscrowTime, s.txtEscrowTime);
    SetText(txtSerial, s.txtSerial);
    lblCSerial->setText(QString::fromStdString(s.lblCSerial));
    chkADU->setChecked(s.chkADU);
    chkCCTalk->setChecked(s.chkCCTalk);
    chkBill_Hold->setChecked(s.chkBill_Hold);
    chkExit->setChecked(s.chkExit);
    chkNoteType->setChecked(s.chkNoteType);
}

void ConfigurationFrame::ApplyVariantParts(const HiddenControls& h)
{
    chkADU->setHidden(h.chkADU);
    txtMDBISO->setHidden(h.txtMDBISO);
    Label1_1->setHidden(h.txtMDBISO);
    frmMDB->setHidden(h.frmMDB);
    Label4_2->setHidden(h.frmMDB);
    for (int i : {0, 4, 5})
        Line5[size_t(i)]->setHidden(h.frmMDB);
    Frame8->setHidden(h.Frame8);
    chkNoteType->setHidden(h.chkNoteType);
}

void ConfigurationFrame::SetSecurityButton(int index, bool high)
{
    QPushButton* b = cmdButtonSecurity[size_t(index)];
    const int32_t colour = high ? ColourLightRed : ColourLightBlue;
    b->setText(high ? "H" : "L");
    b->setAccessibleName(SecurityButtonName(index, high));
    b->setProperty("backColour", colour);
    b->setStyleSheet(QString("background-color: %1; font-weight: 700;").arg(ColourOf(colour).name()));
}

void ConfigurationFrame::ShowStatusLine(int32_t colour, const QString& text)
{
    QPalette p = LabelNaStatusMessage->palette();
    p.setColor(QPalette::WindowText, ColourOf(colour));
    LabelNaStatusMessage->setPalette(p);
    LabelNaStatusMessage->setProperty("textColour", colour);
    LabelNaStatusMessage->setText(text);
}

// ---- showing a record

void ConfigurationFrame::ShowConfiguration(const EepromRecord& record, int variant)
{
    RemoveMdbEntry(variant);
    ConfigScreenValues s = CollectScreen();
    ApplyVariantVisibility(s.hidden, variant);
    RecordToScreen(record, s);
    ApplyScreen(s);
    ApplyVariantParts(s.hidden);
    for (int i = 23; i >= 0; --i)
        cmdButtonSecurity[size_t(i)]->show();
    for (int i = 23; i >= 0; --i)
        chkEnDis[size_t(i)]->setVisible(i < 22);

    // The rules see the final values: the interface first, then ccTalk, then the code.
    lstInterface_Click();
    chkCCTalk_Click();
    txtCCEncry_Change();

    const StatusLine line = StatusLineFor(state_.ConfigSource, state_.Settings.ConfigFilePath);
    ShowStatusLine(line.colour, QString::fromStdString(line.text));
    ShowLayoutState(variant);
}

void ConfigurationFrame::ShowLayoutState(int variant)
{
    const std::string noLayout = NoLayoutText(variant);
    if (noLayout.empty()) {
        cmdDefault->setToolTip("Load the acceptor's factory values, or the application defaults");
        return;
    }
    ShowStatusLine(0x0000FF, QString::fromStdString(noLayout));
    cmdDefault->setToolTip(QString::fromStdString(noLayout));
}

void ConfigurationFrame::RemoveMdbEntry(int variant)
{
    OptionListValue list = ListValue(lstInterface, InterfaceOptions());
    if (list.entries.size() != size_t(lstInterface->count()))
        return;  // the list holds something else; leave it
    if (RemoveMdbEntryForVariant(list, variant)) {
        const QSignalBlocker quiet(lstInterface);
        lstInterface->removeItem(4);
        lstInterface->setCurrentIndex(list.selected);
    }
}

void ConfigurationFrame::lblCMachine_Change()
{
    RemoveMdbEntry(state_.AcceptorVariant);
}

// ---- field rules

void ConfigurationFrame::lstInterface_Click()
{
    const FieldRule& rule = FieldRuleFor(ListValue(lstInterface, InterfaceOptions()).DisplayedText());
    for (QLineEdit* e : txtVend)
        e->setEnabled(rule.txtVend);
    for (QLineEdit* e : TextPulse)
        e->setEnabled(rule.TextPulse);
    for (QLineEdit* e : TextMDB)
        e->setEnabled(rule.TextMDB);
    txtMDBISO->setEnabled(rule.txtMDBISO);
    txtScaling->setEnabled(rule.ScalingDecimal);
    txtDecimal->setEnabled(rule.ScalingDecimal);
    lstAlarmSignal->setEnabled(rule.AlarmEnable);
    lstEnable->setEnabled(rule.AlarmEnable);
    lstPulse->setEnabled(rule.PulseVent);
    lstVent->setEnabled(rule.PulseVent);
    chkADU->setEnabled(rule.chkADU);
    for (QWidget* w : std::initializer_list<QWidget*>{chkCCTalk, chkNoteType, txtCCAddress, txtCCEncry})
        w->setEnabled(rule.CcTalk);
    txtPulseON->setEnabled(rule.PulseTiming);
    txtPulseOFF->setEnabled(rule.PulseTiming);
    txtEscrowTime->setEnabled(rule.txtEscrowTime);
}

void ConfigurationFrame::chkCCTalk_Click()
{
    if (ListValue(lstInterface, InterfaceOptions()).DisplayedText() == "ccTalk")
        txtCCEncry->setEnabled(chkCCTalk->isChecked());
}

void ConfigurationFrame::cmdButtonSecurity_Click(int Index)
{
    SetSecurityButton(Index, cmdButtonSecurity[size_t(Index)]->text() == "L");
}

void ConfigurationFrame::txtCCEncry_Change()
{
    txtCCEncry->setEchoMode(EncryptionCodeMasked(txtCCEncry->text().toStdString()) ? QLineEdit::Password
                                                                                    : QLineEdit::Normal);
}

void ConfigurationFrame::txtCCEncry_GotFocus()
{
    // A code is always typed in full.
    txtCCEncry->clear();
    txtCCEncry->setEchoMode(QLineEdit::Normal);
}

bool ConfigurationFrame::eventFilter(QObject* watched, QEvent* event)
{
    // Only the user's moving into the field; focus coming back with the window
    // (after a message box or a file dialog) must not wipe a code just typed.
    if (watched == txtCCEncry && event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txtCCEncry_GotFocus();
    }
    return QFrame::eventFilter(watched, event);
}

// ---- checks and reading back

bool ConfigurationFrame::ValidateConfigurationFields()
{
    ConfigScreenValues s = CollectScreen();
    const FieldCheckResult result = kovrin::ValidateConfigurationFields(
        s, state_.AcceptorVariant, state_.CurrentRecord.VariantCode, state_.SerialNumberText);
    // The checks tidy the screen as they go, also when one fails.
    for (size_t i = 0; i < 24; ++i) {
        SetText(TextPulse[i], s.TextPulse[i]);
        SetText(txtVend[i], s.txtVend[i]);
    }
    for (size_t i = 0; i < 16; ++i)
        SetText(TextMDB[i], s.TextMDB[i]);
    SetText(txtSerial, s.txtSerial);
    lblCSerial->setText(QString::fromStdString(s.lblCSerial));
    if (!result.passed) {
        MsgBox(this, QString::fromStdString(result.message), MsgButtons::Ok, MsgIcon::None,
               result.title.empty() ? QString(ProgramTitle) : QString::fromStdString(result.title));
        return false;
    }
    return true;
}

bool ConfigurationFrame::ReadConfigurationScreen(EepromRecord& record)
{
    ConfigScreenValues s = CollectScreen();
    const ScreenReadResult result = ScreenToRecord(s, record, state_.AcceptorVariant, state_.SerialNumberText);
    // What the read-back sets on the screen; a new interface selection runs its rules.
    lstInterface->setCurrentIndex(s.lstInterface.selected);
    lstPulse->setCurrentIndex(s.lstPulse.selected);
    lstPullbackdetection->setCurrentIndex(s.lstPullbackdetection.selected);
    chkNoteType->setHidden(s.hidden.chkNoteType);
    SetText(txtSerial, s.txtSerial);
    for (size_t i = 0; i < 24; ++i) {
        SetText(TextPulse[i], s.TextPulse[i]);
        SetText(txtVend[i], s.txtVend[i]);
    }
    for (size_t i = 0; i < 16; ++i)
        SetText(TextMDB[i], s.TextMDB[i]);
    if (!result.record) {
        MsgBox(this, QString::fromStdString(result.error));
        return false;
    }
    record = *result.record;
    return true;
}

}  // namespace kovrin
