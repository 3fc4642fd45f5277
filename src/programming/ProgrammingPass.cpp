// The programming pass of a run: the file walked again, as the checking
// pass walked it, and every step of the walk carried out on the module.

#include "Bootloader.h"
#include "FirmwareFile.h"
#include "ModuleLayout.h"
#include "ProgramModule.h"
#include "RunTexts.h"
#include "StopRequest.h"

#include <array>

namespace vlboot {

// Streams the file's records into module memory and programs each block
// when the next one begins, from the file as it was checked: a file that
// changed in between ends the run with "Fault" before the next block is
// programmed.
class ProgrammingRun::Pass {
public:
    explicit Pass(ProgrammingRun& run) : run_(run) {}

    // True when the closing was reached and succeeded.
    bool Run(const QString& fileName);

private:
    bool step(const WalkStep& step, const FirmwareLine& line);
    bool record(const FirmwareLine& line, std::uint8_t block);
    bool blockEnd(std::uint8_t block);
    bool closing();
    // The file is still the one the checking pass read; else the fault end.
    bool unchanged();

    ProgrammingRun& run_;
    RunReport& report() { return run_.report_; }
    Bootloader& dev() { return run_.device_; }
    FirmwareFile file_;
    QString fileName_;
    double bytesSent_ = 0;
    std::array<std::uint8_t, ModuleLayout::MaxRecordBytes> recordBuffer_{};
};

bool ProgrammingRun::programmingPass(const QString& fileName)
{
    Pass pass(*this);
    return pass.Run(fileName);
}

bool ProgrammingRun::Pass::Run(const QString& fileName)
{
    fileName_ = fileName;
    if (const Outcome opened = file_.Open(fileName); !opened.ok())
        return run_.faultCaptionEnd(opened.why());
    if (!unchanged())
        return false;
    run_.view_.SetProgress(0);
    run_.caption(QStringLiteral("Programming Velmora module"));
    report().step = QStringLiteral("writing the firmware into the module's memory");

    FirmwareWalk walk;
    QByteArrayView text;
    while (file_.NextLine(text)) {
        const FirmwareLine line(text);
        if (line.IsShort())
            continue;
        for (const WalkStep& s : walk.Feed(line, file_.LineNumber())) {
            if (!step(s, line))
                return false;
            if (s.kind == WalkStep::Kind::Close)
                return true;
        }
    }
    if (!file_.Status().ok())
        return unchanged() && run_.faultCaptionEnd(file_.Status().why());
    for (const WalkStep& s : walk.Finish()) {
        if (!step(s, FirmwareLine({})))
            return false;
    }
    return true;
}

bool ProgrammingRun::Pass::step(const WalkStep& s, const FirmwareLine& line)
{
    if (s.kind == WalkStep::Kind::Write)
        return record(line, s.block);
    if (s.kind == WalkStep::Kind::BlockEnd)
        return blockEnd(s.block);
    return closing();
}

bool ProgrammingRun::Pass::unchanged()
{
    if (file_.Identity() == report().check.identity)
        return true;
    return run_.faultCaptionEnd(
        QStringLiteral("%1: changed since it was checked; nothing more was programmed from it").arg(fileName_));
}

bool ProgrammingRun::Pass::record(const FirmwareLine& line, std::uint8_t block)
{
    const int n = line.Count();
    bytesSent_ += n;
    recordBuffer_.fill(0);
    for (int i = 0; i < n; ++i) // (the checking pass let no record of more than 32 bytes through)
        recordBuffer_[static_cast<std::size_t>(i)] = line.DataByte(i);
    const Exchange e = dev().WriteSFOmem(n, line.Offset(), recordBuffer_);
    // The description of the write is made only when it failed: a run
    // writes thousands of records and nobody reads it otherwise.
    if (!e.Succeeded()
        && !run_.succeeded(e, QStringLiteral("the memory write of %1 bytes at offset 0x%2 of block %3 (%4, line %5)")
                                  .arg(n)
                                  .arg(line.Offset(), 4, 16, QLatin1Char('0'))
                                  .arg(block)
                                  .arg(fileName_)
                                  .arg(file_.LineNumber())))
        return false;
    report().module = ModuleState::Written;
    const double total = report().check.totalBytes;
    const float p = static_cast<float>(bytesSent_ / total * 100.0);
    // A total of 0 gives no number below 100: the bar stands at 100.
    run_.view_.SetProgress(p < 100.0f ? (p > 0.0f ? p : 0.0f) : 100.0f);
    run_.view_.ReportBytes(bytesSent_, total);
    return true;
}

bool ProgrammingRun::Pass::blockEnd(std::uint8_t block)
{
    if (!unchanged())
        return false;
    if (run_.report_.deviceType != DeviceTypes::Amplifier)
        return true;
    report().step = QStringLiteral("programming flash block %1").arg(block);
    if (!run_.succeeded(dev().GetCRCfromRAM(), QStringLiteral("the CRC read at the end of block %1").arg(block))
        || !run_.succeeded(dev().WriteFlashBlockNo(block), QStringLiteral("the program request of flash block %1").arg(block)))
        return false;
    report().step = QStringLiteral("writing the firmware into the module's memory");
    return true;
}

bool ProgrammingRun::Pass::closing()
{
    if (!unchanged())
        return false;
    report().module = ModuleState::Programmed;
    for (const QString& warning : FindingWarnings(report().check.walk, report().deviceType, fileName_))
        run_.warn(warning);
    if (report().deviceType == DeviceTypes::Fixture && !run_.writeSerialNumber())
        return false;
    if (run_.stop_.Effective())
        return run_.stopped(); // asked for during the serial-number step
    if (report().deviceType == DeviceTypes::Amplifier && !run_.storeFlashCrc())
        return false;
    return run_.leaveBootMode();
}

} // namespace vlboot
