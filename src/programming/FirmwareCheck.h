#pragma once

#include "Platform.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace vlboot {

// The checking pass over a firmware file, before anything is sent to boot
// mode: the file must be a regular file, every line of more than 5
// characters must pass its checksum test, and every data or end record must
// fit one memory write (at most 32 bytes) and its flash block (offset +
// count at most 65536). The data bytes of the type 00 and 01 records are
// counted. On the way the pass takes the file's size and SHA-256 and the
// flash blocks its data fill.

// A stretch of data records under one extended linear address record (or
// before any), in file order: the flash block the run programs them into and
// the offsets they cover.
struct FirmwareBlock {
    std::uint32_t base = 0;  // the block's first address: the address record's value << 16
    int first = 0;           // the lowest offset written in the block
    int last = -1;           // the highest offset written; below `first` when no data byte
    double bytes = 0;        // data bytes written into it
};

struct FirmwareCheckResult {
    bool ok = false;
    bool found = false;       // the file exists
    double totalBytes = 0;    // sum of the byte counts of type 00 and 01 records
    long long records = 0;    // memory writes the programming pass makes: records with data up to the first end record
    std::optional<platform::FileIdentity> identity; // the file as it was checked
    long long failedLine = 0; // 1-based line number of the rejected line, 0 for none
    QString why;              // what is wrong, in plain words
    long long lines = 0;      // lines read
    long long size = -1;      // bytes in the file; -1 when it could not be opened
    QByteArray sha256;        // lower-case hexadecimal; "" unless the pass read the whole file
    std::vector<FirmwareBlock> blocks;
    long long blockPrograms = 0; // block programs an amplifier run makes
    bool endRecord = false;      // an end-of-file record was found
};

// Runs the pass over `fileName`, reading it one line at a time. `onFound` is
// called once the file is known to exist, before it is opened.
FirmwareCheckResult CheckFirmwareFile(const QString& fileName, const std::function<void()>& onFound = {});

} // namespace vlboot
