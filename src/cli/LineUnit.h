#pragma once

#include "CliEvents.h"
#include "CliOptions.h"
#include "UnitRecord.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <memory>
#include <optional>

namespace vlboot::cli {

// One unit of a production line: its port, the vlboot-cli that programs it,
// and what its events have told so far.
struct LineUnit {
    QString port;
    std::unique_ptr<QProcess> process;
    QByteArray out; // the start of a line not complete yet
    QByteArray err;
    QString kind;   // "amplifier", "fixture" or "" (not known yet)
    QString caption;
    int percent = 0;
    double bytes = 0;
    double total = 0;
    int exchanges = 0;
    std::optional<double> rateStart;
    double rateStartBytes = 0;
    double startTime = 0;   // when its program was started
    bool ended = false;     // its result is known
    double endTime = 0;     // when it came
    bool collected = false; // its program's end was handled
    int status = -1;
    QString why;
    std::optional<qint64> serial;
    double seconds = 0;

    // Takes in one of its events.
    void Apply(const CliEvent& event, double now);
};

// The options of a unit's vlboot-cli (--json --quiet and the run's options;
// the caller adds --port and the file).
QStringList UnitArguments(const CliOptions& options, const QString& configDir);
// Where a unit on `port` (a --port value) runs: its COMn and device, and
// the speed and address its run uses.
UnitPlace UnitPlaceOf(const CliOptions& options, const QString& configDir, const QString& port);

} // namespace vlboot::cli
