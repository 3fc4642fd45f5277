#include "IniFileHandler.h"

#include "IniText.h"
#include "Platform.h"
#include "SettingsLock.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace vlboot {
namespace {

// The file's content; empty when it does not exist, failed when it exists
// but cannot be read or is no regular file (such a file must not be
// replaced by a new one; a FIFO is never opened, so it cannot block).
Result<QByteArray> readAll(const QString& fileName)
{
    Result<QByteArray> content = platform::ReadWholeFile(fileName);
    if (!content.ok())
        return Outcome::Failed(fileName + QLatin1Char(' ') + content.why());
    return content;
}

} // namespace

QString LinkTarget(const QString& path)
{
    QString target = path;
    // A bound, so that a loop of links ends (the open then fails).
    for (int depth = 0; depth < 40; ++depth) {
        const QFileInfo info(target);
        if (!info.isSymLink())
            break;
        target = QDir(info.absolutePath()).absoluteFilePath(info.symLinkTarget());
    }
    return target;
}

bool IniFileHandler::Readable() const
{
    return readAll(IniFileName).ok();
}

QString IniFileHandler::WhyUnreadable() const
{
    return readAll(IniFileName).why();
}

QString IniFileHandler::ReadIni(const QString& Section, const QString& Key, const QString& Default) const
{
    const Result<QByteArray> content = readAll(IniFileName);
    const auto value = IniLookup(content.ok() ? content.value() : QByteArray(), Section, Key);
    if (value && !value->isEmpty())
        return value->left(MaxValueLength);
    if (!Default.isEmpty())
        WriteIni(Section, Key, Default);
    return Default;
}

bool IniFileHandler::WriteIni(const QString& Section, const QString& Key, const QString& Value) const
{
    SettingsLock lock(IniFileName, SettingsLock::WriteTimeoutMs);
    if (!lock.IsLocked())
        return false;
    const QString target = LinkTarget(IniFileName);
    const Result<QByteArray> old = readAll(target);
    if (!old)
        return false;
    const QByteArray content = IniStore(old.value(), Section, Key, Value);
    QSaveFile out(target);
    // Unbuffered, so that a short write (a full disk, a file-size limit)
    // shows in write()'s count; a buffered one would only fail in commit's
    // flush, which commits the cut file anyway.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (out.write(content) != content.size()) {
        out.cancelWriting();
        return false;
    }
    // (commit syncs the new file before it renames it over the old one)
    return out.commit() && platform::SyncFolder(QFileInfo(target).absolutePath());
}

} // namespace vlboot
