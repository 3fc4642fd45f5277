#include "ProgramModule.h"

#include "Bootloader.h"
#include "ModuleLayout.h"
#include "RunTexts.h"
#include "SerialNumber.h"
#include "StopRequest.h"

#include <array>

namespace vlboot {

ProgrammingRun::ProgrammingRun(Bootloader& device, SerialNumberSource& serials, RunView& view, StopRequest& stop,
                               QByteArray pinnedSha256)
    : device_(device)
    , serials_(serials)
    , view_(view)
    , stop_(stop)
    , pinnedSha256_(std::move(pinnedSha256))
{
}

RunReport ProgrammingRun::ProgramModule(const QString& fileName)
{
    report_ = RunReport{};
    report_.fileName = fileName;
    notes_.clear();
    report_.step = QStringLiteral("starting");
    if (stop_.Effective()) {
        stopped();
        return report_;
    }
    caption(QStringLiteral("Init"));
    if (refuseBadAddress() && detect() && checkFile(fileName) && enterBootMode()
        && (report_.deviceType != DeviceTypes::Amplifier || (confirmBootMode() && eraseBlocks()))) {
        programmingPass(fileName);
    }
    return report_;
}

bool ProgrammingRun::refuseBadAddress()
{
    report_.step = QStringLiteral("checking the network address");
    const Outcome address = device_.CheckAddress();
    return address.ok() || faultCaptionEnd(address.why());
}

bool ProgrammingRun::detect()
{
    report_.step = QStringLiteral("detecting the device");
    const Bootloader::Detection found = device_.DetectDevice();
    if (stop_.Effective())
        return stopped();
    report_.deviceType = found.deviceType;
    if (found.deviceType == DeviceTypes::None) {
        // A silent or unclear device counts as the amplifier.
        report_.deviceType = DeviceTypes::Amplifier;
        notes_ << (found.exchange.TimedOut()
                       ? ExchangeProblem(found.exchange, QStringLiteral("the detection request"))
                       : QStringLiteral("the reply to the detection request was not usable: %1").arg(ReplyBytesText(found.exchange.reply)))
                          + QStringLiteral(", so an amplifier was assumed");
    }
    const bool fixture = report_.deviceType == DeviceTypes::Fixture;
    view_.ReportDevice(report_.deviceType);
    caption(fixture ? QStringLiteral("Fixtur found") : QStringLiteral("KVX5500+ with Velmora found"));
    if (!fixture)
        return true;
    report_.step = QStringLiteral("making sure a serial number can be given out");
    const Outcome ready = serials_.Ready();
    return ready.ok() || faultCaptionEnd(ready.why()); // before boot mode: no fixture without a number
}

bool ProgrammingRun::checkFile(const QString& fileName)
{
    report_.step = QStringLiteral("checking the file");
    caption(QStringLiteral("Checking file..."));
    report_.check = CheckFirmwareFile(fileName, [this] { caption(QStringLiteral("File found")); });
    if (!report_.check.ok)
        return faultCaptionEnd(report_.check.why);
    if (!pinnedSha256_.isEmpty() && report_.check.sha256 != pinnedSha256_)
        return faultCaptionEnd(PinnedFirmwareMismatch(fileName, report_.check.sha256, pinnedSha256_));
    caption(QStringLiteral("File ok"));
    return true;
}

bool ProgrammingRun::enterBootMode()
{
    report_.step = QStringLiteral("putting the module into boot mode");
    const Exchange e = device_.EnterBootMode();
    if (!succeeded(e, QStringLiteral("the boot-mode entry")))
        return false;
    report_.module = ModuleState::InBootMode;
    if (e.status.value_or(0) != 0)
        notes_ << QStringLiteral("the module answered the boot-mode entry with %1").arg(StatusText(*e.status));
    return true;
}

bool ProgrammingRun::confirmBootMode()
{
    report_.step = QStringLiteral("waiting for the amplifier's boot-mode frame");
    const Bootloader::BootModeFrame frame = device_.AwaitBootModeFrame(ModuleLayout::BootConfirmSeconds);
    if (frame.state == Bootloader::BootModeFrame::State::Stopped)
        return stopped();
    if (frame.state != Bootloader::BootModeFrame::State::Valid)
        return faultCaptionEnd(BootFrameProblem(frame, ModuleLayout::BootConfirmSeconds));
    return true;
}

bool ProgrammingRun::eraseBlocks()
{
    report_.step = QStringLiteral("erasing the flash");
    for (const std::uint8_t block : ModuleLayout::ErasedBlocks) {
        const Exchange e = device_.EraseFlashBlockNo(block);
        report_.module = ModuleState::Erased;
        if (!succeeded(e, QStringLiteral("the erase request of flash block %1").arg(block)))
            return false;
    }
    return true;
}

bool ProgrammingRun::writeSerialNumber()
{
    // The step runs to its end whatever is asked meanwhile: the fixture must
    // never hold a number the counter has not moved past.
    const StopRequest::Shield shield(stop_);
    report_.step = QStringLiteral("giving out the serial number");
    const Result<SerialNumberSource::Given> given = serials_.Take();
    if (!given)
        return faultCaptionEnd(given.why());
    for (const QString& warning : given->warnings)
        warn(warning);

    const std::int32_t number = given->number;
    report_.serial.number = number;
    view_.ReportSerialNumber(number);
    std::array<std::uint8_t, ModuleLayout::SerialNumberRecordBytes> buffer{};
    buffer[0] = ModuleLayout::SerialNumberMark;
    const auto u = static_cast<std::uint32_t>(number);
    for (int i = 0; i < 4; ++i)
        buffer[1 + i] = static_cast<std::uint8_t>(u >> (24 - 8 * i));
    report_.step = QStringLiteral("writing the serial number into the fixture");
    const Exchange e = device_.WriteSFOmem(ModuleLayout::SerialNumberRecordBytes, ModuleLayout::SerialNumberAddress, buffer);
    if (e.Succeeded()) {
        report_.serial.write = SerialNumberStep::Write::Confirmed;
    } else if (e.Refused()) {
        report_.serial.write = SerialNumberStep::Write::Refused;
        warn(QStringLiteral("the fixture refused the serial-number write (%1): it does not hold serial number %2")
                 .arg(RefusalText(e))
                 .arg(number));
    } else {
        report_.serial.write = SerialNumberStep::Write::NoReply;
        warn(QStringLiteral("%1: the fixture may or may not hold serial number %2")
                 .arg(ExchangeProblem(e, QStringLiteral("the serial-number write")))
                 .arg(number));
    }
    return true;
}

bool ProgrammingRun::storeFlashCrc()
{
    report_.step = QStringLiteral("storing the flash CRC");
    const Exchange e = device_.WriteFlashCRC();
    if (e.Refused()) {
        // A refused flash CRC write lets the run go on.
        warn(QStringLiteral("the module refused the flash CRC write (%1): its flash CRC is not stored").arg(RefusalText(e)));
        return true;
    }
    if (!succeeded(e, QStringLiteral("the flash CRC write")))
        return false;
    report_.module = ModuleState::CrcStored;
    return true;
}

bool ProgrammingRun::leaveBootMode()
{
    report_.step = QStringLiteral("taking the module out of boot mode");
    const Exchange e = device_.ExitBootMode();
    if (!succeeded(e, QStringLiteral("the boot-mode exit")))
        return false;
    if (e.status.value_or(0) != 0)
        warn(QStringLiteral("the module answered the boot-mode exit with %1: it may still be in boot mode").arg(StatusText(*e.status)));
    report_.module = ModuleState::Left;
    caption(QStringLiteral("Done with succes"));
    report_.outcome = RunOutcome::Success;
    return true;
}

bool ProgrammingRun::succeeded(const Exchange& exchange, const QString& what)
{
    if (stop_.Effective())
        return stopped();
    if (exchange.Succeeded())
        return true;
    if (exchange.TimedOut())
        return timeoutEnd(ExchangeProblem(exchange, what));
    return faultCaptionEnd(ExchangeProblem(exchange, what));
}

bool ProgrammingRun::stopped()
{
    report_.outcome = RunOutcome::Stopped;
    return false;
}

bool ProgrammingRun::timeoutEnd(const QString& why)
{
    caption(QStringLiteral("COM timeout"));
    return failureEnd(RunOutcome::Timeout, why);
}

bool ProgrammingRun::faultCaptionEnd(const QString& why)
{
    caption(QStringLiteral("Fault"));
    return failureEnd(RunOutcome::Fault, why);
}

bool ProgrammingRun::failureEnd(RunOutcome outcome, const QString& why)
{
    report_.outcome = outcome;
    report_.why = notes_.isEmpty() ? why : why + QStringLiteral("; ") + notes_.join(QStringLiteral("; "));
    view_.SetProgress(0);
    return false;
}

void ProgrammingRun::caption(const QString& text)
{
    report_.caption = text;
    view_.SetCaption(text);
}

void ProgrammingRun::warn(const QString& warning)
{
    report_.warnings << warning;
    view_.Warn(warning);
}

} // namespace vlboot
