#include "RunTexts.h"

#include "DeviceProtocol.h"
#include "HexHelpers.h"
#include "ModuleLayout.h"
#include "RunReport.h"

namespace vlboot {
namespace {

// At most this many bytes of a reply are shown.
constexpr int ShownReplyBytes = 24;

QString lines(long long first, long long last)
{
    return first == last ? QStringLiteral("line %1").arg(first) : QStringLiteral("lines %1 to %2").arg(first).arg(last);
}

QString hex(std::uint32_t value, int digits)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// The text of one finding for a run of `deviceType`; "" when it does not
// concern that kind of device.
QString findingText(const WalkFinding& f, std::uint8_t deviceType, const QString& file)
{
    using K = WalkFinding::Kind;
    const bool amplifier = deviceType == DeviceTypes::Amplifier;
    switch (f.kind) {
    case K::NoData:
        return QStringLiteral("%1 has no data records: nothing was written into the module's memory").arg(file);
    case K::NoEndRecord:
        if (amplifier && f.count > 0)
            return QStringLiteral("%1 has no end-of-file record: the last data of block %2 (%3) were written into the "
                                  "module's memory but never programmed into its flash")
                .arg(file)
                .arg(f.block)
                .arg(lines(f.line, f.lastLine));
        return QStringLiteral("%1 has no end-of-file record: it may be cut short").arg(file);
    case K::DataAfterEnd:
        return QStringLiteral("%1 has %2 data records after its end-of-file record at line %3 (%4): they are not written")
            .arg(file)
            .arg(f.count)
            .arg(f.other)
            .arg(lines(f.line, f.lastLine));
    case K::EndRecordData:
        return QStringLiteral("the end-of-file record at line %1 carries %2 data bytes, which the run writes at offset %3 "
                              "of block %4; a standard Intel HEX reader ignores them")
            .arg(f.line)
            .arg(f.count)
            .arg(hex(f.address, 4))
            .arg(f.block);
    case K::SerialArea:
        if (deviceType != DeviceTypes::Fixture)
            return {};
        return QStringLiteral("%1 writes %2 to %3, where the fixture's serial number goes (%4 to %5): the serial-number "
                              "write overwrites them")
            .arg(lines(f.line, f.lastLine), hex(f.address, 4), hex(f.address + f.count - 1, 4),
                 hex(ModuleLayout::SerialNumberAddress, 4),
                 hex(ModuleLayout::SerialNumberAddress + ModuleLayout::SerialNumberRecordBytes - 1, 4));
    default:
        break;
    }
    if (!amplifier)
        return {}; // a fixture programs no flash blocks
    switch (f.kind) {
    case K::WrongBlock:
        return QStringLiteral("the data of %1 belong at %2 by the file's address records, but the run programs them into "
                              "block %3")
            .arg(lines(f.line, f.lastLine), hex(f.address, 8))
            .arg(f.block);
    case K::ProgrammedTwice:
        return QStringLiteral("block %1 is programmed a second time at line %2: the data of %3 programmed into it before "
                              "are lost from its flash")
            .arg(f.block)
            .arg(f.line)
            .arg(lines(f.other, f.lastLine));
    case K::NotErased:
        return QStringLiteral("block %1 was programmed without being erased first (the amplifier run erases %2 only)")
            .arg(f.block)
            .arg(ModuleLayout::ErasedBlocksText());
    case K::CrcArea:
        return QStringLiteral("line %1 writes offsets %2 to %3 of block %4, where the module stores its flash CRC: the "
                              "flash CRC write overwrites them")
            .arg(f.line)
            .arg(hex(0, 4), hex(ModuleLayout::CrcBytes - 1, 4))
            .arg(ModuleLayout::CrcBlock);
    default:
        return {};
    }
}

} // namespace

QString ReplyBytesText(const QByteArray& bytes)
{
    QString text = HexStringToReadable(bytes.left(ShownReplyBytes)).trimmed();
    if (bytes.size() > ShownReplyBytes)
        text += QStringLiteral(" ...");
    return text.isEmpty() ? QStringLiteral("(no bytes)") : text;
}

QString StatusText(std::uint8_t status)
{
    return QStringLiteral("status 0x") + myDecToHexString(status);
}

QString RefusalText(const Exchange& e)
{
    if (e.status && *e.status != 0)
        return StatusText(*e.status);
    return QStringLiteral("a reply too short: ") + ReplyBytesText(e.reply);
}

QString ExchangeProblem(const Exchange& e, const QString& what)
{
    if (!e.sent)
        return QStringLiteral("%1 was not sent (its arguments are outside the limits)").arg(what);
    if (e.Refused()) {
        if (e.status && *e.status != 0)
            return QStringLiteral("the device refused %1 with %2").arg(what, StatusText(*e.status));
        return QStringLiteral("the reply to %1 is too short: %2").arg(what, ReplyBytesText(e.reply));
    }
    const QByteArray& buffer = e.reply;
    if (buffer.isEmpty() && e.discarded > 0)
        return QStringLiteral("the reply to %1 was never complete: %2 bytes came, more than a reply can have, and were "
                              "thrown away")
            .arg(what)
            .arg(e.discarded);
    if (buffer.isEmpty())
        return QStringLiteral("no answer in time to %1").arg(what);
    const int announced = static_cast<std::uint8_t>(buffer.at(0));
    if (announced == 0)
        return QStringLiteral("the reply to %1 can never be complete, its length byte is 0: %2").arg(what, ReplyBytesText(buffer));
    if (buffer.size() < announced)
        return QStringLiteral("the reply to %1 was not complete in time, %2 of the %3 bytes its length byte announces came: %4")
            .arg(what)
            .arg(buffer.size())
            .arg(announced)
            .arg(ReplyBytesText(buffer));
    return QStringLiteral("the reply to %1 was never complete, %2 bytes came but its length byte announces %3 (a stray "
                          "byte ahead of it, or two replies run together): %4")
        .arg(what)
        .arg(buffer.size())
        .arg(announced)
        .arg(ReplyBytesText(buffer));
}

QString PinnedFirmwareMismatch(const QString& fileName, const QByteArray& sha256, const QByteArray& pinned)
{
    return QStringLiteral("%1 is not the released firmware: its SHA-256 is %2, the pinned one is %3; nothing was programmed")
        .arg(fileName, QString::fromLatin1(sha256), QString::fromLatin1(pinned));
}

QString BootFrameProblem(const Bootloader::BootModeFrame& frame, double seconds)
{
    if (frame.state == Bootloader::BootModeFrame::State::Missing)
        return QStringLiteral("the amplifier sent no boot-mode frame within %1 seconds").arg(seconds);
    return QStringLiteral("the amplifier's boot-mode frame is not valid: %1").arg(ReplyBytesText(frame.bytes));
}

QStringList FindingWarnings(const WalkSummary& walk, std::uint8_t deviceType, const QString& fileName)
{
    QStringList warnings;
    std::array<int, std::tuple_size_v<decltype(walk.findingCounts)>> shown{};
    for (const WalkFinding& f : walk.findings) {
        const QString text = findingText(f, deviceType, fileName);
        if (text.isEmpty())
            continue;
        warnings << text;
        const auto kind = static_cast<std::size_t>(f.kind);
        if (++shown[kind] == WalkSummary::MaxFindingsPerKind && walk.findingCounts[kind] > shown[kind])
            warnings << QStringLiteral("... and %1 more like the last one").arg(walk.findingCounts[kind] - shown[kind]);
    }
    return warnings;
}

QString RunReport::ModuleText() const
{
    const bool fixture = deviceType == DeviceTypes::Fixture;
    const QString device = fixture ? QStringLiteral("the fixture") : QStringLiteral("the module");
    QString text;
    switch (module) {
    case ModuleState::Untouched: return QStringLiteral("nothing was changed on the module");
    case ModuleState::InBootMode: text = QStringLiteral("%1 is left in boot mode").arg(device); break;
    case ModuleState::Erased: text = QStringLiteral("the module is left in boot mode with its flash erased"); break;
    case ModuleState::Written: text = QStringLiteral("%1 is left in boot mode with part of the firmware in its memory").arg(device); break;
    case ModuleState::Programmed:
        text = fixture ? QStringLiteral("the fixture is left in boot mode with the firmware in its memory")
                       : QStringLiteral("the module is left in boot mode with the firmware programmed but its flash CRC not stored");
        break;
    case ModuleState::CrcStored: text = QStringLiteral("the module is left in boot mode with the firmware programmed and its flash CRC stored"); break;
    case ModuleState::Left: text = QStringLiteral("%1 was programmed and has left boot mode").arg(device); break;
    }
    if (serial.number) {
        const qint64 n = *serial.number;
        switch (serial.write) {
        case SerialNumberStep::Write::NotSent: text += QStringLiteral("; serial number %1 was given out but not sent to it").arg(n); break;
        case SerialNumberStep::Write::NoReply: text += QStringLiteral("; serial number %1 was sent to it without a reply: it may or may not hold it").arg(n); break;
        case SerialNumberStep::Write::Refused: text += QStringLiteral("; it refused serial number %1").arg(n); break;
        case SerialNumberStep::Write::Confirmed: text += QStringLiteral("; it confirmed serial number %1").arg(n); break;
        }
    }
    return module == ModuleState::Left ? text : text + QStringLiteral(": run it again");
}

QString RunReport::StopReport() const
{
    return QStringLiteral("while %1; %2").arg(step, ModuleText());
}

} // namespace vlboot
