#include "ProgramModule.h"

#include "Bootloader.h"
#include "FirmwareCheck.h"
#include "FirmwareLine.h"
#include "HexHelpers.h"
#include "SafeEnd.h"
#include "SerialNumber.h"
#include "Settings.h"
#include "SettingsLock.h"

#include <QFile>
#include <array>

namespace vlboot {
namespace {

QString hexByte(std::uint8_t b)
{
    return QStringLiteral("0x") + myDecToHexString(b);
}

// The flash blocks the amplifier run erases before it writes.
constexpr std::array<std::uint8_t, 7> ErasedBlocks{0, 1, 2, 3, 4, 5, 42};

// Memory address of the fixture's serial-number record.
constexpr std::int32_t SerialNumberAddress = 0x7FFB;

} // namespace

// The programming pass: streams the file's records into module memory and
// programs each block when the next one begins.
class ProgrammingRun::Pass {
public:
    Pass(ProgrammingRun& run, QFile& file) : run_(run), file_(file) {}

    // True when the closing was reached and succeeded.
    bool run();

private:
    bool record(const FirmwareLine& line);
    bool blockEnd();
    bool closing();

    ProgrammingRun& run_;
    QFile& file_;
    Bootloader& dev() { return run_.device_; }
    long long lineNo_ = 0;
    double bytesSent_ = 0;
    std::uint8_t currentBlock_ = 0xFF;
    std::uint8_t currentUpper_ = 0xFF;
    std::uint8_t nextBlock_ = 0;
    std::uint8_t nextUpper_ = 0;
    bool changePending_ = false;
    bool dataSeen_ = false;
    std::array<std::uint8_t, 33> recordBuffer_{};
};

bool ProgrammingRun::Pass::run()
{
    QByteArray raw;
    while (!file_.atEnd()) {
        raw = file_.readLine();
        ++lineNo_;
        const FirmwareLine line(WithoutLineEnd(raw));
        if (line.IsShort())
            continue;
        const std::uint8_t type = line.Type();
        if (type == FirmwareLine::ExtendedLinearAddress) {
            if (changePending_)
                continue;
            nextUpper_ = line.DataByte(0);
            nextBlock_ = line.DataByte(1);
            if (currentBlock_ == 0xFF && currentUpper_ == 0xFF) {
                currentBlock_ = nextBlock_;
                currentUpper_ = nextUpper_;
            }
            changePending_ = true;
            continue;
        }
        if (type != FirmwareLine::Data && type != FirmwareLine::EndOfFile)
            continue;
        if (changePending_) {
            if (!blockEnd())
                return false;
            if (type == FirmwareLine::EndOfFile)
                return closing();
            changePending_ = false;
        }
        if (!record(line))
            return false;
        if (type == FirmwareLine::EndOfFile)
            return blockEnd() && closing();
    }
    if (file_.error() != QFileDevice::NoError)
        return run_.failureEnd(QStringLiteral("%1: cannot be read (%2)").arg(file_.fileName(), file_.errorString()));
    return closing(); // no end record: the last block is not programmed
}

bool ProgrammingRun::Pass::record(const FirmwareLine& line)
{
    const int n = line.Count();
    if (n > 0) {
        bytesSent_ += n;
        recordBuffer_.fill(0);
        for (int i = 0; i < n && i < static_cast<int>(recordBuffer_.size()); ++i)
            recordBuffer_[i] = line.DataByte(i);
        dev().WriteSFOmem(n, line.Offset(), recordBuffer_);
        // The description of the write is made only when it failed: a run
        // writes thousands of records and nobody reads it otherwise.
        if (dev().OpState != OpStates::Started
            && !run_.succeeded(QStringLiteral("the memory write of %1 bytes at offset 0x%2 of block %3 (%4, line %5)")
                                .arg(n)
                                .arg(line.Offset(), 4, 16, QLatin1Char('0'))
                                .arg(currentBlock_)
                                .arg(file_.fileName())
                                .arg(lineNo_)))
            return false;
        const float p = static_cast<float>(bytesSent_ / run_.totalBytes_ * 100.0);
        // A total of 0 (the file changed since the check) gives no number
        // below 100: the bar stands at 100.
        run_.view_.SetProgress(p < 100.0f ? (p > 0.0f ? p : 0.0f) : 100.0f);
        run_.view_.ReportBytes(bytesSent_, run_.totalBytes_);
    }
    dataSeen_ = true;
    return true;
}

bool ProgrammingRun::Pass::blockEnd()
{
    if (!dataSeen_)
        return true; // the file's first type-04 record came before any data
    if (run_.device_.DeviceType == DeviceTypes::Amplifier) {
        dev().GetCRCfromRAM();
        if (!run_.succeeded(QStringLiteral("the CRC read at the end of block %1").arg(currentBlock_)))
            return false;
        dev().WriteFlashBlockNo(currentBlock_);
        if (!run_.succeeded(QStringLiteral("the program request of flash block %1").arg(currentBlock_)))
            return false;
    }
    currentUpper_ = nextUpper_;
    currentBlock_ = nextBlock_;
    return true;
}

bool ProgrammingRun::Pass::closing()
{
    if (dev().DeviceType == DeviceTypes::Fixture) {
        if (!run_.writeSerialNumber())
            return false;
    }
    if (dev().DeviceType == DeviceTypes::Amplifier) {
        dev().WriteFlashCRC();
        if (dev().OpState == OpStates::Timeout)
            return run_.timeoutEnd(QStringLiteral("no answer in time to the flash CRC write"));
    }
    dev().ExitBootMode();
    if (dev().OpState == OpStates::Timeout)
        return run_.timeoutEnd(QStringLiteral("no answer in time to the boot-mode exit"));
    run_.view_.SetCaption(QStringLiteral("Done with succes"));
    run_.outcome_ = RunOutcome::Success;
    return true;
}

ProgrammingRun::ProgrammingRun(Bootloader& device, Settings& settings, RunView& view)
    : device_(device)
    , settings_(settings)
    , view_(view)
{
}

bool ProgrammingRun::ProgramModule(const QString& fileName)
{
    outcome_ = RunOutcome::Fault;
    view_.SetCaption(QStringLiteral("Init"));

    device_.DeviceType = device_.DetectDevice();
    if (device_.DeviceType == DeviceTypes::None)
        device_.DeviceType = DeviceTypes::Amplifier; // a silent or unclear device counts as the amplifier
    view_.SetCaption(device_.DeviceType == DeviceTypes::Fixture ? QStringLiteral("Fixtur found")
                                                                : QStringLiteral("KVX5500+ with Velmora found"));

    if (!checkFile(fileName) || !enterBootMode())
        return false;
    if (device_.DeviceType == DeviceTypes::Amplifier && (!confirmBootMode() || !eraseBlocks()))
        return false;

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return failureEnd(QStringLiteral("%1: cannot be opened (%2)").arg(fileName, file.errorString()));
    view_.SetProgress(0);
    view_.SetCaption(QStringLiteral("Programming Velmora module"));
    Pass pass(*this, file);
    return pass.run();
}

bool ProgrammingRun::checkFile(const QString& fileName)
{
    view_.SetCaption(QStringLiteral("Checking file..."));
    const FirmwareCheckResult check = CheckFirmwareFile(fileName, [this] { view_.SetCaption(QStringLiteral("File found")); });
    if (!check.ok) {
        view_.SetCaption(QStringLiteral("Fault"));
        return failureEnd(check.why);
    }
    totalBytes_ = check.totalBytes;
    view_.SetCaption(QStringLiteral("File ok"));
    return true;
}

bool ProgrammingRun::enterBootMode()
{
    device_.EnterBootMode();
    if (device_.OpState == OpStates::Timeout)
        return timeoutEnd(QStringLiteral("no answer in time to the boot-mode entry"));
    return true;
}

bool ProgrammingRun::confirmBootMode()
{
    WaitClock& clock = device_.clock();
    const QByteArray& buffer = device_.ReceiveBuffer();
    const double waitStart = clock.Now();
    const double deadline = waitStart + BootConfirmSeconds + 0.001;
    int expected = 255;
    for (;;) {
        const double waitElapsed = clock.Now() - waitStart;
        clock.WaitForEvents(deadline);
        if (!buffer.isEmpty() && expected == 255)
            expected = static_cast<std::uint8_t>(buffer.at(0));
        if (waitElapsed > BootConfirmSeconds || buffer.size() == expected)
            break;
    }
    if (buffer.size() <= 4 || device_.ReplyByte(3) != 0x40 || device_.ReplyByte(4) != 0) {
        view_.SetCaption(QStringLiteral("Fault"));
        return failureEnd(buffer.isEmpty()
                              ? QStringLiteral("the amplifier sent no boot-mode frame within 2 seconds")
                              : QStringLiteral("the amplifier's boot-mode frame is not valid: %1").arg(HexStringToReadable(buffer).trimmed()));
    }
    return true;
}

bool ProgrammingRun::eraseBlocks()
{
    for (const std::uint8_t block : ErasedBlocks) {
        device_.EraseFlashBlockNo(block);
        if (!succeeded(QStringLiteral("the erase request of flash block %1").arg(block)))
            return false;
    }
    return true;
}

bool ProgrammingRun::writeSerialNumber()
{
    // Held from reading the number to storing the next one, so that no other
    // run working from the same settings gets the same number.
    SettingsLock lock(settings_.Ini.IniFileName, SettingsLock::WriteTimeoutMs);
    const SerialNumberStep step; // a request to end the program waits for the step
    if (!lock.IsLocked()) {
        view_.SetCaption(QStringLiteral("Fault"));
        return failureEnd(QStringLiteral("the settings file %1 cannot be locked, so no serial number can be given out safely").arg(settings_.Ini.IniFileName));
    }
    const std::int32_t serial = GetSerialNumber(settings_.Ini);
    std::array<std::uint8_t, 33> buffer{};
    buffer[0] = 0x0B;
    const auto u = static_cast<std::uint32_t>(serial);
    buffer[1] = static_cast<std::uint8_t>(u >> 24);
    buffer[2] = static_cast<std::uint8_t>(u >> 16);
    buffer[3] = static_cast<std::uint8_t>(u >> 8);
    buffer[4] = static_cast<std::uint8_t>(u);
    device_.WriteSFOmem(5, SerialNumberAddress, buffer);
    const SerialCount count = CountSerialNumberUp(settings_.Ini);
    if (count.numeric && !count.written) {
        // The device holds the number but the counter did not move on: the
        // next run would give it out again.
        view_.SetCaption(QStringLiteral("Fault"));
        return failureEnd(QStringLiteral("serial number %1 was written but %2 could not be stored in %3")
                              .arg(serial)
                              .arg(count.next, settings_.Ini.IniFileName));
    }
    return true;
}

bool ProgrammingRun::succeeded(const QString& what)
{
    const std::uint8_t state = device_.OpState;
    if (state == OpStates::Started)
        return true;
    if (state == OpStates::Timeout)
        return timeoutEnd(QStringLiteral("no answer in time to ") + what);
    view_.SetCaption(QStringLiteral("Fault"));
    const QByteArray& reply = device_.ReceiveBuffer();
    if (reply.size() >= 4 && device_.ReplyByte(4) != 0)
        return failureEnd(QStringLiteral("the device refused %1 with status %2").arg(what, hexByte(device_.ReplyByte(4))));
    if (reply.isEmpty())
        return failureEnd(QStringLiteral("%1 was not sent (its arguments are outside the limits)").arg(what));
    return failureEnd(QStringLiteral("the reply to %1 is too short (%2 bytes)").arg(what).arg(reply.size()));
}

bool ProgrammingRun::timeoutEnd(const QString& why)
{
    view_.SetCaption(QStringLiteral("COM timeout"));
    outcome_ = RunOutcome::Timeout;
    view_.SetProgress(0);
    view_.ExplainFailure(why);
    view_.ShowFailureBox();
    return false;
}

bool ProgrammingRun::failureEnd(const QString& why)
{
    outcome_ = RunOutcome::Fault;
    view_.SetProgress(0);
    view_.ExplainFailure(why);
    view_.ShowFailureBox();
    return false;
}

} // namespace vlboot
