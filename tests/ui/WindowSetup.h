#pragma once

#include "TestFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <ostream>

// Readable values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << '"' << b.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '{' << l.join(QStringLiteral(", ")).toStdString() << '}';
}

namespace vlboot::test {

// A "Ports" section for setup.ini: the given ports map to their paths, all
// others to device paths that do not exist, so that a window's port scan
// never touches the machine's real serial ports.
inline QByteArray PortsSection(const std::map<int, QString>& paths = {})
{
    QByteArray section = "[Ports]\r\n";
    for (int n = 1; n <= 16; ++n) {
        const auto it = paths.find(n);
        const QString path = it != paths.end() ? it->second : QStringLiteral("/nonexistent/vlboot-tty%1").arg(n);
        section += "COM" + QByteArray::number(n) + "=" + path.toUtf8() + "\r\n";
    }
    return section;
}

// setup.ini in `folder`: the given sections (CR LF lines) and the port map.
inline void WriteSetup(const TestFolder& folder, const QByteArray& sections,
                       const std::map<int, QString>& ports = {})
{
    folder.write(QStringLiteral("setup.ini"), sections + PortsSection(ports));
}

} // namespace vlboot::test
