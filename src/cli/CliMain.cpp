// vlboot-cli: the command-line front end of the programming tool, for
// production lines and scripts. Runs one programming run with the settings of
// setup.ini, as the Start button of vlboot does; see HelpText() for the
// options, the output and the exit status.

#include "CliOptions.h"
#include "CliRun.h"
#include "CliSignals.h"
#include "IniFileHandler.h"
#include "PortList.h"
#include "Version.h"

#include <QCoreApplication>
#include <QDir>
#include <unistd.h>

using namespace vlboot::cli;

namespace {

QByteArray text(const QString& s)
{
    return s.toLocal8Bit();
}

int listPorts(const QString& configDir)
{
    const vlboot::IniFileHandler ini(QDir(configDir).filePath(QStringLiteral("setup.ini")));
    for (const QString& line : PortListing(AvailablePorts(), ini))
        WriteStdout(text(line) + '\n');
    return ExitCodes::Success;
}

} // namespace

int main(int argc, char** argv)
{
    InstallSignalHandlers();
    QCoreApplication app(argc, argv);
    HandleStopSignalsInEventLoop();

    const CliParse parse = ParseCliOptions(QCoreApplication::arguments().mid(1));
    if (!parse.options) {
        WriteStderr(text(QStringLiteral("vlboot-cli: ") + parse.error + QLatin1Char('\n') + UsageText()
                         + QStringLiteral("Try 'vlboot-cli --help'.\n")));
        return ExitCodes::Usage;
    }
    const CliOptions& options = *parse.options;
    if (options.help) {
        WriteStdout(text(HelpText()));
        return ExitCodes::Success;
    }
    if (options.version) {
        WriteStdout(QByteArray("vlboot-cli ") + vlboot::VersionText + '\n');
        return ExitCodes::Success;
    }

    const QString configDir = QDir(options.configDir.isEmpty() ? QCoreApplication::applicationDirPath() : options.configDir)
                                  .absolutePath();
    if (options.listPorts)
        return listPorts(configDir);

    if (!QDir().mkpath(configDir)) {
        WriteStderr(text(QStringLiteral("vlboot-cli: cannot create the settings folder %1\n").arg(configDir)));
        return ExitCodes::Usage;
    }
    return RunProgramming(options, configDir, {WriteStdout, WriteStderr}, ::isatty(STDERR_FILENO) == 1);
}
