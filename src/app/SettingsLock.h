#pragma once

#include <QString>
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

    // How long a settings write waits for another program's lock: longer than
    // one reply wait, so that a fixture run's serial-number step can finish.
    static constexpr int WriteTimeoutMs = 20000;

private:
    QString path_;
    bool locked_ = false;
};

} // namespace vlboot
