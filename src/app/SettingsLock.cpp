#include "SettingsLock.h"

#include "IniFileHandler.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLockFile>
#include <algorithm>
#include <map>

namespace vlboot {
namespace {

struct Held {
    std::unique_ptr<QLockFile> file;
    int depth = 0;
};

// Locks this program holds, by lock-file path. The program has one thread.
std::map<QString, Held>& heldLocks()
{
    static std::map<QString, Held> held;
    return held;
}

// A program writes its id into a lock file right after creating it. A lock
// file that has stayed empty (or unreadable) for longer than this was left
// by a program that died in between (killed, or its write refused by a full
// disk); the lock layer would never call it stale, and every settings write
// would wait for it in vain. The same holds for the lock layer's own
// "<lock>.rmlock", taken while it clears a dead holder's lock (and its
// "<lock>.rmlock.rmlock", taken to clear a dead holder's .rmlock, and so on).
constexpr qint64 OwnerlessLockAgeMs = 2000;
// How often a waiting program looks for such a lock file.
constexpr int OwnerlessCheckMs = 250;

void removeOwnerlessLock(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return;
    QLockFile lock(path);
    qint64 pid = 0;
    QString host;
    QString app;
    if (lock.getLockInfo(&pid, &host, &app))
        return;
    const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
    if (qAbs(age) > OwnerlessLockAgeMs)
        lock.removeStaleLockFile();
}

void removeOwnerlessLocks(const QString& path)
{
    constexpr int Depth = 8; // each level needs a program killed at that very moment
    QString level = path;
    for (int i = 0; i < Depth && QFileInfo::exists(level); ++i) {
        removeOwnerlessLock(level);
        level += QStringLiteral(".rmlock");
    }
}

// QLockFile::tryLock, with a look for ownerless lock files every
// OwnerlessCheckMs while it waits.
bool takeLock(QLockFile& lock, const QString& path, int timeoutMs)
{
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    for (;;) {
        removeOwnerlessLocks(path);
        const int slice = static_cast<int>(std::min<qint64>(deadline.remainingTime(), OwnerlessCheckMs));
        if (lock.tryLock(slice))
            return true;
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
    }
}

} // namespace

SettingsLock::SettingsLock(const QString& iniFileName, int timeoutMs)
    : path_(LinkTarget(iniFileName) + QStringLiteral(".lock"))
{
    Held& h = heldLocks()[path_];
    if (h.depth > 0) {
        ++h.depth;
        locked_ = true;
        return;
    }
    auto file = std::make_unique<QLockFile>(path_);
    file->setStaleLockTime(0); // a holder may legitimately keep it for a whole reply wait; only a dead holder's lock is stale
    if (takeLock(*file, path_, timeoutMs)) {
        h.file = std::move(file);
        h.depth = 1;
        locked_ = true;
    } else {
        heldLocks().erase(path_);
    }
}

SettingsLock::~SettingsLock()
{
    if (!locked_)
        return;
    auto it = heldLocks().find(path_);
    if (it == heldLocks().end())
        return;
    if (--it->second.depth == 0) {
        it->second.file->unlock();
        heldLocks().erase(it);
    }
}

} // namespace vlboot
