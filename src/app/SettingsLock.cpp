#include "SettingsLock.h"

#include <QLockFile>
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

} // namespace

SettingsLock::SettingsLock(const QString& iniFileName, int timeoutMs)
    : path_(iniFileName + QStringLiteral(".lock"))
{
    Held& h = heldLocks()[path_];
    if (h.depth > 0) {
        ++h.depth;
        locked_ = true;
        return;
    }
    auto file = std::make_unique<QLockFile>(path_);
    file->setStaleLockTime(0); // a holder may legitimately keep it for a whole reply wait; only a dead holder's lock is stale
    if (file->tryLock(timeoutMs)) {
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
