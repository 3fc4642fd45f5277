// vlboot: the GUI program that programs firmware into the Velmora module of
// an amplifier, or into a production fixture, over RS-232.
//
//   vlboot [--config-dir DIR] [FILE]   start the main window; setup.ini and
//                               Log.txt live in DIR (default: see
//                               ConfigFolder.h); FILE goes into the file box
//                               as if it had been chosen with Browse
//   vlboot --line [--config-dir DIR]  start the production window instead:
//                               units programmed as they are placed on
//                               the ports of [Production] (Ports=)
//   vlboot --help | --version
//
// Exit codes: 0 normal end; 64 bad command line (usage on stderr), also a
// --config-dir that is not an existing folder; 66 FILE is not an existing
// file; 69 no display to show the window on; 73 the user's configuration
// folder cannot be created.

#include "ConfigFolder.h"
#include "Dialogs.h"
#include "ExitStatus.h"
#include "Platform.h"
#include "ProductionWindow.h"
#include "VLboot.h"
#include "Version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstdio>

namespace {


struct CommandLine {
    bool ok = false;
    bool help = false;
    bool version = false;
    bool quitAfterStartup = false;
    bool line = false;
    vlboot::ConfigFolder configFolder;
    QString firmwareFile; // empty: the one remembered in setup.ini
    QString error;
    QString helpText;
};

void print(std::FILE* to, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

CommandLine parse(int argc, char** argv)
{
    // A core application of its own, so that the usage names the program
    // as it was called; the GUI comes only when the window is to be shown.
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Velmora Bootloader: programs a firmware file (*.ldr) into the Velmora module of an amplifier, "
        "or into a production fixture, over a serial line."));
    const QCommandLineOption configDir(QStringLiteral("config-dir"),
                                       QStringLiteral("Folder of setup.ini and Log.txt (default: the program's own folder; "
                                                      "for an installed program $XDG_CONFIG_HOME/vlboot, or "
                                                      "~/.config/vlboot, created on first use)."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the program's version."));
    // For automated checks of the installation: starts up, shows the window
    // and ends at once.
    QCommandLineOption quitAfterStartup(QStringLiteral("quit-after-startup"), QStringLiteral("Ends after start-up."));
    quitAfterStartup.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption productionLine(QStringLiteral("line"),
                                            QStringLiteral("Starts the production window: a unit is programmed the moment it is "
                                                           "placed on one of the ports of [Production] in setup.ini."));
    parser.addOptions({configDir, productionLine, help, version, quitAfterStartup});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("Firmware file to put into the file box, as if chosen with Browse."),
                                 QStringLiteral("[FILE]"));

    CommandLine line;
    line.helpText = parser.helpText();
    if (!parser.parse(app.arguments())) {
        line.error = parser.errorText();
        return line;
    }
    if (parser.positionalArguments().size() > 1) {
        line.error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().at(1));
        return line;
    }
    line.ok = true;
    line.help = parser.isSet(help);
    line.version = parser.isSet(version);
    line.quitAfterStartup = parser.isSet(quitAfterStartup);
    line.line = parser.isSet(productionLine);
    if (line.line && !parser.positionalArguments().isEmpty()) {
        line.ok = false;
        line.error = QStringLiteral("The production window takes no FILE: choose it with Browse... (FirmwareFile= of [Production]).");
        return line;
    }
    if (parser.isSet(configDir) && parser.value(configDir).isEmpty()) {
        line.ok = false;
        line.error = QStringLiteral("The folder after --config-dir is empty.");
        return line;
    }
    if (parser.isSet(configDir) && !QFileInfo(parser.value(configDir)).isDir()) {
        // A typo would otherwise start a fresh setup.ini.
        line.ok = false;
        line.error = QStringLiteral("--config-dir %1 is not an existing folder.").arg(parser.value(configDir));
        return line;
    }
    line.configFolder = vlboot::FindConfigFolder(parser.value(configDir));
    line.helpText += QLatin1Char('\n') + vlboot::ConfigFolderInUse(line.configFolder);
    if (!parser.positionalArguments().isEmpty())
        line.firmwareFile = parser.positionalArguments().constFirst();
    return line;
}

// Without a display the toolkit would abort; say what to do instead.
bool displayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY")
        || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    if (const vlboot::Outcome text = vlboot::platform::ArgumentsAreText(argc, argv); !text) {
        print(stderr, QStringLiteral("vlboot: ") + text.why() + QStringLiteral("\n"));
        return vlboot::ExitStatus::Usage;
    }
    const CommandLine line = parse(argc, argv);
    if (!line.ok) {
        print(stderr, QStringLiteral("vlboot: ") + line.error + QStringLiteral("\n\n") + line.helpText);
        return vlboot::ExitStatus::Usage;
    }
    if (line.help) {
        print(stdout, line.helpText);
        return 0;
    }
    if (line.version) {
        print(stdout, QStringLiteral("vlboot ") + QLatin1String(vlboot::VersionText) + QLatin1Char('\n'));
        return 0;
    }
    if (!line.firmwareFile.isEmpty() && !QFileInfo(line.firmwareFile).isFile()) {
        print(stderr, QStringLiteral("vlboot: %1 is not a file.\n").arg(line.firmwareFile));
        return vlboot::ExitStatus::NoInput;
    }
    if (!displayAvailable()) {
        print(stderr, QStringLiteral("vlboot: no display to show the window on. Start it in a desktop session, "
                                     "or under a virtual display: xvfb-run -a vlboot (package xvfb).\n"));
        return vlboot::ExitStatus::Unavailable;
    }

    QApplication app(argc, argv);
    // The desktop entry and the icon of the installed program.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.velmora.vlboot"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vlboot")));
    const QString configDir = line.configFolder.path;
    if (!vlboot::CreateConfigFolder(configDir)) {
        print(stderr, QStringLiteral("vlboot: cannot create the configuration folder %1\n").arg(configDir));
        return vlboot::ExitStatus::CannotCreate;
    }

    vlboot::QtDialogs dialogs;
    if (line.line) {
        const QString unitProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/vlboot-cli");
        vlboot::ProductionWindow window(configDir, dialogs, unitProgram);
        window.show();
        if (line.quitAfterStartup)
            QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
        return app.exec();
    }
    vlboot::VLboot window(configDir, dialogs);
    if (!line.firmwareFile.isEmpty())
        window.FirmwareFileChosen(line.firmwareFile);
    window.show();
    if (line.quitAfterStartup)
        QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
    return app.exec();
}
