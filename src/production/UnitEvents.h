#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace vlboot {

// The events of a unit's run (vlboot-cli --json): one compact JSON object
// per line, ended by "\n", with its name under "event". The writers and the
// one parser of them live here together, so that whoever follows a unit's
// vlboot-cli (the production line, the watch, the production window) reads
// exactly what it writes.

// The last event of a run.
struct ResultEventData {
    int status = 0;                    // the exit status: 0, 1, 2, or 128 + the stop signal
    QString why;                       // empty on success
    QStringList warnings;              // doubtful points of the run
    std::optional<qint64> serialNumber; // given to a fixture
    QString deviceKind;                // "amplifier", "fixture" or "" (not known)
    int exchanges = 0;                 // complete request/reply exchanges
    std::optional<double> medianRttMs; // nothing without any exchange
    double wallSeconds = 0;
    QString recordError;               // why the run's record could not be kept ("" when it was)
};

// One event as the parser reads it.
struct UnitEvent {
    enum class Kind { Caption, Device, Progress, SerialNumber, Message, Result, Other };
    Kind kind = Kind::Other;
    QString text;       // Caption: the caption; Device: the kind; Message: the text
    QString title;      // Message
    int percent = 0;    // Progress
    double bytes = 0;   // Progress
    double total = 0;   // Progress
    int exchanges = 0;  // Progress: exchanges so far
    std::optional<qint64> number; // SerialNumber
    ResultEventData result;   // Result
    QJsonObject object; // the event as it came
};

// {"event":"caption","text":...}
QByteArray CaptionEvent(const QString& text);
// {"event":"device","kind":"amplifier|fixture"}, once detection has told it
QByteArray DeviceEvent(const QString& kind);
// {"event":"progress","percent":..,"bytes":..,"total":..,"exchanges":..}
QByteArray ProgressEvent(int percent, double bytes, double total, int exchanges);
// {"event":"serial_number","number":..}: given out to a fixture (the counter has moved on)
QByteArray SerialNumberEvent(qint64 number);
// {"event":"message","title":..,"text":..}
QByteArray MessageEvent(const QString& title, const QString& text);
// {"event":"result","status":..,"outcome":"success|fault|timeout|stopped","why":..|null,
//  "warnings":[..],"serial_number":..|null,"device_kind":..|null,"exchanges":..,
//  "median_rtt_ms":..|null,"wall_s":..,"record_error":..|null}
QByteArray ResultEvent(const ResultEventData& result);

// An event of one line (without or with its "\n"); nothing when the line is
// no JSON object.
std::optional<UnitEvent> ParseUnitEvent(QByteArrayView line);

// The line of an event object, with `port` added when not empty.
QByteArray EventLine(QJsonObject object, const QString& port = {});

// "success", "fault", "timeout" or "stopped" for exit status 0, 1, 2 or
// 128 + a signal's number.
QString OutcomeName(int status);

} // namespace vlboot
