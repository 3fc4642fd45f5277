#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace vlboot::cli {

// The events of --json: one compact JSON object per line, ended by "\n".

// {"event":"caption","text":...}
QByteArray CaptionEvent(const QString& text);
// {"event":"progress","percent":..,"bytes":..,"total":..}
QByteArray ProgressEvent(int percent, double bytes, double total);
// {"event":"message","title":..,"text":..}
QByteArray MessageEvent(const QString& title, const QString& text);

// The last event of a run.
struct RunResult {
    int status = 0;                    // the exit status: 0, 1, 2, or 130/143 when stopped
    QString why;                       // empty on success
    QStringList warnings;              // doubtful points of the run
    std::optional<std::int32_t> serialNumber; // given to a fixture
    int exchanges = 0;                 // complete request/reply exchanges
    std::optional<double> medianRttMs; // nothing without any exchange
    double wallSeconds = 0;
    QString recordError;               // why the run's record could not be kept ("" when it was)
};
// {"event":"result","status":..,"outcome":"success|fault|timeout|stopped","why":..|null,
//  "warnings":[..],"serial_number":..|null,"exchanges":..,"median_rtt_ms":..|null,"wall_s":..,
//  "record_error":..|null}
QByteArray ResultEvent(const RunResult& result);

// "success", "fault", "timeout" or "stopped" for exit status 0, 1, 2 or
// 128 + a signal's number.
QString OutcomeName(int status);

} // namespace vlboot::cli
