#include "SettingsLock.h"

#include "IniFileHandler.h"
#include "Outcome.h"
#include "Platform.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QThread>
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
// How often a waiting program looks at the lock again, and for a stop signal.
constexpr int PollMs = 50;
// How often, in polls, it looks for an ownerless lock file.
constexpr int OwnerlessCheckPolls = 5;
// A wait that lasts longer than this is said.
constexpr qint64 NoticeAfterMs = 1000;
// The levels of .rmlock looked at: each needs a program killed at that very moment.
constexpr int Depth = 8;

std::function<void(const QString&)>& noticeTarget()
{
    static std::function<void(const QString&)> target;
    return target;
}

void say(const QString& text)
{
    static QSet<QString> said;
    if (noticeTarget() && !said.contains(text)) {
        said.insert(text);
        noticeTarget()(text);
    }
}

// The holding of each lock file that has kept this program waiting for a
// whole wait.
std::map<QString, QString>& waitedOut()
{
    static std::map<QString, QString> holdings;
    return holdings;
}

// Why the lock file or one of its .rmlock levels cannot be one: it is there
// but no regular file ("" when none is). Such a file is never opened (the
// lock layer's read of a FIFO's owner would block for ever).
QString oddLevel(const QString& path)
{
    QString level = path;
    for (int i = 0; i < Depth && QFileInfo::exists(level); ++i) {
        if (const QString kind = platform::NonRegularKind(level); !kind.isEmpty())
            return QStringLiteral("%1 is %2, not a lock file").arg(level, kind);
        level += QStringLiteral(".rmlock");
    }
    return {};
}

// What holds the lock file, in words, and what tells this holding from the
// next one (empty for a lock file that names no owner yet).
struct Holding {
    QString text;
    QString identity;
};

Holding holdingOf(const QString& path)
{
    const QLockFile lock(path);
    qint64 pid = 0;
    QString host;
    QString app;
    const QDateTime since = QFileInfo(path).lastModified();
    if (!lock.getLockInfo(&pid, &host, &app))
        return {QStringLiteral("%1 is being taken by another program").arg(path), {}};
    const QString text = QStringLiteral("%1 is held by process %2%3 on host %4 since %5")
                             .arg(path)
                             .arg(pid)
                             .arg(app.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(app),
                                  host.isEmpty() ? QStringLiteral("?") : host,
                                  since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    return {text, text + QString::number(since.toMSecsSinceEpoch())};
}

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
    QString level = path;
    for (int i = 0; i < Depth && QFileInfo::exists(level); ++i) {
        removeOwnerlessLock(level);
        level += QStringLiteral(".rmlock");
    }
}

// QLockFile::tryLock, looked at again every PollMs until the deadline or a
// stop signal, with a look for ownerless lock files now and then.
Outcome takeLock(QLockFile& lock, const QString& path, int timeoutMs)
{
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    QElapsedTimer waited;
    waited.start();
    for (int poll = 0;; ++poll) {
        if (const QString odd = oddLevel(path); !odd.isEmpty()) {
            say(odd + QStringLiteral(": no setting can be stored while it is there"));
            return Outcome::Failed(odd);
        }
        if (poll % OwnerlessCheckPolls == 0)
            removeOwnerlessLocks(path);
        if (lock.tryLock(0))
            return Outcome::Ok();
        if (lock.error() != QLockFile::LockFailedError)
            return Outcome::Failed(QStringLiteral("%1 cannot be made (%2)")
                                       .arg(path, lock.error() == QLockFile::PermissionError
                                                      ? QStringLiteral("its folder takes no new file")
                                                      : QStringLiteral("an error of the file system")));
        const Holding holding = holdingOf(path);
        if (const auto before = waitedOut().find(path); !holding.identity.isEmpty() && before != waitedOut().end()
            && before->second == holding.identity)
            return Outcome::Failed(holding.text + QStringLiteral(" (not waited for again: it kept this program waiting once already)"));
        if (platform::StopSignalReceived())
            return Outcome::Failed(holding.text + QStringLiteral("; a stop was asked for while waiting for it"));
        if (deadline.hasExpired()) {
            if (timeoutMs > 0)
                waitedOut()[path] = holding.identity;
            return Outcome::Failed(QStringLiteral("%1 (waited %2 s for it)").arg(holding.text).arg(timeoutMs / 1000.0));
        }
        if (waited.elapsed() >= NoticeAfterMs)
            say(QStringLiteral("waiting at most %1 s for the settings lock: %2").arg(timeoutMs / 1000.0).arg(holding.text));
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(PollMs, std::max<qint64>(deadline.remainingTime(), 0))));
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
    const Outcome taken = takeLock(*file, path_, timeoutMs);
    if (taken.ok()) {
        h.file = std::move(file);
        h.depth = 1;
        locked_ = true;
    } else {
        heldLocks().erase(path_);
        why_ = taken.why();
    }
}

void SettingsLock::SetNotice(std::function<void(const QString&)> notice)
{
    noticeTarget() = std::move(notice);
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
