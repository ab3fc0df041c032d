// Reading and writing the acceptor's configuration over the serial link.

#include <QLabel>
#include <QTimer>

#include "acceptor_variant.h"
#include "eeprom_map.h"
#include "form_main.h"
#include "message_seam.h"

namespace kovrin {

namespace {

QString NoLayoutMessage(int variant)
{
    return QString("The %1 acceptor has no configuration that Kovrin can read or write.")
        .arg(QString::fromStdString(VariantName(variant)));
}

}  // namespace

bool FormMain::ConfigurationPossible()
{
    if (LayoutOfVariant(AcceptorVariant) != EepromLayout::None)
        return true;
    MsgBox(this, NoLayoutMessage(AcceptorVariant));
    return false;
}

void FormMain::cmdRefresh_Click()
{
    if (!SerialMode())
        return;  // reading from the programming module comes with the module client
    if (!ConfigurationPossible())
        return;
    ManageButtonStates(AcceptorVariant, False);
    tmrPoll->stop();
    MSComm1->Wait(20);
    Connect();
    tmrPoll->stop();  // no poll between the request and its answer
    PDTCommand(CmdReadConfiguration);
    tmrGuard->start(1500);  // polling comes back if the acceptor does not answer
}

}  // namespace kovrin
