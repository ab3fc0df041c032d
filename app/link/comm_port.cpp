#include "app/link/comm_port.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStringList>
#include <QThread>

namespace kovrin {

QString ResolveComPort(int n, const QStringList& folders)
{
    for (const QString& folder : folders) {
        const QFileInfo link(folder + "/COM" + QString::number(n));
        if (link.isSymLink())
            return link.symLinkTarget();
    }
    return "/dev/ttyS" + QString::number(n - 1);
}

CommPort::CommPort(const QStringList& linkFolders, QObject* parent) : QObject(parent), linkFolders_(linkFolders)
{
    connect(&port_, &QSerialPort::readyRead, this, &CommPort::Received);
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // Read and resource errors stand for the line errors of the receive event.
        if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError) {
            CommEvent = comEventRxOver;
            emit OnComm();
        }
    });
}

bool CommPort::ApplySettings()
{
    // "9600, N, 8, 1": speed, parity, data bits, stop bits.
    const QStringList parts = Settings.split(',', Qt::SkipEmptyParts);
    if (parts.size() != 4) {
        error_ = "Invalid port settings \"" + Settings + "\"";
        return false;
    }
    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    const QString parity = parts[1].trimmed().toUpper();
    const int dataBits = parts[2].trimmed().toInt();
    const QString stopBits = parts[3].trimmed();
    if (!ok || baud <= 0 || dataBits < 5 || dataBits > 8) {
        error_ = "Invalid port settings \"" + Settings + "\"";
        return false;
    }
    port_.setBaudRate(baud);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(dataBits));
    port_.setParity(parity == "E"   ? QSerialPort::EvenParity
                    : parity == "O" ? QSerialPort::OddParity
                    : parity == "M" ? QSerialPort::MarkParity
                    : parity == "S" ? QSerialPort::SpaceParity
                                    : QSerialPort::NoParity);
    port_.setStopBits(stopBits == "2" ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

bool CommPort::SetPortOpen(bool open)
{
    error_.clear();
    if (!open) {
        if (port_.isOpen())
            port_.close();
        return true;
    }
    if (port_.isOpen()) {
        error_ = "Port already open";
        return false;
    }
    port_.setPortName(ResolveComPort(CommPortNumber, linkFolders_));
    if (!ApplySettings())
        return false;
    if (!port_.open(QIODevice::ReadWrite)) {
        error_ = port_.errorString();
        port_.clearError();
        return false;
    }
    // A pseudo-terminal has no modem lines; that is no reason to refuse the port.
    port_.setDataTerminalReady(DTREnable);
    port_.setRequestToSend(RTSEnable);
    port_.clearError();
    port_.clear();
    return true;
}

bool CommPort::Open(int number, const char* settings)
{
    CommPortNumber = number;
    Settings = settings;
    InputLen = 0;
    RThreshold = 1;
    DTREnable = true;
    RTSEnable = true;
    return SetPortOpen(true);
}

Bytes CommPort::Input()
{
    const QByteArray data = port_.readAll();
    return Bytes(data.begin(), data.end());
}

bool CommPort::Output(const Bytes& bytes)
{
    if (!port_.isOpen())
        return false;
    const qint64 n = port_.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    if (n != qint64(bytes.size()))
        return false;
    while (port_.bytesToWrite() > 0)
        if (!port_.waitForBytesWritten(1000))
            return false;
    return true;
}

void CommPort::Wait(int ms)
{
    QDeadlineTimer deadline(ms);
    {
        // No receive event inside the pause; what arrived raises one afterwards.
        const QSignalBlocker quiet(port_);
        while (!deadline.hasExpired()) {
            if (!port_.isOpen() || !port_.waitForReadyRead(int(deadline.remainingTime())))
                QThread::msleep(qMax<qint64>(0, deadline.remainingTime()));
        }
    }
    if (port_.isOpen() && port_.bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &CommPort::Received, Qt::QueuedConnection);
}

void CommPort::Received()
{
    if (!port_.isOpen() || port_.bytesAvailable() == 0)
        return;
    CommEvent = comEvReceive;
    emit OnComm();
}

}  // namespace kovrin
