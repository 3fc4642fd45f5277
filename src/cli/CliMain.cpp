// vlboot-cli: the command-line front end of the programming tool, for
// production lines and scripts. Runs one programming run with the settings of
// setup.ini, as the Start button of vlboot does; see HelpText() for the
// options, the output and the exit status.

#include "CliOptions.h"
#include "Settings.h"
#include "CliRun.h"
#include "ConfigFolder.h"
#include "DatabaseCommands.h"
#include "FileCheckReport.h"
#include "IniFileHandler.h"
#include "Platform.h"
#include "PortList.h"
#include "PortProbe.h"
#include "ProductionLine.h"
#include "TerminalText.h"
#include "Version.h"
#include "WatchMode.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace vlboot;
using namespace vlboot::cli;

namespace {

QByteArray text(const QString& s)
{
    return s.toLocal8Bit();
}

int listPorts(const QString& configDir, bool json)
{
    const IniFileHandler ini(SettingsFilePath(configDir));
    const QList<PortEntry> ports = AvailablePorts();
    const QStringList lines = json ? PortListingJson(ports, ini) : PortListing(ports, ini);
    for (const QString& line : lines)
        platform::WriteStandardOutput(text(json ? line : EscapeForTerminal(line)) + '\n');
    return ExitStatus::Success;
}

// --list-ports --probe: what answers on every port (or on those named).
int probePorts(const CliOptions& options, const QString& configDir)
{
    const IniFileHandler ini(SettingsFilePath(configDir));
    QStringList devices;
    for (const QString& port : options.ports)
        devices << DeviceOfPort(port, ini);
    if (devices.isEmpty())
        devices = ProbeCandidates(ini);
    const Settings::Line line = ProbeLineOf(options, ini);
    const QList<ProbeAnswer> answers = devices.size() == 1 ? QList<ProbeAnswer>{ProbePort(configDir, devices.constFirst(), line)}
                                                           : ProbePorts(configDir, devices, line);
    for (const ProbeAnswer& answer : answers)
        platform::WriteStandardOutput(ProbeAnswerLine(answer, options.json));
    return ExitStatus::Success;
}

int usageError(const QString& error)
{
    platform::WriteStandardError(text(QStringLiteral("vlboot-cli: ") + EscapeForTerminal(error) + QLatin1Char('\n') + UsageText()
                                      + QStringLiteral("Try 'vlboot-cli --help'.\n")));
    return ExitStatus::Usage;
}

// What the command line asks for, to its end: the exit status.
int runCommand(int stopSignalFd)
{
    const CliParse parse = ParseCliOptions(QCoreApplication::arguments().mid(1));
    if (!parse.options)
        return usageError(parse.error);
    const CliOptions& options = *parse.options;
    const ConfigFolder folder = FindConfigFolder(options.configDir);
    if (options.help) {
        platform::WriteStandardOutput(text(HelpText() + QLatin1Char('\n') + ConfigFolderInUse(folder)));
        return ExitStatus::Success;
    }
    if (options.version) {
        platform::WriteStandardOutput(QByteArray("vlboot-cli ") + VersionText + '\n');
        return ExitStatus::Success;
    }
    // A folder named on the command line must be there: a typo would
    // otherwise start a fresh setup.ini whose serial counter is "?".
    if (!options.configDir.isEmpty() && !QFileInfo(options.configDir).isDir())
        return usageError(QStringLiteral("--config-dir %1 is not an existing folder.").arg(options.configDir));

    const CliOutput output{platform::WriteStandardOutput, platform::WriteStandardError, platform::StandardErrorColumns,
                           platform::StandardErrorRows};
    if (options.check)
        return RunFileCheck(options, output);

    const QString configDir = folder.path;
    if (options.listPorts && options.probe)
        return probePorts(options, configDir);
    if (options.listPorts)
        return listPorts(configDir, options.json);
    if (const std::optional<int> refused = RefuseMissingDatabase(options, configDir, output))
        return *refused;
    if (options.records || options.setNextSerial)
        return RunDatabaseCommand(options, configDir, output);

    // The user's configuration folder is made on first use.
    if (!CreateConfigFolder(configDir)) {
        platform::WriteStandardError(text(QStringLiteral("vlboot-cli: cannot create the settings folder %1\n").arg(EscapeForTerminal(configDir))));
        return ExitStatus::CannotCreate;
    }
    if (options.watch)
        return RunWatch(options, configDir, output, {platform::StandardOutputIsTerminal(), platform::StandardErrorIsTerminal()},
                        stopSignalFd);
    if (options.ports.size() > 1 || options.autoPorts)
        return RunProductionLine(options, configDir, output,
                                 {platform::StandardOutputIsTerminal(), platform::StandardErrorIsTerminal()}, stopSignalFd);
    return RunProgramming(options, configDir, output, platform::StandardErrorIsTerminal(), stopSignalFd);
}

} // namespace

int main(int argc, char** argv)
{
    const int stopSignalFd = platform::InstallStopSignals();
    // Qt's own event dispatcher rather than GLib's: every reply wait is one
    // ppoll that the reply ends. GLib's adds an eventfd write for each
    // change of the port's notifier (two per frame) and the read of it,
    // which also wakes its next poll at once for nothing. (The window keeps
    // GLib's, which desktop integration may need.)
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    if (const Outcome text = platform::ArgumentsAreText(argc, argv); !text)
        return usageError(text.why());
    const int status = runCommand(stopSignalFd);
    // Output that did not reach standard output (a full disk, a closed
    // pipe) is said, and what would have been a success is not one.
    const QString failure = platform::StandardOutputFailure();
    if (failure.isEmpty())
        return status;
    platform::WriteStandardError(
        text(QStringLiteral("vlboot-cli: standard output could not be written (%1): what it shows is incomplete\n").arg(failure)));
    return status == ExitStatus::Success ? ExitStatus::Fault : status;
}
