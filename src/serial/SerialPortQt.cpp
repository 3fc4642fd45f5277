// The serial port through QSerialPort: on Windows, where the system itself
// gives a program the port exclusively and there are no lock files.

#include "SerialPort.h"

#include "PlatformSerial.h"
#include "PortError.h"

#include <QSerialPort>

namespace vlboot {
namespace {

// 8100 + the QSerialPort error for anything but the three the messages name
// (8000 + the value would make some of them read like 8005 or 8002).
int openErrorNumber(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError: return PortErrorNumbers::NotAvailable;
    case QSerialPort::PermissionError: return PortErrorNumbers::AlreadyOpen;
    case QSerialPort::NotOpenError: return PortErrorNumbers::NotOpen;
    default: return 8100 + static_cast<int>(error);
    }
}

} // namespace

struct SerialPort::Impl {
    QSerialPort port;
    int opens = 0; // successful opens so far
    bool lostClosePending = false;
};

SerialPort::SerialPort()
    : d(std::make_unique<Impl>())
{
    d->port.setDataBits(QSerialPort::Data8);
    d->port.setParity(QSerialPort::NoParity);
    d->port.setStopBits(QSerialPort::OneStop);
    QObject::connect(&d->port, &QSerialPort::readyRead, [this] {
        const QByteArray chunk = d->port.readAll();
        if (!chunk.isEmpty() && OnReceived)
            OnReceived(chunk);
    });
    // A device that went away stays readable with nothing to read; it is
    // closed from the event loop, not from inside the port's own
    // notification, and only if it was not opened anew in between.
    QObject::connect(&d->port, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
        if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
            return;
        if (!d->port.isOpen() || d->lostClosePending)
            return;
        d->lostClosePending = true;
        QMetaObject::invokeMethod(
            &d->port,
            [this, opened = d->opens] {
                d->lostClosePending = false;
                if (opened == d->opens)
                    Close();
            },
            Qt::QueuedConnection);
    });
}

SerialPort::~SerialPort() = default;

SerialPort::Failure SerialPort::Open(const QString& device, qint32 baud)
{
    Close();
    if (d->port.portName() != device)
        d->port.setPortName(device);
    d->port.setBaudRate(baud);
    if (d->port.open(QIODevice::ReadWrite)) {
        ++d->opens;
        RequestLowLatency(d->port.handle());
        d->port.clear(QSerialPort::AllDirections);
        return {};
    }
    const Failure failure{openErrorNumber(d->port.error()), d->port.errorString()};
    d->port.clearError();
    return failure;
}

void SerialPort::Close()
{
    if (d->port.isOpen())
        d->port.close();
}

bool SerialPort::IsOpen() const
{
    return d->port.isOpen();
}

void SerialPort::ClearInput()
{
    if (!d->port.isOpen())
        return;
    d->port.clear(QSerialPort::Input);
    // Bytes the port object had already taken from the driver.
    if (const qint64 held = d->port.bytesAvailable(); held > 0)
        d->port.skip(held);
}

bool SerialPort::Write(QByteArrayView bytes, int timeoutMs)
{
    if (!d->port.isOpen())
        return false;
    // (clearError costs a translated text, so only when there is one)
    if (d->port.error() != QSerialPort::NoError)
        d->port.clearError();
    // Handed to the driver now rather than at the next event-loop pass, so
    // that the bytes are on the line before the reply wait starts. (The
    // port object takes whatever the driver has no room for.)
    (void)timeoutMs;
    const bool written = d->port.write(bytes.data(), bytes.size()) == bytes.size();
    if (written)
        d->port.flush();
    const bool failed = !written || d->port.error() != QSerialPort::NoError;
    if (d->port.error() != QSerialPort::NoError)
        d->port.clearError();
    return !failed;
}

void SerialPort::BeginHold() {}

void SerialPort::EndHold() {}

} // namespace vlboot
