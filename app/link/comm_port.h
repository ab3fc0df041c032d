#pragma once
// The serial comm control: port number, settings text, DTR/RTS, a receive
// threshold and a receive event, over QSerialPort. Writes leave at once.

#include <QObject>
#include <QSerialPort>
#include <QString>

#include "app/link/serial_port.h"

namespace kovrin {

// Device of port COMn: the target of a link "COMn" in the first of `folders`
// that has one, else /dev/ttyS<n-1>.
QString ResolveComPort(int n, const QStringList& folders);

class CommPort : public QObject, public SerialPort {
    Q_OBJECT
public:
    // COMn links are looked up in `linkFolders`.
    explicit CommPort(const QStringList& linkFolders, QObject* parent = nullptr);

    int CommPortNumber = 1;
    QString Settings = "9600, N, 8, 1";
    int InputLen = 0;   // every read takes everything waiting
    int RThreshold = 1;  // the receive event fires for the first byte
    bool DTREnable = true;
    bool RTSEnable = true;

    // Opens or closes the port; false with ErrorDescription() on failure.
    bool SetPortOpen(bool open);
    bool Open(int number, const char* settings) override;
    void Close() override { SetPortOpen(false); }
    bool PortOpen() const override { return port_.isOpen(); }
    QString ErrorDescription() const { return error_; }
    // The speed the port is set to now.
    qint32 BaudRate() const { return port_.baudRate(); }

    // Event code of the last receive event.
    int CommEvent = 0;
    // Everything received and not read yet.
    Bytes Input() override;
    // Writes the bytes and waits until they have left.
    bool Output(const Bytes& bytes) override;
    // Blocks for `ms` milliseconds while still taking in what arrives.
    void Wait(int ms) override;

signals:
    void OnComm();

private:
    bool ApplySettings();
    void Received();

    const QStringList linkFolders_;
    QSerialPort port_;
    QString error_;
};

}  // namespace kovrin
