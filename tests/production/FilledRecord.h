#pragma once

#include "RunRecord.h"

#include <QTimeZone>

namespace vlboot::test {

// A record with every field set to something other than its default (text
// that CSV must quote included), to the second, at a UTC offset other than
// the machine's.
inline RunRecord FilledRecord()
{
    RunRecord r;
    r.time = QDateTime(QDate(2026, 12, 6), QTime(8, 39, 9), QTimeZone(5 * 3600 + 1800));
    r.host = "bench,3";
    r.station = "line \"A\"";
    r.program = "vlboot-cli";
    r.version = "9.8.7";
    r.comPort = "COM3";
    r.devicePath = "/dev/ttyUSB1";
    r.baud = 115200;
    r.address = "12abc";
    r.deviceKind = "fixture";
    r.firmwarePath = "/fw/ファーム, 2.ldr";
    r.firmwareSize = 630865;
    r.firmwareSha256 = "8822b10faff08b9e2c79c484437ff6ff86a339551d20881c46150f397cc3ac49";
    r.serialNumber = 2147483647;
    r.serialWrite = "no reply";
    r.outcome = "stopped";
    r.caption = "stopped";
    r.failedStep = "writing the serial number into the fixture";
    r.reason = " stopped by SIGTERM\r\nwhile ... ";
    r.warnings = QStringList{"first, with a comma", "second \"quoted\""};
    r.exchanges = 8211;
    r.seconds = 36.125;
    return r;
}

} // namespace vlboot::test
