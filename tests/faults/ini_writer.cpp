// The settings writer of the crash test: flips the keys of setup.ini in DIR
// between their two versions, one WriteIni at a time, until it is killed.
#include "IniFileHandler.h"
#include "IniVersions.h"
#include "Settings.h"

#include <cstdio>

using namespace vlboot;
using namespace vlboot::faults;

int main(int argc, char** argv)
{
    if (argc != 2)
        return 64;
    const IniFileHandler ini(SettingsFilePath(QString::fromLocal8Bit(argv[1])));
    QChar writing = ini.ReadIni("Faults", KeyName(0), "") == VersionValue('A', 0) ? QChar('B') : QChar('A');
    std::puts("ready");
    std::fflush(stdout);
    for (;;) {
        for (int i = 0; i < KeyCount; ++i) {
            if (!ini.WriteIni("Faults", KeyName(i), VersionValue(writing, i)))
                return 1;
        }
        writing = writing == 'A' ? QChar('B') : QChar('A');
    }
}
