#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace vlboot {

// The traffic log Log.txt: a six-line banner when logging is switched on,
// then one time-stamped line per frame sent or reply received. Every line is
// written by its own open, append and close, so the file is complete on
// disk after each line. A log that cannot be deleted, created or written is
// skipped; the program goes on without it, and Failure() says why. A FIFO,
// folder or device named Log.txt is left as it is and never opened.
class TrafficLog {
public:
    using Clock = std::function<QDateTime()>;

    // `clock` gives the local date and time for the stamps (default: now).
    explicit TrafficLog(QString logFileName, Clock clock = {});

    // True while lines are written to the file; false at creation.
    bool LogOn = false;
    const QString LogFileName;

    // "dd.MM.yyyy hh.mm.ss" (19 characters, hours 00..23) of the clock's now.
    QString TimeStamp() const;

    // Appends one line ended by CR LF: TimeStamp() + " " + str when
    // WithStamp, else str alone. Returns true, also when nothing could be
    // written.
    bool WriteLogLine(const QString& str, bool WithStamp) const;

    // The click action of the "Log to File" box. On: LogOn = true, the old
    // file is deleted (even when read-only) and the banner begins a new one.
    // Off: LogOn = false, the file stays as it is.
    void SetLogging(bool on);

    // Why a line could not be written since logging was last switched on,
    // the first time it happened ("the traffic log /x/Log.txt cannot be
    // written (No space left on device)"); "" when every line was.
    const QString& Failure() const { return failure_; }

    // Replaces the clock of the time stamps (tests use a fixed one).
    void SetClock(Clock clock);

    // Width of every banner line.
    static constexpr int BannerWidth = 107;

private:
    Clock clock_;
    mutable QString failure_;
};

} // namespace vlboot
