#include "ProgramModule.h"

#include "Bootloader.h"
#include "CommandTable.h"
#include "FirmwareFile.h"
#include "FirmwareLine.h"
#include "HexHelpers.h"
#include "SerialNumber.h"
#include "StopRequest.h"

#include <algorithm>
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

// At most this many bytes of a reply that never completed are shown.
constexpr int ShownReplyBytes = 24;

// Bytes of a request carrying an SFO message of `length` bytes, and of the
// module's status reply.
constexpr int SfoFrameBytes(int length)
{
    return length + 5;
}
constexpr int StatusReplyBytes = 5;

} // namespace

RunTraffic ProgrammingRun::Traffic(const FirmwareCheckResult& check, std::uint8_t deviceType)
{
    const bool fixture = deviceType == DeviceTypes::Fixture;
    const int bootFrame = RSfunctions::CommandTable()[RSfunctions::BootControlCommand].FrameLength;
    RunTraffic t;
    double dataBytes = 0;
    for (const FirmwareBlock& block : check.blocks)
        dataBytes += block.bytes;
    // Detection, boot-mode entry (and the amplifier's boot-mode frame) and exit.
    t.exchanges = 3;
    t.wireBytes = SfoFrameBytes(4) + 8 + 2 * (bootFrame + StatusReplyBytes) + (fixture ? 0 : StatusReplyBytes);
    // One memory write per record: the SFO message holds the data and 6 bytes.
    t.exchanges += check.records;
    t.wireBytes += dataBytes + check.records * (SfoFrameBytes(6) + StatusReplyBytes);
    if (fixture) {
        t.exchanges += 1; // the serial-number record
        t.wireBytes += SfoFrameBytes(6 + 5) + StatusReplyBytes;
    } else {
        const auto erases = static_cast<long long>(ErasedBlocks.size());
        t.exchanges += erases + 2 * check.blockPrograms + 1; // erases, CRC read and program per block, flash CRC
        t.wireBytes += (erases + check.blockPrograms) * (SfoFrameBytes(5) + StatusReplyBytes)
            + check.blockPrograms * (SfoFrameBytes(4) + 7) + SfoFrameBytes(4) + StatusReplyBytes;
    }
    return t;
}

// The programming pass: streams the file's records into module memory and
// programs each block when the next one begins. It sends exactly the records
// the checking pass counted, from the file as it was checked: a file that
// changed in between ends the run with "Fault" before the next block is
// programmed.
class ProgrammingRun::Pass {
public:
    explicit Pass(ProgrammingRun& run) : run_(run) {}

    // True when the closing was reached and succeeded.
    bool run(const QString& fileName);

private:
    bool record(const FirmwareLine& line);
    bool blockEnd();
    bool closing(bool endRecord);
    // The file is still the one the checking pass read; else the fault end.
    bool unchanged();
    bool changed(const QString& what);

    ProgrammingRun& run_;
    Bootloader& dev() { return run_.device_; }
    FirmwareFile file_;
    QString fileName_;
    long long records_ = 0;   // memory writes made
    double bytesSent_ = 0;
    std::uint8_t currentBlock_ = 0xFF;
    std::uint8_t currentUpper_ = 0xFF;
    std::uint8_t nextBlock_ = 0;
    std::uint8_t nextUpper_ = 0;
    bool changePending_ = false;
    bool dataSeen_ = false;
    bool unprogrammed_ = false; // data written since the last block program
    std::array<std::uint8_t, 33> recordBuffer_{};
};

bool ProgrammingRun::Pass::run(const QString& fileName)
{
    fileName_ = fileName;
    if (!file_.Open(fileName))
        return run_.faultCaptionEnd(file_.Why());
    if (!unchanged())
        return false;
    run_.view_.SetProgress(0);
    run_.view_.SetCaption(QStringLiteral("Programming Velmora module"));
    run_.step_ = QStringLiteral("writing the firmware into the module's memory");

    QByteArrayView text;
    while (file_.NextLine(text)) {
        const FirmwareLine line(text);
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
                return closing(true);
            changePending_ = false;
        }
        if (!record(line))
            return false;
        if (type == FirmwareLine::EndOfFile)
            return blockEnd() && closing(true);
    }
    if (file_.Failed())
        return unchanged() && run_.faultCaptionEnd(file_.Why());
    return closing(false); // no end record: the last block is not programmed
}

bool ProgrammingRun::Pass::unchanged()
{
    if (file_.Identity() != run_.check_.identity)
        return changed(QStringLiteral("changed since it was checked"));
    return true;
}

bool ProgrammingRun::Pass::changed(const QString& what)
{
    return run_.faultCaptionEnd(QStringLiteral("%1: %2; nothing more was programmed from it").arg(fileName_, what));
}

bool ProgrammingRun::Pass::record(const FirmwareLine& line)
{
    const int n = line.Count();
    if (n > 0) {
        if (records_ == run_.check_.records)
            return unchanged() && changed(QStringLiteral("has more records than when it was checked"));
        ++records_;
        bytesSent_ += n;
        recordBuffer_.fill(0);
        for (int i = 0; i < n && i < static_cast<int>(recordBuffer_.size()); ++i)
            recordBuffer_[i] = line.DataByte(i);
        dev().WriteSFOmem(n, line.Offset(), recordBuffer_);
        // The description of the write is made only when it failed: a run
        // writes thousands of records and nobody reads it otherwise.
        if (run_.protocol_.OpState != OpStates::Started
            && !run_.succeeded(QStringLiteral("the memory write of %1 bytes at offset 0x%2 of block %3 (%4, line %5)")
                                   .arg(n)
                                   .arg(line.Offset(), 4, 16, QLatin1Char('0'))
                                   .arg(currentBlock_)
                                   .arg(fileName_)
                                   .arg(file_.LineNumber())))
            return false;
        if (run_.module_ == ModuleState::InBootMode)
            run_.module_ = ModuleState::Written;
        unprogrammed_ = true;
        const float p = static_cast<float>(bytesSent_ / run_.check_.totalBytes * 100.0);
        // A total of 0 gives no number below 100: the bar stands at 100.
        run_.view_.SetProgress(p < 100.0f ? (p > 0.0f ? p : 0.0f) : 100.0f);
        run_.view_.ReportBytes(bytesSent_, run_.check_.totalBytes);
    }
    dataSeen_ = true;
    return true;
}

bool ProgrammingRun::Pass::blockEnd()
{
    if (!dataSeen_)
        return true; // the file's first type-04 record came before any data
    if (!unchanged())
        return false;
    if (run_.DeviceType == DeviceTypes::Amplifier) {
        if (std::find(ErasedBlocks.begin(), ErasedBlocks.end(), currentBlock_) == ErasedBlocks.end())
            run_.warn(QStringLiteral("block %1 was programmed without being erased first (the amplifier run erases "
                                     "blocks 0 to 5 and 42 only)")
                          .arg(currentBlock_));
        dev().GetCRCfromRAM();
        if (!run_.succeeded(QStringLiteral("the CRC read at the end of block %1").arg(currentBlock_)))
            return false;
        dev().WriteFlashBlockNo(currentBlock_);
        if (!run_.succeeded(QStringLiteral("the program request of flash block %1").arg(currentBlock_)))
            return false;
        unprogrammed_ = false;
    }
    currentUpper_ = nextUpper_;
    currentBlock_ = nextBlock_;
    return true;
}

bool ProgrammingRun::Pass::closing(bool endRecord)
{
    if (!unchanged())
        return false;
    if (records_ != run_.check_.records)
        return changed(QStringLiteral("has fewer records than when it was checked"));
    const bool amplifier = run_.DeviceType == DeviceTypes::Amplifier;
    if (records_ == 0)
        run_.warn(QStringLiteral("%1 has no data records: nothing was written into the module's memory").arg(fileName_));
    else if (!endRecord && amplifier && unprogrammed_)
        run_.warn(QStringLiteral("%1 has no end-of-file record: the last data of block %2 were written into the "
                                 "module's memory but never programmed into its flash")
                      .arg(fileName_)
                      .arg(currentBlock_));
    else if (!endRecord)
        run_.warn(QStringLiteral("%1 has no end-of-file record: it may be cut short").arg(fileName_));

    if (run_.DeviceType == DeviceTypes::Fixture && !run_.writeSerialNumber())
        return false;
    if (run_.stop_.Effective())
        return run_.stopped(); // asked for during the serial-number step
    if (amplifier) {
        run_.step_ = QStringLiteral("storing the flash CRC");
        dev().WriteFlashCRC();
        if (run_.protocol_.OpState == OpStates::EraseFailed)
            run_.warn(QStringLiteral("the module refused the flash CRC write (%1): its flash CRC is not stored")
                          .arg(run_.refusal()));
        else if (!run_.succeeded(QStringLiteral("the flash CRC write")))
            return false;
    }
    run_.step_ = QStringLiteral("taking the module out of boot mode");
    dev().ExitBootMode();
    if (!run_.succeeded(QStringLiteral("the boot-mode exit")))
        return false;
    if (run_.protocol_.LastReplyStatus().value_or(0) != 0)
        run_.warn(QStringLiteral("the module answered the boot-mode exit with %1: it may still be in boot mode")
                      .arg(run_.lastStatusText()));
    run_.module_ = ModuleState::Left;
    run_.view_.SetCaption(QStringLiteral("Done with succes"));
    run_.outcome_ = RunOutcome::Success;
    return true;
}

ProgrammingRun::ProgrammingRun(DeviceProtocol& protocol, Bootloader& device, SerialNumberSource& serials, RunView& view,
                               StopRequest& stop)
    : protocol_(protocol)
    , device_(device)
    , serials_(serials)
    , view_(view)
    , stop_(stop)
{
}

bool ProgrammingRun::ProgramModule(const QString& fileName)
{
    outcome_ = RunOutcome::Fault;
    module_ = ModuleState::Untouched;
    notes_.clear();
    serial_.reset();
    step_ = QStringLiteral("starting");
    if (stop_.Effective())
        return stopped();
    view_.SetCaption(QStringLiteral("Init"));

    step_ = QStringLiteral("detecting the device");
    DeviceType = protocol_.DetectDevice();
    if (stop_.Effective())
        return stopped();
    if (DeviceType == DeviceTypes::None) {
        // A silent or unclear device counts as the amplifier.
        DeviceType = DeviceTypes::Amplifier;
        notes_ << (protocol_.OpState == OpStates::Timeout
                       ? replyProblem(QStringLiteral("the detection request"))
                       : QStringLiteral("the reply to the detection request was not usable: %1").arg(replyBytes()))
                          + QStringLiteral(", so an amplifier was assumed");
    }
    view_.SetCaption(DeviceType == DeviceTypes::Fixture ? QStringLiteral("Fixtur found")
                                                                : QStringLiteral("KVX5500+ with Velmora found"));
    if (DeviceType == DeviceTypes::Fixture) {
        step_ = QStringLiteral("making sure a serial number can be given out");
        QString notReady;
        if (!serials_.Ready(notReady))
            return faultCaptionEnd(notReady); // before boot mode: no fixture without a number
    }

    if (!checkFile(fileName) || !enterBootMode())
        return false;
    if (DeviceType == DeviceTypes::Amplifier && (!confirmBootMode() || !eraseBlocks()))
        return false;
    Pass pass(*this);
    return pass.run(fileName);
}

bool ProgrammingRun::checkFile(const QString& fileName)
{
    step_ = QStringLiteral("checking the file");
    view_.SetCaption(QStringLiteral("Checking file..."));
    check_ = CheckFirmwareFile(fileName, [this] { view_.SetCaption(QStringLiteral("File found")); });
    if (!check_.ok)
        return faultCaptionEnd(check_.why);
    view_.SetCaption(QStringLiteral("File ok"));
    return true;
}

bool ProgrammingRun::enterBootMode()
{
    step_ = QStringLiteral("putting the module into boot mode");
    device_.EnterBootMode();
    if (!succeeded(QStringLiteral("the boot-mode entry")))
        return false;
    module_ = ModuleState::InBootMode;
    if (protocol_.LastReplyStatus().value_or(0) != 0)
        notes_ << QStringLiteral("the module answered the boot-mode entry with %1").arg(lastStatusText());
    return true;
}

bool ProgrammingRun::confirmBootMode()
{
    step_ = QStringLiteral("waiting for the amplifier's boot-mode frame");
    std::uint8_t expected = 255;
    protocol_.AwaitReply(BootConfirmSeconds, expected);
    if (protocol_.Stopped())
        return stopped();
    const QByteArray& buffer = protocol_.ReceiveBuffer();
    if (buffer.size() <= 4 || protocol_.ReplyByte(3) != 0x40 || protocol_.ReplyByte(4) != 0) {
        return faultCaptionEnd(buffer.isEmpty()
                                   ? QStringLiteral("the amplifier sent no boot-mode frame within 2 seconds")
                                   : QStringLiteral("the amplifier's boot-mode frame is not valid: %1").arg(replyBytes()));
    }
    return true;
}

bool ProgrammingRun::eraseBlocks()
{
    step_ = QStringLiteral("erasing the flash");
    for (const std::uint8_t block : ErasedBlocks) {
        device_.EraseFlashBlockNo(block);
        module_ = ModuleState::Erased;
        if (!succeeded(QStringLiteral("the erase request of flash block %1").arg(block)))
            return false;
    }
    return true;
}

bool ProgrammingRun::writeSerialNumber()
{
    // The step runs to its end whatever is asked meanwhile: the fixture must
    // never hold a number the counter has not moved past.
    const StopRequest::Shield shield(stop_);
    step_ = QStringLiteral("giving out the serial number");
    const SerialNumberSource::Given given = serials_.Take();
    if (!given.ok)
        return faultCaptionEnd(given.why);
    for (const QString& warning : given.warnings)
        warn(warning);

    std::array<std::uint8_t, 33> buffer{};
    buffer[0] = 0x0B;
    const auto u = static_cast<std::uint32_t>(given.number);
    buffer[1] = static_cast<std::uint8_t>(u >> 24);
    buffer[2] = static_cast<std::uint8_t>(u >> 16);
    buffer[3] = static_cast<std::uint8_t>(u >> 8);
    buffer[4] = static_cast<std::uint8_t>(u);
    serial_ = given.number;
    view_.ReportSerialNumber(given.number);
    device_.WriteSFOmem(5, SerialNumberAddress, buffer);
    module_ = ModuleState::Numbered;
    if (protocol_.OpState == OpStates::Timeout)
        warn(QStringLiteral("%1: the fixture may not hold serial number %2").arg(replyProblem(QStringLiteral("the serial-number write"))).arg(given.number));
    else if (protocol_.OpState != OpStates::Started)
        warn(QStringLiteral("the fixture refused the serial-number write (%1): it may not hold serial number %2")
                 .arg(refusal())
                 .arg(given.number));
    return true;
}

bool ProgrammingRun::succeeded(const QString& what)
{
    if (stop_.Effective())
        return stopped();
    const std::uint8_t state = protocol_.OpState;
    if (state == OpStates::Started)
        return true;
    if (state == OpStates::Timeout)
        return timeoutEnd(what);
    if (protocol_.ReceiveBuffer().isEmpty())
        return faultCaptionEnd(QStringLiteral("%1 was not sent (its arguments are outside the limits)").arg(what));
    if (refusedWithStatus())
        return faultCaptionEnd(QStringLiteral("the device refused %1 with status %2").arg(what, hexByte(protocol_.ReplyByte(4))));
    return faultCaptionEnd(QStringLiteral("the reply to %1 is too short: %2").arg(what, replyBytes()));
}

bool ProgrammingRun::refusedWithStatus() const
{
    return protocol_.ReceiveBuffer().size() >= 4 && protocol_.ReplyByte(4) != 0;
}

QString ProgrammingRun::refusal() const
{
    if (refusedWithStatus())
        return QStringLiteral("status ") + hexByte(protocol_.ReplyByte(4));
    return QStringLiteral("a reply too short: ") + replyBytes();
}

bool ProgrammingRun::stopped()
{
    outcome_ = RunOutcome::Stopped;
    return false;
}

QString ProgrammingRun::StopReport() const
{
    QString state;
    switch (module_) {
    case ModuleState::Untouched:
        state = QStringLiteral("nothing was changed on the module");
        break;
    case ModuleState::InBootMode:
        state = QStringLiteral("the module is left in boot mode: run it again");
        break;
    case ModuleState::Erased:
        state = QStringLiteral("the module is left in boot mode with its flash erased: run it again");
        break;
    case ModuleState::Written:
        state = QStringLiteral("the module is left in boot mode with part of the firmware in its memory: run it again");
        break;
    case ModuleState::Numbered:
        state = QStringLiteral("the fixture is left in boot mode holding serial number %1").arg(serial_.value_or(0));
        break;
    case ModuleState::Left:
        state = QStringLiteral("the module was programmed and has left boot mode");
        break;
    }
    return QStringLiteral("while %1; %2").arg(step_, state);
}

QString ProgrammingRun::replyBytes() const
{
    const QByteArray& buffer = protocol_.ReceiveBuffer();
    QString text = HexStringToReadable(buffer.left(ShownReplyBytes)).trimmed();
    if (buffer.size() > ShownReplyBytes)
        text += QStringLiteral(" ...");
    return text.isEmpty() ? QStringLiteral("(no bytes)") : text;
}

QString ProgrammingRun::replyProblem(const QString& what) const
{
    const QByteArray& buffer = protocol_.ReceiveBuffer();
    const qsizetype discarded = protocol_.DiscardedBytes();
    if (buffer.isEmpty() && discarded > 0)
        return QStringLiteral("the reply to %1 was never complete: %2 bytes came, more than a reply can have, and were "
                              "thrown away")
            .arg(what)
            .arg(discarded);
    if (buffer.isEmpty())
        return QStringLiteral("no answer in time to %1").arg(what);
    const int announced = static_cast<std::uint8_t>(buffer.at(0));
    if (announced == 0)
        return QStringLiteral("the reply to %1 can never be complete, its length byte is 0: %2").arg(what, replyBytes());
    if (buffer.size() < announced)
        return QStringLiteral("the reply to %1 was not complete in time, %2 of the %3 bytes its length byte announces came: %4")
            .arg(what)
            .arg(buffer.size())
            .arg(announced)
            .arg(replyBytes());
    return QStringLiteral("the reply to %1 was never complete, %2 bytes came but its length byte announces %3 (a stray "
                          "byte ahead of it, or two replies run together): %4")
        .arg(what)
        .arg(buffer.size())
        .arg(announced)
        .arg(replyBytes());
}

QString ProgrammingRun::lastStatusText() const
{
    return QStringLiteral("status ") + hexByte(protocol_.LastReplyStatus().value_or(0));
}

bool ProgrammingRun::timeoutEnd(const QString& what)
{
    view_.SetCaption(QStringLiteral("COM timeout"));
    const QString why = replyProblem(what);
    failureEnd(why);
    outcome_ = RunOutcome::Timeout;
    return false;
}

bool ProgrammingRun::faultCaptionEnd(const QString& why)
{
    view_.SetCaption(QStringLiteral("Fault"));
    return failureEnd(why);
}

bool ProgrammingRun::failureEnd(const QString& why)
{
    outcome_ = RunOutcome::Fault;
    view_.SetProgress(0);
    view_.ExplainFailure(notes_.isEmpty() ? why : why + QStringLiteral("; ") + notes_.join(QStringLiteral("; ")));
    view_.ShowFailureBox();
    return false;
}

void ProgrammingRun::warn(const QString& warning)
{
    view_.Warn(warning);
}

} // namespace vlboot
