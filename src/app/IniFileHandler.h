#pragma once

#include <QString>

namespace vlboot {

// The file a path leads to, symbolic links followed (also to a file that
// does not exist yet); the path itself when it is no link.
QString LinkTarget(const QString& path);

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
    // replaced whole (written beside it, synced to disk, renamed over it, the
    // folder synced), so it is never left half-written and a stored value
    // survives a power cut; the change is made under the settings lock.
    // When setup.ini is a symbolic link, the file it leads to is written
    // (and locked). Returns false when the value could not be stored;
    // callers go on.
    bool WriteIni(const QString& Section, const QString& Key, const QString& Value) const;

    // False when the file exists but cannot be read or is no regular file
    // (a FIFO, a folder): every read then gives the default and every write
    // fails, so such a file is never replaced.
    bool Readable() const;
    // Why it cannot be read ("/x/setup.ini is a pipe or FIFO, not a regular
    // file"); "" when it can.
    QString WhyUnreadable() const;

    const QString IniFileName;

    static constexpr int MaxValueLength = 254;
};

} // namespace vlboot
