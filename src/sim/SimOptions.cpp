#include "SimOptions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <set>
#include <utility>

namespace vlboot::sim {

namespace {

constexpr std::array<std::pair<std::string_view, Request>, 8> RequestNames{{
    {"detect", Request::Detect},
    {"boot-enter", Request::BootEnter},
    {"boot-exit", Request::BootExit},
    {"write", Request::MemoryWrite},
    {"erase", Request::Erase},
    {"program", Request::Program},
    {"crc-read", Request::CrcRead},
    {"crc-write", Request::CrcWrite},
}};

constexpr std::array<std::pair<std::string_view, FaultKind>, 10> FaultNames{{
    {"status", FaultKind::ErrorStatus},
    {"silence", FaultKind::Silence},
    {"chunked", FaultKind::Chunked},
    {"stray", FaultKind::StrayByte},
    {"wrong-length", FaultKind::WrongLength},
    {"short", FaultKind::ShortReply},
    {"oversized", FaultKind::Oversized},
    {"no-confirm", FaultKind::NoBootConfirm},
    {"bad-confirm", FaultKind::BadBootConfirm},
    {"garbage", FaultKind::Garbage},
}};

template <typename T, std::size_t N>
std::optional<T> lookup(const std::array<std::pair<std::string_view, T>, N>& names, std::string_view name)
{
    for (const auto& [text, value] : names) {
        if (text == name)
            return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<long> ParseNumber(std::string_view text, long max)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return std::nullopt;
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > max)
        return std::nullopt;
    return value;
}

std::optional<double> ParseSeconds(std::string_view text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0
        || value > 1e6)
        return std::nullopt;
    return value;
}

std::optional<FaultOption> ParseFaultOption(std::string_view text, std::string& error)
{
    const std::string shown(text);
    const auto first = text.find(':');
    const auto second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) {
        error = "--fault wants REQUEST:N:KIND[=ARG], got '" + shown + "'";
        return std::nullopt;
    }
    const auto request = lookup(RequestNames, text.substr(0, first));
    if (!request) {
        error = "unknown request in --fault '" + shown + "'";
        return std::nullopt;
    }
    const auto occurrence = ParseNumber(text.substr(first + 1, second - first - 1), 1000000000L);
    if (!occurrence) {
        error = "bad occurrence in --fault '" + shown + "' (0 = every one, 1 = the first, ...)";
        return std::nullopt;
    }
    std::string_view kindText = text.substr(second + 1);
    std::string_view arg;
    const auto eq = kindText.find('=');
    const bool hasArg = eq != std::string_view::npos;
    if (hasArg) {
        arg = kindText.substr(eq + 1);
        kindText = kindText.substr(0, eq);
    }
    const auto kind = lookup(FaultNames, kindText);
    if (!kind) {
        error = "unknown fault kind in --fault '" + shown + "'";
        return std::nullopt;
    }

    FaultOption option{*request, static_cast<int>(*occurrence), Fault{*kind}};
    switch (*kind) {
    case FaultKind::ErrorStatus:
    case FaultKind::BadBootConfirm: {
        // A bare bad-confirm spoils the marker byte; with a status, the status.
        option.fault.status = *kind == FaultKind::ErrorStatus ? 0x14 : 0x00;
        if (hasArg) {
            const auto st = ParseNumber(arg, 255);
            if (!st) {
                error = "bad status in --fault '" + shown + "' (0..255, 0x.. for hexadecimal)";
                return std::nullopt;
            }
            option.fault.status = static_cast<std::uint8_t>(*st);
        }
        break;
    }
    case FaultKind::Chunked:
        if (hasArg) {
            const auto size = ParseNumber(arg, 255);
            if (!size || *size < 1) {
                error = "bad chunk size in --fault '" + shown + "' (1..255)";
                return std::nullopt;
            }
            option.fault.chunkSize = static_cast<int>(*size);
        }
        break;
    default:
        if (hasArg) {
            error = "fault kind '" + std::string(kindText) + "' takes no argument";
            return std::nullopt;
        }
        break;
    }
    return option;
}

namespace {

// The options of the device: what answers, its pace, dumps, faults, log.
bool takeDeviceOption(SimOptions& options, const std::string& arg, const std::string& v, std::string& error)
{
    if (arg == "--device") {
        if (v == "amplifier")
            options.device = DeviceKind::Amplifier;
        else if (v == "fixture")
            options.device = DeviceKind::Fixture;
        else if (v == "silent")
            options.device = DeviceKind::Silent;
        else
            error = "unknown device '" + v + "' (amplifier, fixture or silent)";
    } else if (arg == "--baud") {
        const auto baud = ParseNumber(v, 10000000L);
        if (!baud || *baud < 1)
            error = "bad baud rate '" + v + "'";
        else
            options.baud = static_cast<int>(*baud);
    } else if (arg == "--dump" || arg == "--units-log") {
        if (v.empty())
            error = arg == "--dump" ? "--dump needs a folder" : "--units-log needs a file";
        (arg == "--dump" ? options.dumpDir : options.unitsLog) = v;
    } else if (arg == "--fault") {
        if (auto fault = ParseFaultOption(v, error))
            options.faults.push_back(*fault);
    }
    return error.empty();
}

// The options of the units' schedule.
bool takeScheduleOption(UnitSchedule& schedule, const std::string& arg, const std::string& v, std::string& error)
{
    if (arg == "--present" || arg == "--absent" || arg == "--leave-after-exit") {
        const auto seconds = ParseSeconds(v);
        if (!seconds)
            error = "bad time for " + arg + " '" + v + "' (seconds above 0, such as 2 or 0.25)";
        else
            (arg == "--present" ? schedule.present : arg == "--absent" ? schedule.absent : schedule.leaveAfterExit) = *seconds;
    } else if (arg == "--units" || arg == "--jitter-seed") {
        const auto n = ParseNumber(v, arg == "--units" ? 1000000000L : 0xFFFFFFFFL);
        if (!n || (arg == "--units" && *n < 1))
            error = "bad number for " + arg + " '" + v + "'";
        else if (arg == "--units")
            schedule.units = static_cast<int>(*n);
        else
            schedule.jitterSeed = static_cast<std::uint32_t>(*n);
    } else if (arg == "--jitter") {
        const auto part = v == "0" ? std::optional<double>(0.0) : ParseSeconds(v);
        if (!part || *part > 1)
            error = "bad --jitter '" + v + "' (a part of each time, 0 to 1, such as 0.2)";
        else
            schedule.jitter = *part;
    }
    return error.empty();
}

const std::set<std::string> DeviceOptions{"--device", "--baud", "--dump", "--units-log", "--fault"};
const std::set<std::string> ScheduleOptions{"--present", "--absent", "--leave-after-exit", "--units", "--jitter-seed", "--jitter"};

} // namespace

std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args, std::string& error)
{
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--ignore-stdin") {
            options.ignoreStdin = true;
        } else if (arg == "--start-absent") {
            options.schedule.startAbsent = true;
        } else if (DeviceOptions.count(arg) || ScheduleOptions.count(arg)) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            const std::string& v = args[++i];
            if (!(DeviceOptions.count(arg) ? takeDeviceOption(options, arg, v, error)
                                           : takeScheduleOption(options.schedule, arg, v, error)))
                return std::nullopt;
        } else {
            error = "unknown argument '" + arg + "'";
            return std::nullopt;
        }
    }
    return options;
}

std::string SimUsage()
{
    return R"(Usage: vlboot-sim [options]

Plays the amplifier with its Velmora module, the production fixture or a
silent line on a pseudo-terminal. The first line written to standard output
is the path of the terminal to open (for example /dev/pts/5). The simulator
runs until SIGINT or SIGTERM, or until its standard input, when that is a
pipe or socket, reaches end of file; then it prints a summary on standard
error and writes the dumps.

Options:
  --device amplifier|fixture|silent   what answers (default amplifier)
  --baud B          pace replies as a B-baud line would (10 bit times per
                    byte, request and reply) plus the device's work time;
                    without it replies leave at once
  --dump DIR        at exit write DIR/block-NNN.bin for every programmed
                    flash block of the amplifier (NNN: block number, three
                    decimal digits; block 042 too once the flash CRC is
                    written) or DIR/memory.bin (64 KiB) for the fixture;
                    when units come and go, each unit's into DIR/unit-K/
  --fault REQUEST:N:KIND[=ARG]
                    misbehave on the N-th request of a kind (1 = the first,
                    0 = every one) in the way KIND says; may be repeated.
                    REQUEST: detect, boot-enter, boot-exit, write, erase,
                    program, crc-read or crc-write
  --ignore-stdin    do not stop at end of file on standard input
  --help            this text
  --version         the version

Units that come and go (the terminal stays, as the fixture's adapter stays
plugged in; the unit behind it changes):
  SIGUSR1           takes the unit on the line off (nothing when none is)
  SIGUSR2           puts a new unit on (nothing when one is on, or when
                    --units have all arrived)
  --present S       a unit leaves S seconds after it arrived
  --leave-after-exit S
                    a unit leaves S seconds after its first boot-mode exit
                    request (the operator takes a programmed unit off)
  --absent S        the next unit arrives S seconds after one left (or
                    after the start with --start-absent); without it only
                    SIGUSR2 brings one
  --start-absent    the line starts empty
  --units N         at most N units arrive; once the N-th has left the
                    simulator stops as on SIGTERM
  --jitter F        every time above varies by up to F of itself (0..1,
                    0.2 = 20 %), drawn from a generator seeded with
                    --jitter-seed N (default 1): the same seed, the same times
  --units-log FILE  one JSON line per unit (FILE is replaced at the start),
                    written when it leaves or the simulator stops
S is in seconds, above 0, fractions allowed (0.25). While no unit is on the
line every byte is read and dropped. Each unit that arrives is a fresh
device of the same kind with the same faults (counted per unit), its memory
and flash blank. Dumps go into DIR/unit-K/ (K from 1) when any of
--present, --leave-after-exit, --absent, --start-absent or --units is
given or once a unit has left; each unit's when it leaves, the one on the
line at the stop.

Units log: one JSON object a line, times in seconds since the start (the
line has no spaces; they are shown here to be read):
  {"unit":K, "device":"amplifier", "arrived":T, "left":T, "left_by":HOW,
   "requests":R, "detections":D, "boot_entries":E, "complete_runs":C,
   "first_answer":T, "boot_entry":T, "run_end":T, "start_epoch":S,
   "blocks":[B,...], "flash_crc":true|false}
HOW: signal, present, after-exit or stop. R: requests the unit took;
D: detection requests it answered; C: boot-mode exits taken after a memory
write since the boot-mode entry before them. "blocks": the program requests
carried out, in order, repeats kept (amplifier); a fixture has
"serial_number":N (null when none was written) instead of "blocks" and
"flash_crc", a silent line neither. first_answer, boot_entry, run_end:
when it answered its first detection request, took its first boot-mode
entry request and the boot-mode exit of its first complete run (null when
none came); S: the wall-clock time of the start (seconds since 1970).

Faults (KIND):
  status[=S]        reply with status S (default 0x14), the request is not
                    carried out
  silence           no reply, the request is not carried out
  chunked[=K]       reply in pieces of K bytes (default 1)
  stray             a 0x00 byte ahead of the reply
  wrong-length      length byte one above the real length
  short             the 4-byte reply 04 aL aH 00
  oversized         an 81-byte reply
  no-confirm        no boot-mode frame (boot-enter)
  bad-confirm[=S]   boot-mode frame with third byte 0x41, or with status S
  garbage           random bytes, never a complete reply
S and K are decimal or 0x-prefixed hexadecimal.

Summary line: "vlboot-sim: requests R, bytes in I, bytes out O, wire time
T s at B baud, units U" (or ", unpaced" without --baud), U the units that
arrived.
Exit status: 0 after a clean stop, 64 on bad usage, 1 when the terminal
cannot be created, the units log cannot be written, or a dump cannot be
written.
)";
}

} // namespace vlboot::sim
