#include "ComForm.h"

#include "HexHelpers.h"
#include "PortNames.h"

#include <QDir>
#include <algorithm>

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
    MSComm1.OnReceived = [this](QByteArrayView chunk) { AppendReceived(chunk); };
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

bool ComForm::Open(std::uint8_t comPort, qint32 baud, Failure onFailure)
{
    if (comPort != resolvedPort_ || resolvedPath_.isEmpty()) {
        resolvedPath_ = resolver_(comPort);
        resolvedPort_ = comPort;
    }
    if (baud != KeepBaud)
        baud_ = baud;

    SerialPort::Failure failure{8002, QStringLiteral("no device for COM") + QString::number(comPort)};
    if (!resolvedPath_.isEmpty()) {
        failure = MSComm1.Open(resolvedPath_, baud_);
        if (failure.Number == 0) {
            lastError_ = {};
            return true;
        }
    }

    lastError_ = {failure.Number, resolvedPath_, failure.Detail, OpenErrorMessage(failure.Number)};
    if (onFailure == Failure::Show && ShowMessage)
        ShowMessage(MessageTitle, lastError_.Message);
    return false;
}

void ComForm::CloseMScomm()
{
    MSComm1.Close();
}

void ComForm::ClearMScommInput()
{
    MSComm1.ClearInput();
    ReceiveBuffer.clear();
}

void ComForm::SendMScommString(const QByteArray& str)
{
    // The whole frame is in the driver when this returns, so it is on the
    // line before the reply wait starts.
    if (!MSComm1.Write(str, static_cast<int>(std::clamp(WriteTimeout * 1000.0, 0.0, 2e9))))
        return;

    if (display_ || Log.LogOn) {
        WriteOut(TxLine(str));
    } else {
        lastOutBytes_ = str;
        lastOutPending_ = true;
    }
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
