#include "UnitLine.h"

#include <algorithm>
#include <cstdio>

namespace vlboot::sim {

namespace {

constexpr int SerialRecordAt = 0x7FFB;
constexpr char SerialRecordMark = 0x0B;

const char* kindName(DeviceKind kind)
{
    switch (kind) {
    case DeviceKind::Amplifier: return "amplifier";
    case DeviceKind::Fixture: return "fixture";
    case DeviceKind::Silent: break;
    }
    return "silent";
}

} // namespace

std::string UnitLogLine(const UnitReport& r, const DeviceModel& unit, double startEpoch)
{
    const auto time = [](double t) { return t < 0 ? std::string("null") : std::to_string(t); };
    char head[320];
    std::snprintf(head, sizeof head,
                  "{\"unit\":%d,\"device\":\"%s\",\"arrived\":%.3f,\"left\":%.3f,\"left_by\":\"%s\",\"requests\":%d,"
                  "\"detections\":%d,\"boot_entries\":%d,\"complete_runs\":%d",
                  r.number, kindName(unit.Kind()), r.arrived, r.left, r.leftBy.c_str(), r.requests, r.detections,
                  r.bootEntries, r.completeRuns);
    std::string line = head;
    line += ",\"first_answer\":" + time(r.firstAnswer) + ",\"boot_entry\":" + time(r.bootEntry) + ",\"run_end\":" + time(r.runEnd);
    char epoch[48];
    std::snprintf(epoch, sizeof epoch, ",\"start_epoch\":%.6f", startEpoch);
    line += epoch;
    if (unit.Kind() == DeviceKind::Amplifier) {
        line += ",\"blocks\":[";
        const std::vector<int> blocks = unit.ProgrammedBlocks();
        for (std::size_t i = 0; i < blocks.size(); ++i)
            line += (i == 0 ? "" : ",") + std::to_string(blocks[i]);
        line += unit.FlashCrcWritten() ? "],\"flash_crc\":true" : "],\"flash_crc\":false";
    } else if (unit.Kind() == DeviceKind::Fixture) {
        const QByteArray record = unit.Memory().mid(SerialRecordAt, 5);
        std::uint32_t serial = 0;
        for (int i = 1; i < 5; ++i)
            serial = (serial << 8) | static_cast<std::uint8_t>(record.at(i));
        line += ",\"serial_number\":" + (record.at(0) == SerialRecordMark ? std::to_string(serial) : "null");
    }
    return line + "}";
}

UnitLine::UnitLine(DeviceKind kind, std::vector<FaultOption> faults, const UnitSchedule& schedule,
                   std::int64_t startNs, Departed departed)
    : kind_(kind)
    , faults_(std::move(faults))
    , schedule_(schedule)
    , startNs_(startNs)
    , departed_(std::move(departed))
    , jitter_(schedule.jitterSeed)
{
}

std::int64_t UnitLine::after(std::int64_t nowNs, double s)
{
    if (schedule_.jitter > 0)
        s *= 1.0 + schedule_.jitter * std::uniform_real_distribution<double>(-1.0, 1.0)(jitter_);
    return nowNs + std::max<std::int64_t>(static_cast<std::int64_t>(s * 1e9), 1000000); // at least 1 ms
}

void UnitLine::Start(std::int64_t nowNs)
{
    if (!schedule_.startAbsent)
        PutOn(nowNs);
    else if (schedule_.absent > 0)
        arrivesNs_ = after(nowNs, schedule_.absent);
}

void UnitLine::PutOn(std::int64_t nowNs)
{
    if (unit_ || (schedule_.units > 0 && arrivals_ >= schedule_.units))
        return;
    unit_ = std::make_unique<DeviceModel>(kind_);
    for (const FaultOption& f : faults_)
        unit_->InjectFault(f.request, f.occurrence, f.fault);
    report_ = UnitReport{};
    report_.number = ++arrivals_;
    report_.arrived = seconds(nowNs);
    writtenSinceEntry_ = false;
    arrivesNs_ = -1;
    exitEndsNs_ = -1;
    presentEndsNs_ = schedule_.present > 0 ? after(nowNs, schedule_.present) : -1;
}

void UnitLine::TakeOff(std::int64_t nowNs, const std::string& why)
{
    if (!unit_)
        return;
    const std::unique_ptr<DeviceModel> gone = std::move(unit_);
    report_.left = seconds(nowNs);
    report_.leftBy = why;
    presentEndsNs_ = exitEndsNs_ = -1;
    arrivesNs_ = schedule_.absent > 0 ? after(nowNs, schedule_.absent) : -1; // when all --units came, Finished() ends it
    departed_(report_, *gone);
}

void UnitLine::Taken(Request request, bool answered, std::int64_t nowNs)
{
    ++report_.requests;
    switch (request) {
    case Request::Detect:
        report_.detections += answered ? 1 : 0;
        if (answered && report_.firstAnswer < 0)
            report_.firstAnswer = seconds(nowNs);
        break;
    case Request::BootEnter:
        ++report_.bootEntries;
        if (report_.bootEntry < 0)
            report_.bootEntry = seconds(nowNs);
        writtenSinceEntry_ = false;
        break;
    case Request::MemoryWrite:
        writtenSinceEntry_ = report_.bootEntries > 0;
        break;
    case Request::BootExit:
        report_.completeRuns += writtenSinceEntry_ ? 1 : 0;
        if (writtenSinceEntry_ && report_.runEnd < 0)
            report_.runEnd = seconds(nowNs);
        writtenSinceEntry_ = false;
        if (exitEndsNs_ < 0 && schedule_.leaveAfterExit > 0)
            exitEndsNs_ = after(nowNs, schedule_.leaveAfterExit);
        break;
    default:
        break;
    }
}

std::int64_t UnitLine::NextChangeNs() const
{
    if (!unit_)
        return arrivesNs_;
    if (presentEndsNs_ < 0 || exitEndsNs_ < 0)
        return std::max(presentEndsNs_, exitEndsNs_);
    return std::min(presentEndsNs_, exitEndsNs_);
}

void UnitLine::Advance(std::int64_t nowNs)
{
    const std::int64_t due = NextChangeNs();
    if (due < 0 || due > nowNs)
        return;
    if (!unit_)
        PutOn(nowNs);
    else
        TakeOff(nowNs, due == exitEndsNs_ ? "after-exit" : "present");
}

} // namespace vlboot::sim
