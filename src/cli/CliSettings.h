#pragma once

#include "CliOptions.h"
#include "ComForm.h"
#include "Settings.h"

#include <QString>

namespace vlboot::cli {

// What the start-up reading gives the run besides the settings in memory.
struct StartupSettings {
    QString firmwareFile; // the file named on the command line, else the setting
    bool log = false;     // --log, or the debug code in setup.ini
};

// The start-up reading of the main window, in its order: the network
// address, port and speed (missing keys written with their defaults, port and
// speed written back), the command table, the debug setting and the
// remembered firmware file. Then the overrides of the command line are put
// into `settings` in memory only: nothing of them reaches setup.ini, and the
// "Ports" section is never written.
StartupSettings ReadStartupSettings(Settings& settings, const CliOptions& options);

// The resolver of the serial link: the device path given with --port, or
// none (the link then looks COMn up in setup.ini's [Ports] map).
ComForm::PortResolver PortResolverFor(const CliOptions& options);

} // namespace vlboot::cli
