#pragma once

#include "CliOptions.h"
#include "IniFileHandler.h"
#include "Settings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace vlboot::cli {

// What answered the run's detection request on one device.
struct ProbeAnswer {
    enum Answer {
        Amplifier,   // an amplifier with its module answered
        Fixture,     // a fixture answered
        Nothing,     // no answer, or one that is no detection reply
        Held,        // another program holds the port
        Unavailable, // the port cannot be opened (or the probe ended without an answer)
    };
    QString device;
    Answer answer = Nothing;
    QString detail; // why nothing answered, who holds the port, why it cannot be opened
    bool Answered() const { return answer == Amplifier || answer == Fixture; }
};
// "amplifier", "fixture", "nothing", "held", "unavailable"; and back.
QString AnswerName(ProbeAnswer::Answer answer);
std::optional<ProbeAnswer::Answer> AnswerOf(const QString& name);

// The speed index and network address a run would use: the command line's,
// else those of setup.ini (read without writing anything).
Settings::Line ProbeLineOf(const CliOptions& options, const IniFileHandler& ini);

// Every device a port search looks at: the serial ports the system lists
// and the existing devices of the [Ports] map, each once.
QStringList ProbeCandidates(const IniFileHandler& ini);

// Sends the detection request once to `device` at the line's speed and
// address and waits ProbeReplyTimeout for the answer, in this process. The
// port is opened like a run's first frame (another program's lock is
// respected) but no lock file is made. Needs a QCoreApplication.
ProbeAnswer ProbePort(const QString& configDir, const QString& device, const Settings::Line& line);

// Probes all `devices` at the same time, each in a vlboot-cli of its own
// (--list-ports --probe --port DEVICE --json), and gives the answers in the
// order of `devices`. A probe that ends without an answer counts as
// "unavailable".
QList<ProbeAnswer> ProbePorts(const QString& configDir, const QStringList& devices, const Settings::Line& line);

// The lines of --list-ports --probe: one per device (or one JSON event).
QByteArray ProbeAnswerLine(const ProbeAnswer& answer, bool json);

} // namespace vlboot::cli
