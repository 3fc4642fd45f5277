#pragma once

#include "FirmwareWalk.h"
#include "Platform.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace vlboot {

// The checking pass over a firmware file, before anything is sent to boot
// mode: the file must be a regular file, every line of more than 5
// characters must pass its checksum test, and every data or end record must
// fit one memory write (at most 32 bytes) and its flash block (offset +
// count at most 65536). On the way the pass takes the file's size and
// SHA-256, counts the data bytes of all type 00 and 01 records (the
// denominator of the run's progress) and makes the walk of the file that
// the programming pass will make (FirmwareWalk): its memory writes, block
// programs and findings.
struct FirmwareCheckResult {
    bool ok = false;
    bool found = false;       // the file exists
    double totalBytes = 0;    // sum of the byte counts of all type 00 and 01 records
    WalkSummary walk;         // what the programming pass will do with the file
    std::optional<platform::FileIdentity> identity; // the file as it was checked
    long long failedLine = 0; // 1-based line number of the rejected line, 0 for none
    QString why;              // what is wrong, in plain words
    long long lines = 0;      // lines read
    long long size = -1;      // bytes in the file; -1 when it could not be opened
    QByteArray sha256;        // lower-case hexadecimal; "" unless the pass read the whole file
};

// Runs the pass over `fileName`, reading it one line at a time. `onFound` is
// called once the file is known to exist, before it is opened.
FirmwareCheckResult CheckFirmwareFile(const QString& fileName, const std::function<void()>& onFound = {});

} // namespace vlboot
