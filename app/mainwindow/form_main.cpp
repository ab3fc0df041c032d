#include "app/mainwindow/form_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QWheelEvent>
#include <QWindowStateChangeEvent>

#include "app/config/eeprom_map.h"
#include "app/link/acceptor_variant.h"
#include "app/settings/program_settings.h"
#include "app/settings/program_folder.h"
#include "app/mainwindow/form_about.h"
#include "app/mainwindow/form_audit.h"
#include "app/mainwindow/form_super_user.h"
#include "app/module/qel_usb_client.h"
#include "app/widgets/colour_of.h"
#include "app/widgets/message_seam.h"
#include "app/widgets/value_label.h"
#include "app/widgets/pictures.h"

namespace kovrin {

namespace {

constexpr int DesignWidth = 1680;
constexpr int DesignHeight = 1050;

QLabel* NewLabel(QWidget* parent, const char* name, const QRect& at, const QString& text = {})
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(at);
    // No fixed accessible name: a screen reader hears the text the label shows, kept in step by QLabel.
    return label;
}

// A caption beside a value label. The value is what a screen reader hears; the caption describes it,
// and names it while it shows nothing.
QLabel* CaptionedValue(QWidget* parent, const char* name, const QString& caption, int x, int y, int w = 260,
                       QLabel** captionLabel = nullptr)
{
    auto* c = new QLabel(caption, parent);
    if (captionLabel)
        *captionLabel = c;
    c->setGeometry(x, y, 150, 24);
    c->setStyleSheet("color: #555;");
    QLabel* v = NewLabel(parent, name, QRect(x + 150, y, w, 24));
    c->setBuddy(v);
    MakeValueLabel(v, caption);
    v->setStyleSheet("font-weight: 600;");
    return v;
}

QFrame* NewFrame(QWidget* parent, const char* name, const QRect& at)
{
    auto* f = new QFrame(parent);
    f->setObjectName(name);
    f->setGeometry(at);
    f->setFrameShape(QFrame::StyledPanel);
    f->setAutoFillBackground(true);
    return f;
}

}  // namespace

FormMain::FormMain(ProgramState state) : State(std::move(state)), MSComm1(new CommPort(ComLinkFolders(), this))
{
    setWindowTitle(ProgramTitle);
    setWindowIcon(ProgramIcon());
    connect(MSComm1, &CommPort::OnComm, this, &FormMain::MSComm1_OnComm);

    tmrPoll = new QTimer(this);
    tmrPoll->setInterval(PollIntervalMs);
    connect(tmrPoll, &QTimer::timeout, this, &FormMain::tmrPoll_Timer);
    tmrGuard = new QTimer(this);
    tmrGuard->setInterval(ExchangeGuardMs);
    connect(tmrGuard, &QTimer::timeout, this, &FormMain::tmrGuard_Timer);
    pollLink_.timer = tmrPoll;
    guardLink_.timer = tmrGuard;
    TimerCmdResponseDelay = new QTimer(this);
    connect(TimerCmdResponseDelay, &QTimer::timeout, this, &FormMain::TimerCmdResponseDelay_Timer);
    TimerScreenFlashRestore = new QTimer(this);
    connect(TimerScreenFlashRestore, &QTimer::timeout, this, &FormMain::TimerScreenFlashRestore_Timer);

    BuildControls();
    BuildMenus();
    resize(1100, 760);
}

FormMain::~FormMain()
{
    // Focus moves while the controls are taken down; the window is no longer there to follow it.
    disconnect(focusWatch_);
    SetDeviceChangeListener(nullptr);
}

void FormMain::BuildControls()
{
    auto* central = new QWidget(this);
    central->setObjectName("FormMainClient");
    setCentralWidget(central);

    // The main panel: the attached acceptor, its service buttons and the firmware update, and beside them
    // the module's frame. Scrolling moves whole frames, so every control lives in one that the bars move.
    Frame5 = new QFrame(central);
    Frame5->setObjectName("Frame5");
    Frame5->setGeometry(8, 8, 1612, 620);
    Frame5->setAccessibleName("Main panel");
    auto* acceptorPanel = NewFrame(Frame5, "AcceptorPanel", QRect(0, 0, 1040, 620));
    acceptorPanel->setAccessibleName("Acceptor");
    Label1[0] = NewLabel(Frame5, "Label1", QRect(16, 10, 400, 30));
    Label1[0]->setStyleSheet("font-size: 18px; font-weight: 700; color: #1f3b57;");

    ImageNoteAcceptor = NewLabel(Frame5, "ImageNoteAcceptor", QRect(16, 50, 220, 260));
    ImageNoteAcceptor->setAlignment(Qt::AlignCenter);
    ImageNoteAcceptor->setAccessibleName("Note acceptor picture");

    auto* link = new QGroupBox("Note acceptor", Frame5);
    link->setGeometry(260, 46, 460, 300);
    Label7[0] = NewLabel(link, "Label7", QRect(16, 26, 420, 26), "DISCONNECTED");
    MakeValueLabel(Label7[0], "Link status");
    Label7[0]->setStyleSheet("font-size: 15px; font-weight: 700;");
    Label6[4] = CaptionedValue(link, "Label6_4", "Variant", 16, 60);
    Label6[5] = CaptionedValue(link, "Label6_5", "Information", 16, 86);
    Label6[6] = CaptionedValue(link, "Label6_6", "Software", 16, 112);
    Label6[7] = CaptionedValue(link, "Label6_7", "Version", 16, 138);
    Label6[8] = CaptionedValue(link, "Label6_8", "SERIAL NO", 16, 164, 260, &Label56);
    Label56->setObjectName("Label56");
    Label56->setAccessibleName("SERIAL NO");
    Label56->setToolTip("Enter an access code");
    Label56->installEventFilter(this);
    LabelFwSetupRevision = CaptionedValue(link, "LabelFwSetupRevision", "Setup revision", 16, 190);
    LabelFwCalRevision = CaptionedValue(link, "LabelFwCalRevision", "Calibration revision", 16, 216);
    Label10 = NewLabel(link, "Label10", QRect(16, 244, 200, 24));
    MakeValueLabel(Label10, "Unit mode");
    Label10->setStyleSheet("font-weight: 700; color: #a05000;");
    LabelCalibrationStatus = NewLabel(link, "LabelCalibrationStatus", QRect(16, 268, 300, 24));
    MakeValueLabel(LabelCalibrationStatus, "Calibration status");

    // Each service button exists once per variant; the attached variant's set shows.
    for (int v = 0; v < 10; ++v) {
        auto* b = new QPushButton(Frame5);
        b->setObjectName(QString("cmdCalibrate_%1").arg(v));
        b->setGeometry(740, 50, 72, 72);
        b->setIcon(ButtonPicture(3));
        b->setIconSize(QSize(48, 48));
        b->setToolTip("Calibrate the acceptor");
        b->setAccessibleName("Calibrate the acceptor");
        b->setVisible(v == 0);
        b->setEnabled(false);
        cmdCalibrate[v] = b;
        connect(b, &QPushButton::clicked, this, &FormMain::cmdCalibrate_Click);
    }
    cmdConfig = new QPushButton("&Configuration", Frame5);
    cmdConfig->setObjectName("cmdConfig");
    cmdConfig->setAccessibleName("Configuration");
    cmdConfig->setGeometry(740, 140, 160, 40);
    connect(cmdConfig, &QPushButton::clicked, this, &FormMain::cmdConfig_Click);

    auto* firmware = new QGroupBox("Firmware update", Frame5);
    firmware->setGeometry(16, 360, 1008, 246);
    Label6[0] = CaptionedValue(firmware, "Label6_0", "Image for", 16, 28);
    Label6[1] = CaptionedValue(firmware, "Label6_1", "Image name", 16, 54);
    Label6[2] = CaptionedValue(firmware, "Label6_2", "Image description", 16, 80);
    Label6[3] = CaptionedValue(firmware, "Label6_3", "Image revision", 16, 106);
    cmdOpenHex = new QPushButton("&Open Hex File", firmware);
    cmdOpenHex->setObjectName("cmdOpenHex");
    cmdOpenHex->setAccessibleName("Open Hex File");
    cmdOpenHex->setGeometry(720, 28, 160, 36);
    connect(cmdOpenHex, &QPushButton::clicked, this, &FormMain::cmdOpenHex_Click);
    lblHexFile = NewLabel(firmware, "lblHexFile", QRect(720, 70, 280, 24));
    MakeValueLabel(lblHexFile, "Firmware file");
    lblHexFile->setStyleSheet("color: #555;");
    // Two lines: the longest status ("... THE FILE WAS REFUSED") is wider than the column.
    Label7[1] = NewLabel(firmware, "Label7_1", QRect(720, 94, 280, 44));
    MakeValueLabel(Label7[1], "Firmware status");
    Label7[1]->setWordWrap(true);
    Label7[1]->setStyleSheet("font-weight: 700; color: #1f6b3a;");
    lblHexChk = CaptionedValue(firmware, "lblHexChk", "Image checksum", 440, 28, 100);
    LabelRomSetupRevision = CaptionedValue(firmware, "LabelRomSetupRevision", "Setup revision", 440, 54, 100);
    LabelRomCalRevision = CaptionedValue(firmware, "LabelRomCalRevision", "Calibration revision", 440, 80, 100);
    Label60 = CaptionedValue(firmware, "Label60", "Block retries", 440, 106, 100);
    Label61 = CaptionedValue(firmware, "Label61", "Boot-strap retries", 440, 132, 100);
    Label59 = NewLabel(firmware, "Label59", QRect(0, 0, 0, 0));
    Label62 = NewLabel(firmware, "Label62", QRect(0, 0, 0, 0));
    MakeValueLabel(Label59, {});
    MakeValueLabel(Label62, {});
    Label59->hide();
    Label62->hide();
    lblDisplay = NewLabel(firmware, "lblDisplay", QRect(16, 170, 680, 28));
    MakeValueLabel(lblDisplay, "Update status");
    lblDisplay->setAutoFillBackground(true);
    ProgressBar1 = new QProgressBar(firmware);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setAccessibleName("Update progress");
    ProgressBar1->setGeometry(16, 206, 680, 24);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    lblDeviceChk = NewLabel(firmware, "lblDeviceChk", QRect(720, 142, 200, 28));
    MakeValueLabel(lblDeviceChk, "Acceptor checksum");
    cmdFlashRqt = new QPushButton("&UPDATE BA", firmware);
    cmdFlashRqt->setObjectName("cmdFlashRqt");
    cmdFlashRqt->setAccessibleName("UPDATE BA");
    cmdFlashRqt->setGeometry(720, 192, 160, 40);
    cmdFlashRqt->setEnabled(false);
    connect(cmdFlashRqt, &QPushButton::clicked, this, &FormMain::cmdFlashRqt_Click);

    BuildModuleControls(central);

    // The configuration screen lies over the main panel when it is open.
    frmConfiguration = new ConfigurationFrame(*this, State, central);
    frmConfiguration->move(0, 0);
    frmConfiguration->hide();
    lblCMachine = frmConfiguration->lblCMachine;
    lblCSoftware = frmConfiguration->lblCSoftware;
    lblCVersion = frmConfiguration->lblCVersion;
    lblCSerial = frmConfiguration->lblCSerial;
    lblCSerial->installEventFilter(this);
    txtSerial = frmConfiguration->txtSerial;
    chkBill_Hold = frmConfiguration->chkBill_Hold;
    chkCCTalk = frmConfiguration->chkCCTalk;
    frmEscrowTime = frmConfiguration->frmEscrowTime;
    LabelNaStatusMessage = frmConfiguration->LabelNaStatusMessage;
    LabelEeSetupRevision = frmConfiguration->LabelEeSetupRevision;
    LabelEeCalRevision = frmConfiguration->LabelEeCalRevision;
    cmdSend = frmConfiguration->cmdSend;
    cmdRefresh = frmConfiguration->cmdRefresh;
    connect(frmConfiguration, &ConfigurationFrame::sendClicked, this, &FormMain::cmdSend_Click);
    connect(frmConfiguration, &ConfigurationFrame::refreshClicked, this, &FormMain::cmdRefresh_Click);

    HScroll1 = new QScrollBar(Qt::Horizontal, central);
    HScroll1->setObjectName("HScroll1");
    HScroll1->setAccessibleName("Scroll horizontally");
    VScroll1 = new QScrollBar(Qt::Vertical, central);
    VScroll1->setObjectName("VScroll1");
    VScroll1->setAccessibleName("Scroll vertically");
    Frame9 = new QFrame(central);
    Frame9->setObjectName("Frame9");
    HScroll1->hide();
    VScroll1->hide();
    Frame9->hide();
    connect(HScroll1, &QScrollBar::valueChanged, this, &FormMain::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &FormMain::VScroll1_Change);

    // The wheel over the content scrolls it; a focused control brings itself into view.
    central->installEventFilter(this);
    // A list changes its value under the wheel only once it was chosen; until then the wheel scrolls.
    for (QComboBox* list : central->findChildren<QComboBox*>()) {
        list->setFocusPolicy(Qt::StrongFocus);
        list->installEventFilter(this);
    }
    focusWatch_ =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { ShowFocusedControl(now); });
}

void FormMain::BuildMenus()
{
    QMenu* communication = menuBar()->addMenu("&Communication");
    for (int16_t i = 1; i <= UsbEntry; ++i) {
        QAction* a = communication->addAction(i < UsbEntry ? QString("COM %1").arg(i) : QString("USB"));
        a->setObjectName(QString("mnuCom1_%1").arg(i));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, i] { mnuCom1_Click(i); });
        mnuCom1[i] = a;
    }
    mnuAudit = menuBar()->addAction("A&udit");
    mnuAudit->setObjectName("mnuAudit");
    mnuAudit->setVisible(false);  // offered only after the audit access code
    connect(mnuAudit, &QAction::triggered, this, &FormMain::mnuAudit_Click);
    Help = menuBar()->addAction("&About");
    Help->setObjectName("Help");
    connect(Help, &QAction::triggered, this, &FormMain::Help_Click);
    exit = menuBar()->addAction("E&xit");
    exit->setObjectName("exit");
    connect(exit, &QAction::triggered, this, &FormMain::exit_Click);
}

void FormMain::Form_Load()
{
    QScreen* display = this->screen();
    const QSize screen = display ? display->size() : QSize(DesignWidth, DesignHeight);
    horizontalScale_ = double(screen.width()) / DesignWidth;
    verticalScale_ = double(screen.height()) / DesignHeight;
    // Until the window is first maximized the content needs the whole design, so a
    // smaller window scrolls to every control.
    contentWidth_ = DesignWidth;
    contentHeight_ = DesignHeight;
    frame5Position_ = Frame5->pos();
    auditFramePosition_ = frmKDUAuditData->pos();
    Label1[0]->setText(FormAbout::NameAndVersion());
    for (int i = 1; i <= UsbEntry; ++i)
        mnuCom1[i]->setChecked(i == ComPort);
    // The window covers the screen's free area already before it asks to be maximized: where no window
    // manager maximizes it, the bars still reach whatever a smaller screen cannot show.
    if (display)
        setGeometry(display->availableGeometry());
    else
        move(0, 0);
    lastHorizontal_ = lastVertical_ = 1;
    connect(&FormSuperUser::Default(), &FormSuperUser::AccessCodeEntered, this,
            [this](const AccessCodeEffect& effect) {
                ApplyAccessCodeEffect(effect, SuperUserMode, txtSerial, lblCSerial, mnuAudit, cmdViewAudit);
            });
    frmConfiguration->InitConfigLists();
    ManageButtonStates(State.AcceptorVariant, false);
    ManageImages(State.AcceptorVariant);
    Form_Resize();
    Connect();
}

void FormMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void FormMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void FormMain::Form_Resize()
{
    if (isMinimized() || !HScroll1)
        return;
    QWidget* client = centralWidget();
    const int w = client->width();
    const int h = client->height();
    if (isMaximized()) {
        contentWidth_ = int(w / horizontalScale_ + 0.5);
        contentHeight_ = int(h / verticalScale_ + 0.5);
    }
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    HScroll1->setGeometry(0, h - bar, w - bar, bar);
    VScroll1->setGeometry(w - bar, 0, bar, h - bar);
    Frame9->setGeometry(w - bar, h - bar, bar, bar);

    frmConfiguration->move(0, 0);
    Frame5->move(frame5Position_);
    frmKDUAuditData->move(auditFramePosition_);

    const auto layOut = [](QScrollBar* sb, int window, int content) {
        const QSignalBlocker quiet(sb);
        if (window < content) {
            const int max = content - window;
            sb->setRange(1, max);
            sb->setValue(1);
            sb->setSingleStep(qMax(1, max / 50));
            sb->setPageStep(qMax(1, max / 5));
            sb->show();
        } else {
            sb->hide();
        }
    };
    layOut(VScroll1, h, contentHeight_);
    layOut(HScroll1, w, contentWidth_);
    lastHorizontal_ = lastVertical_ = 1;
    Frame9->setVisible(HScroll1->isVisible() || VScroll1->isVisible());
}

void FormMain::HScroll1_Change(int value)
{
    const int distance = value - lastHorizontal_;
    lastHorizontal_ = value;
    HscrollMove(distance);
}

void FormMain::VScroll1_Change(int value)
{
    const int distance = value - lastVertical_;
    lastVertical_ = value;
    VscrollMove(distance);
}

void FormMain::HscrollMove(int distance)
{
    for (QWidget* f : {static_cast<QWidget*>(Frame5), static_cast<QWidget*>(frmKDUAuditData),
                       static_cast<QWidget*>(frmConfiguration)})
        f->move(f->x() - distance, f->y());
}

void FormMain::VscrollMove(int distance)
{
    for (QWidget* f : {static_cast<QWidget*>(Frame5), static_cast<QWidget*>(frmKDUAuditData),
                       static_cast<QWidget*>(frmConfiguration)})
        f->move(f->x(), f->y() - distance);
}

void FormMain::ShowFocusedControl(QWidget* control)
{
    QWidget* client = centralWidget();
    if (!control || !client || control == client || !client->isAncestorOf(control))
        return;
    for (QWidget* bar : {static_cast<QWidget*>(HScroll1), static_cast<QWidget*>(VScroll1),
                         static_cast<QWidget*>(Frame9)})
        if (bar == control || bar->isAncestorOf(control))
            return;
    const QRect at(control->mapTo(client, QPoint(0, 0)), control->size());
    // The part of the client that the bars leave free.
    const int shownWidth = client->width() - (VScroll1->isHidden() ? 0 : VScroll1->width());
    const int shownHeight = client->height() - (HScroll1->isHidden() ? 0 : HScroll1->height());
    // How far the content must move for the control to be shown; its start wins when it is the larger.
    const auto distance = [](int start, int length, int shown) {
        if (start < 0)
            return start;
        if (start + length > shown)
            return qMin(start + length - shown, start);
        return 0;
    };
    if (!HScroll1->isHidden())
        if (const int d = distance(at.x(), at.width(), shownWidth))
            HScroll1->setValue(HScroll1->value() + d);  // through HScroll1_Change, so the frames follow
    if (!VScroll1->isHidden())
        if (const int d = distance(at.y(), at.height(), shownHeight))
            VScroll1->setValue(VScroll1->value() + d);
}

bool FormMain::ScrollByWheel(const QWheelEvent& wheel)
{
    const QPoint turn = wheel.angleDelta();
    const bool sideways = (wheel.modifiers() & Qt::ShiftModifier) || (turn.y() == 0 && turn.x() != 0);
    QScrollBar* bar = sideways ? HScroll1 : VScroll1;
    const int delta = turn.y() != 0 ? turn.y() : turn.x();
    if (bar->isHidden() || delta == 0)
        return false;
    wheelRest_ += delta;
    const int notches = wheelRest_ / QWheelEvent::DefaultDeltasPerStep;
    wheelRest_ %= QWheelEvent::DefaultDeltasPerStep;
    bar->setValue(bar->value() - notches * bar->singleStep());  // turning away from the user scrolls down
    return true;
}

void FormMain::Form_Unload()
{
    StopUsbLibrary();
    Session.Shutdown();
    FormAudit::Default().Unload();
    // Every other window of the program goes with the main window.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (*it != this && (*it)->isWindow())
            (*it)->close();
}

void FormMain::closeEvent(QCloseEvent* event)
{
    if (Module.ModuleBusy) {
        event->ignore();  // the download ends first, with the module's file whole or erased
        return;
    }
    if (!unloaded_) {
        unloaded_ = true;
        Form_Unload();
    }
    event->accept();
}

void FormMain::exit_Click()
{
    Form_Unload();
    close();
}

void FormMain::Help_Click()
{
    FormAbout::ShowAbout(this);
}

void FormMain::mnuAudit_Click()
{
    // The request waits for the next poll tick, so it never meets an exchange under way.
    if (VariantRow(State.AcceptorVariant).AuditByCommand)
        Session.RequestAudit();
    FormAudit::Default().ShowAudit(State, Session.State().FirmwareVersionText);
}

void FormMain::cmdCalibrate_Click()
{
    ManageButtonStates(State.AcceptorVariant, false);
    Session.StopPolling();
    Session.Wait(ReceiveWaitMs);
    Connect();
    Session.Calibrate();
}

void FormMain::Label56_Click()
{
    FormSuperUser::Default().Open();
}

void FormMain::lblCSerial_DblClick()
{
    FormSuperUser::Default().Open();
}

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        const auto* list = qobject_cast<QComboBox*>(watched);
        // The wheel a control left unused reaches the client; a list not chosen leaves it unused.
        if (watched == centralWidget() || (list && !list->hasFocus()))
            return ScrollByWheel(*static_cast<QWheelEvent*>(event)) || list;
    }
    if (watched == Label56 && event->type() == QEvent::MouseButtonRelease)
        Label56_Click();
    else if (watched == lblCSerial && event->type() == QEvent::MouseButtonDblClick)
        lblCSerial_DblClick();
    return QMainWindow::eventFilter(watched, event);
}

// ---- pictures and buttons

void FormMain::ManageButtonStates(int MachineId, bool state)
{
    MachineId = KnownVariantOr0(MachineId);
    if (buttonsKnown_ && MachineId == buttonVariant_ && state == buttonState_)
        return;
    buttonsKnown_ = true;
    buttonVariant_ = MachineId;
    buttonState_ = state;
    for (auto* set : {&cmdCalibrate, &cmdSend, &cmdRefresh}) {
        for (QPushButton* b : *set) {
            b->setEnabled(false);
            b->hide();
        }
        QPushButton* shown = (*set)[MachineId];
        shown->setEnabled(state);
        // Calibration is for an acceptor on the serial link; a module has none.
        shown->setVisible(set != &cmdCalibrate || SerialMode());
    }
}

void FormMain::ManageImages(int variant)
{
    const int v = KnownVariantOr0(variant);
    const int index = pictures_.Step(v, Session.State().UnitCalibrated != 0, Session.State().FlashMode);
    ImageNoteAcceptor->setPixmap(AcceptorPicture(v, index));
    ImageNoteAcceptor->setProperty("pictureIndex", index);
    ImageNoteAcceptor->setProperty("pictureVariant", v);
}

void FormMain::SetBackground(QWidget* widget, int32_t colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, ColourOf(colour));
    widget->setPalette(p);
}

void FormMain::SetTextColour(QLabel* label, int32_t colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, ColourOf(colour));
    label->setPalette(p);
}

void FormMain::FlashConfigFrame(int32_t colour)
{
    if (!TimerScreenFlashRestore->isActive()) {
        const QColor c = frmConfiguration->palette().color(QPalette::Window);
        storedFrameColour_ = c.red() | c.green() << 8 | c.blue() << 16;
    }
    SetBackground(frmConfiguration, colour);
    QApplication::beep();
    TimerScreenFlashRestore->start(500);
}

void FormMain::RestoreConfigFrameColour()
{
    SetBackground(frmConfiguration, storedFrameColour_);
}

void FormMain::TimerScreenFlashRestore_Timer()
{
    TimerScreenFlashRestore->stop();
    RestoreConfigFrameColour();
}

void FormMain::ShowConfiguration(const EepromRecord& record, int variant)
{
    frmConfiguration->ShowConfiguration(record, variant);
}

void FormMain::SetMachineName(const QString& name)
{
    lblCMachine->setText(name);
    frmConfiguration->lblCMachine_Change();  // a label raises no change event of its own
}

QString FormMain::FirmwareModelName() const
{
    return Label6[0]->text();
}

void FormMain::ShowModuleList(bool shown)
{
    ListKDU->setVisible(shown);
}

void FormMain::HideModuleAuditData()
{
    frmKDUAuditData->hide();
}

}  // namespace kovrin
