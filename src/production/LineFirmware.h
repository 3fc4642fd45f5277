#pragma once

#include "FirmwareCheck.h"
#include "Outcome.h"

#include <QString>
#include <QStringList>

namespace vlboot {

// What a production line (the command line's batch and watch, the
// production window) sets up before any port is touched.

// The firmware file every unit of a line gets, checked once, and the
// SHA-256 the line is pinned to ("" for any file).
struct LineFirmware {
    QString file; // absolute
    FirmwareCheckResult check;
    QByteArray pinned;

    bool Pinned() const { return !pinned.isEmpty(); }
    // Whether the file is one the line may program: a pinned line only its
    // pinned image.
    bool Matches() const { return !Pinned() || check.sha256 == pinned; }
};
// The firmware file of a line whose command names none: FirmwareFile= of
// [Production], else the main window's file.
QString LineFirmwareFile(const QString& configDir, const QString& productionFile);
LineFirmware ExamineLineFirmware(const QString& file, const QByteArray& pinned);
// Whether a line may program `firmware`: failed with the reason a run would
// give (both hashes for a file that is not the pinned one).
Outcome LineFirmwareUsable(const LineFirmware& firmware);
// The firmware of `file` for a line pinned to `pinned`; failed with the
// reason a run would give (both hashes for a file that is not the pinned
// one).
Result<LineFirmware> CheckLineFirmware(const QString& file, const QByteArray& pinned);

} // namespace vlboot
