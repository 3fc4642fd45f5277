#pragma once

#include "Platform.h"

#include <QString>
#include <functional>
#include <optional>

namespace vlboot {

// The checking pass over a firmware file, before anything is sent to boot
// mode: the file must be a regular file, every line of more than 5
// characters must pass its checksum test, and every data or end record must
// fit one memory write (at most 32 bytes) and its flash block (offset +
// count at most 65536). The data bytes of the type 00 and 01 records are
// counted.
struct FirmwareCheckResult {
    bool ok = false;
    bool found = false;       // the file exists
    double totalBytes = 0;    // sum of the byte counts of type 00 and 01 records
    long long records = 0;    // memory writes the programming pass makes: records with data up to the first end record
    std::optional<platform::FileIdentity> identity; // the file as it was checked
    long long failedLine = 0; // 1-based line number of the rejected line, 0 for none
    QString why;              // what is wrong, in plain words
};

// Runs the pass over `fileName`, reading it one line at a time. `onFound` is
// called once the file is known to exist, before it is opened.
FirmwareCheckResult CheckFirmwareFile(const QString& fileName, const std::function<void()>& onFound = {});

} // namespace vlboot
