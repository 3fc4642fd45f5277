#include "PortProbe.h"

#include "ComForm.h"
#include "DeviceProtocol.h"
#include "NumberText.h"
#include "PlatformSerial.h"
#include "PortList.h"
#include "ProgrammingSession.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <memory>
#include <vector>

namespace vlboot::cli {

ProbeLine ProbeLineOf(const CliOptions& options, const IniFileHandler& ini)
{
    ProbeLine line;
    const QString speed = ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("ComSpeed"), QString());
    line.speedIndex = options.speedIndex ? *options.speedIndex
                                         : SpeedIndexOf(IsNumeric(speed) ? NumberValue(speed) : 0).value_or(0);
    const QString address = ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("DevAdr"), QString());
    line.address = options.address ? *options.address : address.isEmpty() ? QStringLiteral("1") : address;
    return line;
}

QStringList ProbeCandidates(const IniFileHandler& ini)
{
    QStringList devices;
    for (const PortEntry& port : AvailablePorts())
        devices << port.devicePath;
    for (int n = 1; n <= PortCount; ++n) {
        const QString mapped = ini.ReadIni(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(n), QString()).trimmed();
        if (!mapped.isEmpty() && QFileInfo::exists(mapped))
            devices << mapped;
    }
    devices.removeDuplicates();
    return devices;
}

QString DeviceOfPort(const QString& port, const IniFileHandler& ini)
{
    const auto parsed = ParsePortArgument(port);
    if (parsed && parsed->number)
        return PortDevicePath(*parsed->number, ini);
    return port;
}

ProbeAnswer ProbePort(const QString& configDir, const QString& device, const ProbeLine& line)
{
    ProgrammingSession session(configDir, [device](int) { return device; });
    Settings& settings = session.settings();
    settings.ComPort = 1;
    settings.ComSpeed = line.speedIndex;
    settings.DevAdr = line.address;
    DeviceProtocol& protocol = session.protocol();
    protocol.ReplyTimeout = ProbeReplyTimeout;
    const std::uint8_t type = protocol.DetectDevice();
    session.link().CloseMScomm();

    ProbeAnswer a{device, QStringLiteral("nothing"), {}};
    const ComForm::OpenError& error = session.SerialPort()->LastOpenError();
    if (error.number == 8005) {
        a.answer = QStringLiteral("held");
        a.detail = error.detail.isEmpty() ? error.message : error.detail;
    } else if (error.number != 0) {
        a.answer = QStringLiteral("unavailable");
        a.detail = error.ToString();
    } else if (type == DeviceTypes::Fixture) {
        a.answer = QStringLiteral("fixture");
    } else if (type == DeviceTypes::Amplifier) {
        a.answer = QStringLiteral("amplifier");
    } else {
        a.detail = protocol.OpState == OpStates::Timeout
            ? QStringLiteral("no answer within %1 s").arg(ProbeReplyTimeout)
            : QStringLiteral("an answer that is no detection reply");
    }
    return a;
}

QList<ProbeAnswer> ProbePorts(const QString& configDir, const QStringList& devices, const ProbeLine& line)
{
    std::vector<std::unique_ptr<QProcess>> probes;
    for (const QString& device : devices) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList args{QStringLiteral("--list-ports"), QStringLiteral("--probe"), QStringLiteral("--json"),
                         QStringLiteral("--port"), device, QStringLiteral("--speed"),
                         QString::number(BaudRates.at(line.speedIndex)), QStringLiteral("--address"), line.address};
        // (--list-ports makes no settings folder, so an installed program's may not be there yet.)
        if (QFileInfo(configDir).isDir())
            args << QStringLiteral("--config-dir") << configDir;
        process->start(QCoreApplication::applicationFilePath(), args);
        probes.push_back(std::move(process));
    }
    QList<ProbeAnswer> answers;
    for (std::size_t i = 0; i < probes.size(); ++i) {
        QProcess& process = *probes[i];
        // Far beyond the probe's own wait: only a hung probe meets it.
        process.waitForFinished(30000);
        const QJsonObject o = QJsonDocument::fromJson(process.readAllStandardOutput().trimmed()).object();
        ProbeAnswer a{devices.at(static_cast<qsizetype>(i)), o.value(QStringLiteral("answer")).toString(),
                      o.value(QStringLiteral("detail")).toString()};
        if (a.answer.isEmpty()) {
            a.answer = QStringLiteral("unavailable");
            a.detail = QStringLiteral("the probe ended without an answer");
            process.kill();
            process.waitForFinished(1000);
        }
        answers << a;
    }
    return answers;
}

QByteArray ProbeAnswerLine(const ProbeAnswer& a, bool json)
{
    if (json)
        return QJsonDocument(QJsonObject{{QStringLiteral("event"), QStringLiteral("probe")},
                                         {QStringLiteral("device"), a.device},
                                         {QStringLiteral("answer"), a.answer},
                                         {QStringLiteral("detail"), a.detail.isEmpty() ? QJsonValue() : QJsonValue(a.detail)}})
                   .toJson(QJsonDocument::Compact)
            + '\n';
    QString text = QStringLiteral("%1 %2").arg(a.device, -20).arg(a.answer, -11);
    if (!a.detail.isEmpty())
        text += QLatin1Char(' ') + a.detail;
    return text.trimmed().toLocal8Bit() + '\n';
}

} // namespace vlboot::cli
