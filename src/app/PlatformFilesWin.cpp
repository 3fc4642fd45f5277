// Files on Windows (see PlatformFiles.cpp for what each does): a regular
// file opened for reading, a file's identity, durable writes and whole
// lines appended under a lock.

#include "Platform.h"

#if defined(Q_OS_WIN)

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <windows.h>

namespace vlboot::platform {

Outcome OpenRegularFile(QFile& file, const QString& path)
{
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return Outcome::Failed(QStringLiteral("is not a regular file (a firmware file is read twice, so it must be a file on disk)"));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Outcome::Failed(QStringLiteral("cannot be opened (%1)").arg(file.errorString()));
    return Outcome::Ok();
}

Result<QByteArray> ReadWholeFile(const QString& path)
{
    if (const QString kind = NonRegularKind(path); !kind.isEmpty())
        return Outcome::Failed(QStringLiteral("is %1, not a regular file").arg(kind));
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly))
        return Outcome::Failed(QStringLiteral("cannot be read (%1)").arg(file.errorString()));
    return file.readAll();
}

Outcome AppendBytes(const QString& path, const QByteArray& bytes)
{
    if (const QString kind = NonRegularKind(path); !kind.isEmpty())
        return Outcome::Failed(QStringLiteral("is %1, not a regular file").arg(kind));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) || file.write(bytes) != bytes.size())
        return Outcome::Failed(QStringLiteral("cannot be written (%1)").arg(file.errorString()));
    return Outcome::Ok();
}

QString NonRegularKind(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    return info.isDir() ? QStringLiteral("a folder") : QStringLiteral("not a regular file");
}

std::optional<FileIdentity> IdentityOf(const QFile& openFile)
{
    const QFileInfo info(openFile.fileName());
    if (!info.exists())
        return std::nullopt;
    FileIdentity id;
    id.size = info.size();
    id.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000LL;
    id.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000LL;
    return id;
}

bool SyncFolder(const QString&)
{
    return true;
}

namespace {

QString windowsError()
{
    return qt_error_string(static_cast<int>(::GetLastError()));
}

// The file's first bytes are `header` (or it is empty), and whether its
// last byte ends a line.
bool readEnds(HANDLE file, qint64 size, const QByteArray& header, bool& headerOk, bool& lineEnded)
{
    headerOk = true;
    lineEnded = true;
    if (size == 0)
        return true;
    QByteArray first(header.size(), '\0');
    DWORD got = 0;
    LARGE_INTEGER at{};
    if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !::ReadFile(file, first.data(), static_cast<DWORD>(first.size()), &got, nullptr))
        return false;
    headerOk = got == static_cast<DWORD>(header.size()) && first == header;
    char last = '\n';
    at.QuadPart = size - 1;
    if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !::ReadFile(file, &last, 1, &got, nullptr))
        return false;
    lineEnded = last == '\n';
    return true;
}

} // namespace

// The appenders of one file (the units of a production line) take turns
// through a lock of one byte far past any end the file will have, so that
// the lock keeps no reader out of the lines.
Outcome AppendWhole(const QString& path, const QByteArray& header, const QByteArray& line)
{
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return Outcome::Failed(QStringLiteral("is not a regular file"));
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                                      GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Outcome::Failed(QStringLiteral("cannot be opened for appending (%1)").arg(windowsError()));
    OVERLAPPED turn{};
    turn.OffsetHigh = 0x7fff0000;
    struct Closer {
        HANDLE file;
        OVERLAPPED* turn = nullptr;
        ~Closer()
        {
            if (turn)
                ::UnlockFileEx(file, 0, 1, 0, turn);
            ::CloseHandle(file);
        }
    } closer{file};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn))
        return Outcome::Failed(QStringLiteral("cannot be locked (%1)").arg(windowsError()));
    closer.turn = &turn;
    LARGE_INTEGER size{};
    bool headerOk = true;
    bool lineEnded = true;
    if (!::GetFileSizeEx(file, &size) || !readEnds(file, size.QuadPart, header, headerOk, lineEnded))
        return Outcome::Failed(QStringLiteral("cannot be read (%1)").arg(windowsError()));
    if (!headerOk) {
        // Lines of other columns (an older vlboot's): kept under another name.
        ::UnlockFileEx(file, 0, 1, 0, &turn);
        closer.turn = nullptr;
        ::CloseHandle(file);
        closer.file = INVALID_HANDLE_VALUE;
        const QString aside = AsideName(path, QDateTime::currentDateTime());
        if (!QFile::rename(path, aside))
            return Outcome::Failed(QStringLiteral("has other columns and cannot be set aside"));
        return AppendWhole(path, header, line).Note(QStringLiteral("%1 had other columns: it was kept as %2").arg(path, aside));
    }
    const QByteArray bytes = size.QuadPart == 0 ? header + line : (lineEnded ? line : QByteArrayLiteral("\r\n") + line);
    DWORD written = 0;
    if (!::SetFilePointerEx(file, size, nullptr, FILE_BEGIN))
        return Outcome::Failed(QStringLiteral("cannot be written (%1)").arg(windowsError()));
    const BOOL wrote = ::WriteFile(file, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (!wrote || written != static_cast<DWORD>(bytes.size())) {
        const DWORD error = wrote ? DWORD{ERROR_DISK_FULL} : ::GetLastError();
        ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file);
        ::SetLastError(error);
        return Outcome::Failed(QStringLiteral("cannot be written (%1)").arg(windowsError()));
    }
    if (!::FlushFileBuffers(file))
        return Outcome::Failed(QStringLiteral("cannot be synced to disk (%1)").arg(windowsError()));
    return Outcome::Ok();
}

bool CanReadWrite(const QString& path)
{
    const QFileInfo info(path);
    return info.isReadable() && info.isWritable();
}

} // namespace vlboot::platform

#endif
