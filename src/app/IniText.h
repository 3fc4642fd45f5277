#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vlboot {

// The text of a settings file as the profile functions see it: sections
// introduced by "[Name]" lines, key=value lines inside them. Section and key
// names match without regard to case; the first matching section and the
// first matching key in it count. Lines that are neither (comments, blank
// lines, anything else) are carried along untouched. A UTF-8 byte-order
// mark at the start is no part of the first line, and is kept.

// The value stored for the key, blanks around it removed; nullopt when the
// section or key is missing. An empty value is returned as "" (callers treat
// it as not found).
std::optional<QString> IniLookup(const QByteArray& content, QStringView section, QStringView key);

// The file content with the key set to `value`. An existing key is replaced
// in place; a new key goes after the last key of its section; a new section
// goes at the end of the file. Every other line keeps its text and place.
// Lines are written with CR LF. Line breaks inside `value` are dropped, since
// a value is one line.
QByteArray IniStore(const QByteArray& content, QStringView section, QStringView key, QStringView value);

} // namespace vlboot
