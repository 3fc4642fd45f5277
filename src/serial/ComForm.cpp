#include "ComForm.h"
#include "Settings.h"

#include "HexHelpers.h"
#include "PlatformSerial.h"

#include <QDir>
#include <algorithm>

namespace vlboot {
namespace {

constexpr qint32 KeepBaud = 0;

QString txLine(const QByteArray& bytes)
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
        resolver_ = [ini = IniFileHandler(SettingsFilePath(configFolder))](int comPort) {
            return PortDevicePath(comPort, ini);
        };
    }
    MSComm1.OnReceived = [this](QByteArrayView chunk) { AppendReceived(chunk); };
}

ComForm::~ComForm() = default;

bool ComForm::SetupMScomm(std::uint8_t ComPort, std::uint8_t ComSpeed)
{
    CloseMScomm();
    if (ComPort == 0 || ComPort > PortCount)
        return false;
    return Open(ComPort, ComSpeed < BaudRates.size() ? BaudRates[ComSpeed] : KeepBaud, Failure::Show);
}

bool ComForm::SetupMScommForProduction(std::uint8_t ComPort, std::uint8_t ComSpeed)
{
    CloseMScomm();
    return Open(ComPort, ComSpeed < BaudRates.size() ? BaudRates[ComSpeed] : BaudRates[0], Failure::Silent);
}

bool ComForm::Open(std::uint8_t comPort, qint32 baud, Failure onFailure)
{
    if (comPort != resolvedPort_ || resolvedPath_.isEmpty()) {
        resolvedPath_ = resolver_(comPort);
        resolvedPort_ = comPort;
    }
    if (baud != KeepBaud)
        baud_ = baud;

    SerialPort::Failure failure{PortErrorNumbers::NotAvailable, QStringLiteral("no device for COM") + QString::number(comPort)};
    if (!resolvedPath_.isEmpty()) {
        failure = MSComm1.Open(resolvedPath_, baud_);
        if (failure.number == 0) {
            lastError_ = {};
            return true;
        }
    }

    lastError_ = {failure.number, resolvedPath_, failure.detail, OpenFailure::MessageOf(failure.number)};
    if (onFailure == Failure::Show && ShowMessage)
        ShowMessage(MessageTitle, lastError_.message);
    return false;
}

void ComForm::CloseMScomm()
{
    MSComm1.Close();
}

void ComForm::ClearMScommInput()
{
    MSComm1.ClearInput();
    EmptyReceiveBuffer();
}

void ComForm::SendMScommString(const QByteArray& str)
{
    // The whole frame is in the driver when this returns, so it is on the
    // line before the reply wait starts.
    if (!MSComm1.Write(str, static_cast<int>(std::clamp(writeTimeout_ * 1000.0, 0.0, 2e9))))
        return;

    // (the text is made only when something shows or logs it: a run sends
    // thousands of frames)
    if (display_ || Log.LogOn)
        WriteOut(txLine(str));
}

void ComForm::WriteOut(const QString& str)
{
    if (display_)
        display_->ShowOut(str);
    if (Log.LogOn)
        Log.WriteLogLine(str, true);
}

void ComForm::WriteIn(const QString& str)
{
    if (display_)
        display_->ShowIn(str);
    if (Log.LogOn)
        Log.WriteLogLine(str, true);
}

QString ComForm::DevicePathOf(int comPort) const
{
    return comPort == resolvedPort_ && !resolvedPath_.isEmpty() ? resolvedPath_ : resolver_(comPort);
}

bool ComForm::CanOpen(int comPort, std::uint8_t comSpeed)
{
    ClearMScommInput();
    CloseMScomm();
    const bool ok = comPort >= 1 && comPort <= PortCount && SetupMScommForProduction(static_cast<std::uint8_t>(comPort), comSpeed);
    CloseMScomm();
    return ok;
}

} // namespace vlboot
