#pragma once

#include <QByteArray>
#include <QString>
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
    int status = 0;                    // the exit status: 0, 1 or 2
    QString why;                       // empty on success
    int exchanges = 0;                 // complete request/reply exchanges
    std::optional<double> medianRttMs; // nothing without any exchange
    double wallSeconds = 0;
};
// {"event":"result","status":..,"outcome":"success|fault|timeout","why":..|null,
//  "exchanges":..,"median_rtt_ms":..|null,"wall_s":..}
QByteArray ResultEvent(const RunResult& result);

// "success", "fault" or "timeout" for exit status 0, 1 or 2.
QString OutcomeName(int status);

} // namespace vlboot::cli
