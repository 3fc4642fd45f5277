#pragma once

#include <QString>

namespace vlboot {

// Access to the settings file setup.ini, one key at a time, with the
// behaviour of the Windows profile functions (see IniText.h for the format).
class IniFileHandler {
public:
    explicit IniFileHandler(QString iniFileName) : IniFileName(std::move(iniFileName)) {}

    // The stored value, cut to its first 254 characters. A missing key, an
    // empty value, a missing section or file all count as not found: then a
    // non-empty `Default` is written under the section and key and returned;
    // an empty `Default` gives "" and writes nothing.
    QString ReadIni(const QString& Section, const QString& Key, const QString& Default) const;

    // Stores the value, creating file and section when missing. The file is
    // replaced whole (written beside it, flushed, renamed over it), so it is
    // never left half-written; the change is made under the settings lock.
    // Returns false when the value could not be stored; callers go on.
    bool WriteIni(const QString& Section, const QString& Key, const QString& Value) const;

    const QString IniFileName;

    static constexpr int MaxValueLength = 254;
};

} // namespace vlboot
