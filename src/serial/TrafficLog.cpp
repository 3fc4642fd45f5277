#include "TrafficLog.h"

#include "Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace vlboot {

TrafficLog::TrafficLog(QString logFileName, Clock clock)
    : LogFileName(std::move(logFileName))
    , clock_(clock ? std::move(clock) : Clock(&QDateTime::currentDateTime))
{
}

void TrafficLog::SetClock(Clock clock)
{
    clock_ = clock ? std::move(clock) : Clock(&QDateTime::currentDateTime);
}

QString TrafficLog::TimeStamp() const
{
    // The C locale keeps the digits ASCII whatever the user's language.
    return QLocale::c().toString(clock_(), QStringLiteral("dd.MM.yyyy hh.mm.ss"));
}

bool TrafficLog::WriteLogLine(const QString& str, bool WithStamp) const
{
    QByteArray line;
    line.reserve(str.size() + 22);
    if (WithStamp) {
        line += TimeStamp().toLatin1();
        line += ' ';
    }
    line += str.toLatin1();
    line += "\r\n";

    // (A FIFO or folder in its place is refused, never opened: it could block.)
    if (const Outcome written = platform::AppendBytes(LogFileName, line); !written.ok() && failure_.isEmpty())
        failure_ = QStringLiteral("the traffic log %1 %2").arg(LogFileName, written.why());
    return true;
}

void TrafficLog::SetLogging(bool on)
{
    LogOn = on;
    if (!on)
        return;

    failure_.clear();
    if (QFileInfo(LogFileName).isFile()) {
        QFile::setPermissions(LogFileName, QFile::permissions(LogFileName) | QFile::WriteOwner | QFile::WriteUser);
        QFile::remove(LogFileName);
    }

    const QString stars(BannerWidth, u'*');
    const QString empty = u'*' + QString(BannerWidth - 2, u' ') + u'*';
    const QString title = QStringLiteral("*   Logfile for serial comunication between PC and Vestholm products");
    const QString start = QStringLiteral("*   Start time : ") + TimeStamp();

    WriteLogLine(stars, false);
    WriteLogLine(title + QString(BannerWidth - 1 - title.size(), u' ') + u'*', false);
    WriteLogLine(empty, false);
    WriteLogLine(start + QString(BannerWidth - 1 - start.size(), u' ') + u'*', false);
    WriteLogLine(empty, false);
    WriteLogLine(stars, false);
}

} // namespace vlboot
