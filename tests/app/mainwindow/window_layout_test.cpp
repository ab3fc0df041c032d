// The main window on a screen smaller than its design (the test runs once per
// laptop screen size): every control is reached with the scroll bars, the focus
// and the wheel move the bars, and the panel follows them.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QWheelEvent>

#include "app/config/screen/configuration_frame.h"
#include "tests/app/mainwindow/module_fixture.h"

namespace kovrin {
namespace {

class WindowLayout : public ModuleWindowTest {
protected:
    // The program's start on the "USB" entry, maximized as the program shows it, with a KDU in use.
    void StartMaximized()
    {
        Launch();
        const QSize screen = form->screen()->size();
        ASSERT_TRUE(screen.width() < 1680 && screen.height() < 1050) << "a laptop screen is smaller than the design";
        form->showMaximized();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->isMaximized() && !form->VScroll1->isHidden(); }, 5000));
        Plug(Module());
        ASSERT_TRUE(Connected());
    }

    QWidget* Client() const { return form->centralWidget(); }

    // The part of the client that the scroll bars leave free.
    QRect Shown() const
    {
        return QRect(0, 0, Client()->width() - (form->VScroll1->isHidden() ? 0 : form->VScroll1->width()),
                     Client()->height() - (form->HScroll1->isHidden() ? 0 : form->HScroll1->height()));
    }

    bool IsBar(const QWidget* w) const
    {
        for (const QWidget* bar : {static_cast<QWidget*>(form->HScroll1), static_cast<QWidget*>(form->VScroll1),
                                   static_cast<QWidget*>(form->Frame9)})
            if (w == bar || bar->isAncestorOf(w))
                return true;
        return false;
    }

    // Where `w` can be seen on the client: its rectangle cut by those of the widgets it lies in.
    QRect OnClient(const QWidget* w) const
    {
        QRect at(w->mapTo(Client(), QPoint(0, 0)), w->size());
        for (const QWidget* p = w->parentWidget(); p && p != Client(); p = p->parentWidget())
            at &= QRect(p->mapTo(Client(), QPoint(0, 0)), p->size());
        return at;
    }

    // The controls the user sees: visible widgets under `root` that hold no visible widget.
    std::vector<QWidget*> Controls(QWidget* root) const
    {
        std::vector<QWidget*> found;
        for (QWidget* w : root->findChildren<QWidget*>()) {
            if (!w->isVisible() || IsBar(w) || w->width() == 0 || w->height() == 0)
                continue;
            bool holdsVisible = false;
            for (QWidget* c : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                holdsVisible = holdsVisible || (c->isVisible() && !c->isWindow());
            if (!holdsVisible && !OnClient(w).isEmpty())
                found.push_back(w);
        }
        return found;
    }

    static QString Name(const QWidget* w)
    {
        return w->objectName().isEmpty() ? QString(w->metaObject()->className()) + " " + w->accessibleName()
                                         : w->objectName();
    }

    void SetBars(bool toEnds)
    {
        for (QScrollBar* bar : {form->HScroll1, form->VScroll1})
            bar->setValue(toEnds ? bar->maximum() : bar->minimum());
    }

    // Each control starts inside the client with the bars at their starts and ends inside it
    // with the bars at their ends: every part of it is shown at some position of the bars.
    void ExpectEveryControlReached(QWidget* root)
    {
        ASSERT_FALSE(form->HScroll1->isHidden());
        ASSERT_FALSE(form->VScroll1->isHidden());
        const std::vector<QWidget*> controls = Controls(root);
        ASSERT_GT(controls.size(), 20u);
        SetBars(false);
        for (QWidget* w : controls) {
            const QRect at = OnClient(w);
            EXPECT_TRUE(at.left() >= 0 && at.top() >= 0) << Name(w).toStdString() << " starts at " << at.left()
                                                         << "," << at.top();
        }
        SetBars(true);
        const QRect shown = Shown();
        for (QWidget* w : controls) {
            const QRect at = OnClient(w);
            EXPECT_TRUE(at.right() <= shown.right() && at.bottom() <= shown.bottom())
                << Name(w).toStdString() << " ends at " << at.right() << "," << at.bottom() << ", the view at "
                << shown.right() << "," << shown.bottom();
        }
        SetBars(false);
    }

    // The panel lies where the bars say: moved from its place by the bars' distance from their starts.
    void ExpectPanelWhereTheBarsSay()
    {
        EXPECT_EQ(form->Frame5->pos(), mainPanelAtStart - QPoint(form->HScroll1->value() - form->HScroll1->minimum(),
                                                                 form->VScroll1->value() - form->VScroll1->minimum()));
    }

    void LoadDemoFirmware()
    {
        form->State.Settings.FirmwareFilePath = DEMO_FIRMWARE;
        form->LoadHexFile();
        ASSERT_EQ(form->HexFileLoaded, true);
    }

    const QPoint mainPanelAtStart{8, 8};
};

TEST_F(WindowLayout, EveryControlOfTheModuleScreenIsReachedAndTheModuleFrameMovesWithTheBars)
{
    ASSERT_NO_FATAL_FAILURE(StartMaximized());
    form->cmdViewAudit->show();  // as the administrator's code shows it
    form->frmKDUAuditData->show();
    ASSERT_TRUE(form->FrameKDU->isVisible() && form->ListKDU->isVisible() && form->CommandKDUErase->isVisible());
    ExpectEveryControlReached(Client());

    const QPoint atStart = form->FrameKDU->mapTo(Client(), QPoint(0, 0));
    SetBars(true);
    const QPoint distance(form->HScroll1->maximum() - form->HScroll1->minimum(),
                          form->VScroll1->maximum() - form->VScroll1->minimum());
    EXPECT_EQ(form->FrameKDU->mapTo(Client(), QPoint(0, 0)), atStart - distance);
    ExpectPanelWhereTheBarsSay();
}

TEST_F(WindowLayout, EveryControlOfTheConfigurationScreenIsReached)
{
    ASSERT_NO_FATAL_FAILURE(StartMaximized());
    ASSERT_NO_FATAL_FAILURE(LoadDemoFirmware());
    form->cmdConfig->click();
    ASSERT_TRUE(form->frmConfiguration->isVisible()) << (messages.empty() ? "" : messages[0].text.toStdString());
    ExpectEveryControlReached(form->frmConfiguration);
}

TEST_F(WindowLayout, UnmaximizedTheWindowCoversTheFreeScreenAndScrollsToEveryControl)
{
    // As where no window manager maximizes it: the window stays as the program sized it.
    Launch();
    EXPECT_EQ(form->geometry(), form->screen()->availableGeometry());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ASSERT_FALSE(form->isMaximized());
    EXPECT_EQ(form->size(), form->screen()->availableGeometry().size());
    Plug(Module());
    ASSERT_TRUE(Connected());
    ExpectEveryControlReached(Client());
}

TEST_F(WindowLayout, TabBringsEachControlItReachesIntoView)
{
    ASSERT_NO_FATAL_FAILURE(StartMaximized());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->cmdConfig->setFocus();
    std::set<QWidget*> reached;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        if (!Client()->isAncestorOf(focused) || IsBar(focused))
            continue;
        reached.insert(focused);
        const QRect at(focused->mapTo(Client(), QPoint(0, 0)), focused->size());
        EXPECT_TRUE(Shown().contains(at)) << Name(focused).toStdString() << " at " << at.left() << "," << at.top();
        ExpectPanelWhereTheBarsSay();
    }
    // The module's controls lie beyond the right edge until the bars move.
    EXPECT_TRUE(reached.count(form->CommandKDUErase));
    EXPECT_TRUE(reached.count(form->ListKDU));
}

TEST_F(WindowLayout, TheWheelMovesABarByItsSmallStep)
{
    ASSERT_NO_FATAL_FAILURE(StartMaximized());
    const auto turn = [&](QWidget* over, Qt::KeyboardModifiers modifiers, int notches) {
        const QPoint at(over->width() / 2, over->height() / 2);
        QWheelEvent wheel(at, over->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        // As from the window system, so the wheel that `over` leaves unused goes on to its parents.
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        qApp->notify(over, &wheel);
    };
    struct Case {
        const char* what;
        Qt::KeyboardModifiers modifiers;
        QScrollBar* moved;
        QScrollBar* still;
    } cases[] = {
        {"plain", Qt::NoModifier, form->VScroll1, form->HScroll1},
        {"with Shift", Qt::ShiftModifier, form->HScroll1, form->VScroll1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetBars(false);
        const int step = c.moved->singleStep();
        ASSERT_GT(step, 1);
        // Over the acceptor's picture, which uses no wheel: the client scrolls.
        turn(form->ImageNoteAcceptor, c.modifiers, 2);
        EXPECT_EQ(c.moved->value(), c.moved->minimum() + 2 * step);
        EXPECT_EQ(c.still->value(), c.still->minimum());
        ExpectPanelWhereTheBarsSay();
        turn(form->ImageNoteAcceptor, c.modifiers, -1);
        EXPECT_EQ(c.moved->value(), c.moved->minimum() + step);
    }

    // A list the user has not chosen keeps its value; the client scrolls instead.
    SetBars(false);
    form->cmdConfig->setFocus();
    const int unit = form->ComboPort->currentIndex();
    turn(form->ComboPort, Qt::NoModifier, 1);
    EXPECT_EQ(form->ComboPort->currentIndex(), unit);
    EXPECT_EQ(form->VScroll1->value(), form->VScroll1->minimum() + form->VScroll1->singleStep());
}

TEST_F(WindowLayout, AfterCloseThePanelIsWhereTheBarsSay)
{
    ASSERT_NO_FATAL_FAILURE(StartMaximized());
    ASSERT_NO_FATAL_FAILURE(LoadDemoFirmware());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->cmdConfig->click();
    ASSERT_TRUE(form->frmConfiguration->isVisible());
    SetBars(true);
    form->frmConfiguration->cmdConfigClose->setFocus();
    form->frmConfiguration->cmdConfigClose->click();
    ASSERT_FALSE(form->frmConfiguration->isVisible());
    ExpectPanelWhereTheBarsSay();
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(Shown().contains(QRect(focused->mapTo(Client(), QPoint(0, 0)), focused->size())))
        << Name(focused).toStdString();
}

TEST_F(WindowLayout, EachFirmwareStatusShowsWholeInItsPlace)
{
    ASSERT_NO_FATAL_FAILURE(StartMaximized());
    QLabel* status = form->Label7[1];
    status->ensurePolished();  // its style sheet's bold font is the one that must fit
    for (const QString text :
         {"SOFTWARE LOADED", "NO UPDATE FOR THIS IMAGE", "NO SOFTWARE LOADED: THE FILE WAS REFUSED"}) {
        status->setText(text);
        const QRect room = status->contentsRect();
        const int flags = int(status->alignment()) | (status->wordWrap() ? int(Qt::TextWordWrap) : 0);
        const QRect needs = status->fontMetrics().boundingRect(room, flags, text);
        EXPECT_TRUE(room.contains(needs)) << text.toStdString() << " needs " << needs.width() << "x"
                                          << needs.height() << ", has " << room.width() << "x" << room.height();
    }
    EXPECT_FALSE(status->geometry().intersects(form->lblDeviceChk->geometry()));
    EXPECT_FALSE(status->geometry().intersects(form->lblHexFile->geometry()));
}

}  // namespace
}  // namespace kovrin
