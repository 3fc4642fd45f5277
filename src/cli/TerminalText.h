#pragma once

#include <QByteArray>
#include <QString>

namespace vlboot::cli {

// `text` with every control character (C0, DEL, C1) written as a visible
// escape: "\t", "\n", "\r", "\x1b" (and "\u0085" for C1), so that a file,
// station or device name printed on a terminal can neither move the cursor
// nor start an escape sequence, and a line stays one line. Everything else
// (letters of any script, a backslash) is kept as it is. For the command
// line's text output only; JSON keeps names exact.
QString EscapeForTerminal(const QString& text);

// One line of the command line's text output: `text` escaped as above, in
// the local encoding, with its line end.
QByteArray TerminalLine(const QString& text);

} // namespace vlboot::cli
