#include "ConfigFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace vlboot {
namespace {

QString clean(const QString& path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

bool isUnder(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

ConfigFolder ChooseConfigFolder(const ConfigFolderFacts& facts)
{
    if (!facts.option.isEmpty())
        return {clean(facts.option), ConfigFolder::Source::Option};
    const QString program = clean(facts.programDir);
    const bool installed = !facts.programDirWritable || isUnder(program, QStringLiteral("/usr"))
        || (!facts.installBinDir.isEmpty() && program == clean(facts.installBinDir));
    if (!installed)
        return {program, ConfigFolder::Source::ProgramFolder};
    const QString base = QDir::isAbsolutePath(facts.xdgConfigHome) ? facts.xdgConfigHome
                                                                    : facts.home + QStringLiteral("/.config");
    return {clean(base + QStringLiteral("/vlboot")), ConfigFolder::Source::UserFolder};
}

ConfigFolder FindConfigFolder(const QString& option)
{
    ConfigFolderFacts facts;
    facts.option = option;
    facts.programDir = QCoreApplication::applicationDirPath();
#if defined(Q_OS_WIN)
    // Beside the program, unless its folder cannot be written (installed
    // under Program Files): then the user's own, %LOCALAPPDATA%\vlboot.
    // (A folder's attributes do not tell, its access list does: a trial
    // file is asked.)
    QTemporaryFile trial(facts.programDir + QStringLiteral("/vlboot-XXXXXX.tmp"));
    facts.programDirWritable = trial.open();
    facts.xdgConfigHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#else
    facts.programDirWritable = QFileInfo(facts.programDir).isWritable();
    const QString bin = QStringLiteral(VLBOOT_INSTALL_BINDIR);
    const QString canonicalBin = QFileInfo(bin).canonicalFilePath();
    facts.installBinDir = canonicalBin.isEmpty() ? bin : canonicalBin;
    facts.xdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
#endif
    facts.home = QDir::homePath();
    return ChooseConfigFolder(facts);
}

QString ConfigFolderInUse(const ConfigFolder& folder)
{
    static const char* const why[] = {"named with --config-dir", "the program's own folder",
                                      "the user's configuration folder, as the program is installed"};
    return QStringLiteral("Settings folder in use: %1 (%2)\n")
        .arg(QDir::toNativeSeparators(folder.path), QLatin1String(why[static_cast<int>(folder.source)]));
}

bool CreateConfigFolder(const QString& path)
{
    const QFileInfo info(clean(path));
    if (info.isDir())
        return true;
    if (info.exists() || info.isRoot())
        return false;
    if (!CreateConfigFolder(info.path()))
        return false;
#if QT_VERSION >= QT_VERSION_CHECK(6, 3, 0)
    const bool made = QDir().mkdir(info.filePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#else // (Windows builds: the user's folders are the user's alone there anyway)
    const bool made = QDir().mkdir(info.filePath());
#endif
    return made || QFileInfo(info.filePath()).isDir();
}

} // namespace vlboot
