#pragma once

#include "Bootloader.h"
#include "FirmwareWalk.h"

#include <QString>
#include <QStringList>

namespace vlboot {

// The texts of a programming run that a person reads: why a step failed,
// what a warning means for the unit. They name the request, the bytes that
// came, the file's lines and addresses.

// The bytes that came, as hexadecimal text (the first few); "(no bytes)".
QString ReplyBytesText(const QByteArray& bytes);

// Why the exchange of `what` ("the erase request of flash block 3") did not
// succeed: no answer, an incomplete or overlong reply, a refusal with its
// status, a reply too short, or a request that was never sent.
QString ExchangeProblem(const Exchange& exchange, const QString& what);
// How the device refused: "status 0x14", or "a reply too short: ...".
QString RefusalText(const Exchange& exchange);
// "status 0x14" of a complete reply.
QString StatusText(std::uint8_t status);

// Why a firmware file is refused that is not the pinned one: both hashes.
QString PinnedFirmwareMismatch(const QString& fileName, const QByteArray& sha256, const QByteArray& pinned);

// Why the amplifier's boot-mode frame did not do.
QString BootFrameProblem(const Bootloader::BootModeFrame& frame, double seconds);

// The warnings a file's walk gives a run of `deviceType` (DeviceTypes):
// each place where the module ends up different from the standard image of
// the file, or where the run is doubtful, naming lines and addresses.
QStringList FindingWarnings(const WalkSummary& walk, std::uint8_t deviceType, const QString& fileName);

} // namespace vlboot
