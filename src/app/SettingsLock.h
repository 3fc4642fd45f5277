#pragma once

#include <QString>
#include <functional>
#include <memory>

class QLockFile;

namespace vlboot {

// The lock on setup.ini: a lock file beside it ("setup.ini.lock") that every
// copy of the program takes before it changes the file, and that a fixture
// run holds from reading the serial number to storing the next one. Copies of
// the program working from the same folder so never write over each other's
// changes, and never issue one serial number twice.
//
// Within one program the lock may be taken again while it is held (the
// serial-number step writes the setting while holding it); it is released when
// the outermost holder lets go. A lock left behind by a program that died is
// taken over.
//
// The wait is bounded and a stop signal ends it at once (it looks every
// 50 ms). A lock file that is no regular file (a folder, a FIFO) is refused
// at once, never opened. A holder that has kept this program waiting for a
// whole wait once (a lock left by another host, which no program can tell
// stale) is not waited for again while it holds the lock, so that a
// program's writes at start-up cost one wait, not one each.
class SettingsLock {
public:
    // Tries to take the lock of `iniFileName`, waiting at most `timeoutMs`.
    // The lock file lies beside the file that is really written: the target
    // of a symbolic link, so that stations sharing one counter through links
    // share its lock.
    SettingsLock(const QString& iniFileName, int timeoutMs);
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

    bool IsLocked() const { return locked_; }
    // Why the lock was not taken, naming the lock file and what holds it
    // ("/x/setup.ini.lock is a folder", "... is held by process 12
    // (vlboot-cli) on host line-2 since 2025-03-01 08:00:00"); "" when taken.
    const QString& Why() const { return why_; }

    // Where a program says, once for each, that a lock keeps it waiting
    // (after a second) or is refused at once; none by default (the window's
    // settings writes fail silently).
    static void SetNotice(std::function<void(const QString&)> notice);

    // How long a settings write waits for another program's lock: longer than
    // one reply wait, so that a fixture run's serial-number step can finish.
    static constexpr int WriteTimeoutMs = 20000;

private:
    QString path_;
    bool locked_ = false;
    QString why_;
};

} // namespace vlboot
