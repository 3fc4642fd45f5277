#include "PortProbe.h"

#include "DeviceProtocol.h"
#include "Link.h"
#include "PlatformSerial.h"
#include "PortList.h"
#include "ProgrammingSession.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <array>
#include <memory>
#include <vector>

namespace vlboot::cli {
namespace {

constexpr std::array<const char*, 5> AnswerNames{"amplifier", "fixture", "nothing", "held", "unavailable"};

// Far beyond a probe's own wait: only a hung probe meets it.
constexpr int ProbeProcessTimeoutMs = 30000;

} // namespace

QString AnswerName(ProbeAnswer::Answer answer)
{
    return QLatin1String(AnswerNames.at(static_cast<std::size_t>(answer)));
}

std::optional<ProbeAnswer::Answer> AnswerOf(const QString& name)
{
    for (std::size_t i = 0; i < AnswerNames.size(); ++i) {
        if (name == QLatin1String(AnswerNames[i]))
            return static_cast<ProbeAnswer::Answer>(i);
    }
    return std::nullopt;
}

Settings::Line ProbeLineOf(const CliOptions& options, const IniFileHandler& ini)
{
    Settings::Line line = Settings::PeekLine(ini);
    if (options.speedIndex)
        line.speedIndex = *options.speedIndex;
    if (options.address)
        line.address = *options.address;
    return line;
}

QStringList ProbeCandidates(const IniFileHandler& ini)
{
    QStringList devices;
    for (const PortEntry& port : AvailablePorts())
        devices << port.devicePath;
    for (int n = 1; n <= PortCount; ++n) {
        const QString mapped = MappedDevice(n, ini);
        if (!mapped.isEmpty() && QFileInfo::exists(mapped))
            devices << mapped;
    }
    devices.removeDuplicates();
    return devices;
}

ProbeAnswer ProbePort(const QString& configDir, const QString& device, const Settings::Line& line)
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

    ProbeAnswer a{device, ProbeAnswer::Nothing, {}};
    const OpenFailure error = session.link().LastOpenFailure();
    if (error.Kind() == PortError::AlreadyOpen) {
        a.answer = ProbeAnswer::Held;
        a.detail = error.detail.isEmpty() ? error.message : error.detail;
    } else if (error.Kind() != PortError::None) {
        a.answer = ProbeAnswer::Unavailable;
        a.detail = error.ToString();
    } else if (type == DeviceTypes::Fixture) {
        a.answer = ProbeAnswer::Fixture;
    } else if (type == DeviceTypes::Amplifier) {
        a.answer = ProbeAnswer::Amplifier;
    } else {
        a.detail = protocol.OpState == OpStates::Timeout ? QStringLiteral("no answer within %1 s").arg(ProbeReplyTimeout)
                                                         : QStringLiteral("an answer that is no detection reply");
    }
    return a;
}

QList<ProbeAnswer> ProbePorts(const QString& configDir, const QStringList& devices, const Settings::Line& line)
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
        process.waitForFinished(ProbeProcessTimeoutMs);
        const QJsonObject o = QJsonDocument::fromJson(process.readAllStandardOutput().trimmed()).object();
        const auto answer = AnswerOf(o.value(QStringLiteral("answer")).toString());
        ProbeAnswer a{devices.at(static_cast<qsizetype>(i)), answer.value_or(ProbeAnswer::Unavailable),
                      o.value(QStringLiteral("detail")).toString()};
        if (!answer) {
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
                                         {QStringLiteral("answer"), AnswerName(a.answer)},
                                         {QStringLiteral("detail"), a.detail.isEmpty() ? QJsonValue() : QJsonValue(a.detail)}})
                   .toJson(QJsonDocument::Compact)
            + '\n';
    QString text = QStringLiteral("%1 %2").arg(a.device, -20).arg(AnswerName(a.answer), -11);
    if (!a.detail.isEmpty())
        text += QLatin1Char(' ') + a.detail;
    return text.trimmed().toLocal8Bit() + '\n';
}

} // namespace vlboot::cli
