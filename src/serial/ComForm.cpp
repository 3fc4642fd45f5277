#include "ComForm.h"

#include "HexHelpers.h"
#include "PlatformSerial.h"
#include "PortNames.h"

#include <QDir>

namespace vlboot {
namespace {

constexpr qint32 Bauds[] = {9600, 57600, 115200};
constexpr qint32 KeepBaud = 0;

QString TxLine(const QByteArray& bytes)
{
    return QStringLiteral("TX: ") + HexStringToReadable(bytes);
}

} // namespace

ComForm::ComForm(const QString& configFolder, PortResolver resolver, QObject* parent)
    : QObject(parent)
    , Log(QDir(configFolder).filePath(QStringLiteral("Log.txt")))
    , resolver_(std::move(resolver))
{
    if (!resolver_) {
        resolver_ = [ini = IniFileHandler(QDir(configFolder).filePath(QStringLiteral("setup.ini")))](int comPort) {
            return PortDevicePath(comPort, ini);
        };
    }
    MSComm1.setBaudRate(Bauds[0]);
    MSComm1.setDataBits(QSerialPort::Data8);
    MSComm1.setParity(QSerialPort::NoParity);
    MSComm1.setStopBits(QSerialPort::OneStop);
    connect(&MSComm1, &QSerialPort::readyRead, this, &ComForm::OnReadyRead);
    connect(&MSComm1, &QSerialPort::errorOccurred, this, &ComForm::OnPortError);
}

ComForm::~ComForm() = default;

bool ComForm::SetupMScomm(std::uint8_t ComPort, std::uint8_t ComSpeed)
{
    CloseMScomm();
    if (ComPort == 0 || ComPort > 16)
        return false;
    return Open(ComPort, ComSpeed <= 2 ? Bauds[ComSpeed] : KeepBaud, Failure::Show);
}

bool ComForm::SetupMScommForProduction(std::uint8_t ComPort, std::uint8_t ComSpeed)
{
    CloseMScomm();
    return Open(ComPort, ComSpeed <= 2 ? Bauds[ComSpeed] : Bauds[0], Failure::Silent);
}

bool ComForm::Open(std::uint8_t comPort, qint32 baud, Failure failure)
{
    if (comPort != resolvedPort_ || resolvedPath_.isEmpty()) {
        resolvedPath_ = resolver_(comPort);
        resolvedPort_ = comPort;
    }
    if (baud != KeepBaud)
        MSComm1.setBaudRate(baud);

    QSerialPort::SerialPortError error = QSerialPort::DeviceNotFoundError;
    QString detail = QStringLiteral("no device for COM") + QString::number(comPort);
    if (!resolvedPath_.isEmpty()) {
        if (MSComm1.portName() != resolvedPath_)
            MSComm1.setPortName(resolvedPath_);
        if (MSComm1.open(QIODevice::ReadWrite)) {
            lastError_ = {};
            ++opens_;
            RequestLowLatency(MSComm1.handle());
            MSComm1.clear(QSerialPort::AllDirections);
            return true;
        }
        error = MSComm1.error();
        detail = MSComm1.errorString();
        MSComm1.clearError();
    }

    const int number = OpenErrorNumber(error);
    lastError_ = {number, resolvedPath_, detail, OpenErrorMessage(number)};
    if (failure == Failure::Show && ShowMessage)
        ShowMessage(MessageTitle, lastError_.Message);
    return false;
}

void ComForm::CloseMScomm()
{
    if (MSComm1.isOpen())
        MSComm1.close();
}

void ComForm::ClearMScommInput()
{
    if (MSComm1.isOpen()) {
        MSComm1.clear(QSerialPort::Input);
        // Bytes the port object had already taken from the driver.
        if (const qint64 held = MSComm1.bytesAvailable(); held > 0)
            MSComm1.skip(held);
    }
    ReceiveBuffer.clear();
}

void ComForm::SendMScommString(const QByteArray& str)
{
    if (!MSComm1.isOpen())
        return;
    // (clearError costs a translated text, so only when there is one)
    if (MSComm1.error() != QSerialPort::NoError)
        MSComm1.clearError();
    // Handed to the driver now rather than at the next event-loop pass, so
    // that the bytes are on the line before the reply wait starts.
    const bool written = MSComm1.write(str) == str.size();
    if (written)
        MSComm1.flush();
    if (!written || MSComm1.error() != QSerialPort::NoError) {
        if (MSComm1.error() != QSerialPort::NoError)
            MSComm1.clearError();
        return;
    }

    if (display_ || Log.LogOn) {
        WriteOut(TxLine(str));
    } else {
        lastOutBytes_ = str;
        lastOutPending_ = true;
    }
}

void ComForm::OnReadyRead()
{
    const QByteArray chunk = MSComm1.readAll();
    if (!chunk.isEmpty())
        AppendReceived(chunk);
}

void ComForm::OnPortError(QSerialPort::SerialPortError error)
{
    // A device that went away (adapter unplugged, the far end of a
    // pseudo-terminal closed) stays readable with nothing to read, so a
    // reply wait would spin on it. Close the port until the next frame opens
    // it again; the wait then sleeps out its time-out. The port is closed
    // from the event loop, not from inside the port's own notification, and
    // only if it was not opened anew in between.
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (!MSComm1.isOpen() || lostClosePending_)
        return;
    lostClosePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, opened = opens_] {
            lostClosePending_ = false;
            if (opened == opens_)
                CloseMScomm();
        },
        Qt::QueuedConnection);
}

void ComForm::WriteOut(const QString& str)
{
    lastOut_ = str;
    lastOutPending_ = false;
    if (display_)
        display_->ShowOut(str);
    if (Log.LogOn)
        Log.WriteLogLine(str, true);
}

void ComForm::WriteIn(const QString& str)
{
    lastIn_ = str;
    if (display_)
        display_->ShowIn(str);
    if (Log.LogOn)
        Log.WriteLogLine(str, true);
}

QString ComForm::LastOut() const
{
    if (lastOutPending_) {
        lastOut_ = TxLine(lastOutBytes_);
        lastOutBytes_.clear();
        lastOutPending_ = false;
    }
    return lastOut_;
}

int ComForm::OpenErrorNumber(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return 8002;
    case QSerialPort::PermissionError:
        return 8005;
    case QSerialPort::NotOpenError:
        return 8012;
    default:
        return 8100 + static_cast<int>(error);
    }
}

QString ComForm::OpenErrorMessage(int number)
{
    switch (number) {
    case 8002:
        return QStringLiteral("Comm Port not available!");
    case 8005:
        return QStringLiteral("Comm Port already open");
    case 8012:
        return QStringLiteral("Comm Port not open");
    default:
        return QStringLiteral("Unknown Comm port problem - Error ") + QString::number(number);
    }
}

QString ComForm::OpenError::ToString() const
{
    if (Number == 0)
        return {};
    return QStringLiteral("Error %1 on %2: %3")
        .arg(Number)
        .arg(DevicePath.isEmpty() ? QStringLiteral("(no device)") : DevicePath, Detail);
}

bool ProbeComPort(ComForm& link, int port, std::uint8_t comSpeed)
{
    link.ClearMScommInput();
    link.CloseMScomm();
    const bool ok = port >= 0 && port <= 255
        && link.SetupMScommForProduction(static_cast<std::uint8_t>(port), comSpeed);
    link.CloseMScomm();
    return ok;
}

} // namespace vlboot
