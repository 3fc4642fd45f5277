#pragma once

#include <QString>

namespace vlboot::faults {

// The two versions of the settings that the crash test's writer keeps
// writing: KeyCount keys in one section, each with a ValueLength-character
// value that tells the version ('A' or 'B') and the key apart, so that a
// value cut short or taken from the wrong key never passes for a good one.

inline constexpr int KeyCount = 100;
inline constexpr int ValueLength = 200;

inline QString VersionSection()
{
    return QStringLiteral("Faults");
}

inline QString KeyName(int index)
{
    return QStringLiteral("Key%1").arg(index, 3, 10, QLatin1Char('0'));
}

inline QString VersionValue(QChar version, int index)
{
    QString value = version + QString::number(index) + QLatin1Char('-');
    value += QString(ValueLength - value.size(), version);
    return value;
}

// 'A' or 'B' when `value` is exactly that version's value of the key, else 0.
inline QChar VersionOf(const QString& value, int index)
{
    for (const QChar v : {QChar('A'), QChar('B')}) {
        if (value == VersionValue(v, index))
            return v;
    }
    return QChar();
}

inline QChar OtherVersion(QChar version)
{
    return version == QLatin1Char('A') ? QChar('B') : QChar('A');
}

} // namespace vlboot::faults
