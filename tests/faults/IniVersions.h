#pragma once

#include <QString>

namespace vlboot::faults {

// The keys the settings writer of the crash test flips between two
// versions: "Faults"/Key000..Key099, each holding a long value of version A
// or B, so that a file cut anywhere shows as a key without a whole value.
inline constexpr int KeyCount = 100;

inline QString KeyName(int index)
{
    return QStringLiteral("Key%1").arg(index, 3, 10, QLatin1Char('0'));
}

inline QString VersionValue(QChar version, int index)
{
    return version + QString::number(index) + QLatin1Char('-') + QString(200, version);
}

} // namespace vlboot::faults
