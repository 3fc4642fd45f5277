#pragma once

#include "DeviceModel.h"
#include "SimOptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vlboot::sim {

// What one unit did while it was on the line (times in seconds since the
// simulator started).
struct UnitReport {
    int number = 0; // from 1, in the order of arrival
    double arrived = 0;
    double left = 0;
    std::string leftBy; // "signal", "present", "after-exit" or "stop"
    int requests = 0;     // requests it took
    int detections = 0;   // detection requests it answered
    int bootEntries = 0;  // boot-mode entry requests it took
    int completeRuns = 0; // boot-mode exits taken after a memory write since the entry before them
    double firstAnswer = -1; // the first detection request it answered (-1: none)
    double bootEntry = -1;   // its first boot-mode entry request
    double runEnd = -1;      // the boot-mode exit of its first complete run
};

// The units log's line for a unit that left (without its line end), with
// the wall-clock time of the simulator's start (`startEpoch`, seconds since
// 1970) that its times count from; the model adds what it holds: the programmed blocks and the flash CRC of the
// amplifier, the serial number of the fixture (the record 0x0B and four
// bytes, most significant first, at 0x7FFB; null when none was written).
std::string UnitLogLine(const UnitReport& report, const DeviceModel& unit, double startEpoch);

// Which unit is on the line and when the next one comes or goes. Every
// unit that arrives is a fresh DeviceModel of one kind with the same
// faults. No clock of its own: every call is given the monotonic time in
// nanoseconds, so the caller decides when changes are made.
//
// A unit leaves on TakeOff, or at the first of its schedule's times
// (--present after its arrival, --leave-after-exit after its first
// boot-mode exit request); the next arrives on PutOn or --absent after the
// one before left. `departed` is called for each unit that leaves, the
// model still whole.
class UnitLine {
public:
    using Departed = std::function<void(const UnitReport&, const DeviceModel&)>;

    UnitLine(DeviceKind kind, std::vector<FaultOption> faults, const UnitSchedule& schedule, std::int64_t startNs,
             Departed departed);

    // The start: a unit arrives unless the line starts empty.
    void Start(std::int64_t nowNs);
    // Nothing when a unit is on already or all --units came.
    void PutOn(std::int64_t nowNs);
    // Nothing when nobody is on the line.
    void TakeOff(std::int64_t nowNs, const std::string& why);
    // The unit on the line took a request.
    void Taken(Request request, bool answered, std::int64_t nowNs);
    // Makes the changes the schedule has due at `nowNs`.
    void Advance(std::int64_t nowNs);
    // When the schedule makes its next change; -1 when it makes none.
    std::int64_t NextChangeNs() const;

    // The unit on the line (nullptr: nobody). It changes only in Start,
    // PutOn, TakeOff and Advance; whoever serves it takes the new one after each.
    DeviceModel* Unit() const { return unit_.get(); }
    int Arrivals() const { return arrivals_; }
    // All --units have arrived and the last one left.
    bool Finished() const { return schedule_.units > 0 && arrivals_ >= schedule_.units && !unit_; }

private:
    std::int64_t after(std::int64_t nowNs, double seconds);
    double seconds(std::int64_t nowNs) const { return static_cast<double>(nowNs - startNs_) / 1e9; }

    DeviceKind kind_;
    std::vector<FaultOption> faults_;
    UnitSchedule schedule_;
    std::int64_t startNs_;
    Departed departed_;
    std::mt19937 jitter_;

    std::unique_ptr<DeviceModel> unit_;
    UnitReport report_;
    int arrivals_ = 0;
    bool writtenSinceEntry_ = false;
    std::int64_t presentEndsNs_ = -1;
    std::int64_t exitEndsNs_ = -1;
    std::int64_t arrivesNs_ = -1;
};

} // namespace vlboot::sim
