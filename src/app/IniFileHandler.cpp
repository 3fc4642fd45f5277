#include "IniFileHandler.h"

#include "IniText.h"
#include "Platform.h"
#include "SettingsLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <optional>

namespace vlboot {
namespace {

// The file's content; empty when it does not exist, nullopt when it exists
// but cannot be read (such a file must not be replaced by a new one).
std::optional<QByteArray> readAll(const QString& fileName)
{
    QFile f(fileName);
    if (!f.exists())
        return QByteArray();
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
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
    return readAll(IniFileName).has_value();
}

QString IniFileHandler::ReadIni(const QString& Section, const QString& Key, const QString& Default) const
{
    const auto value = IniLookup(readAll(IniFileName).value_or(QByteArray()), Section, Key);
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
    const auto old = readAll(target);
    if (!old)
        return false;
    const QByteArray content = IniStore(*old, Section, Key, Value);
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
