#pragma once

#include "FirmwareLine.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vlboot {

// One step of the programming pass, as the walk of the file gives it.
struct WalkStep {
    enum class Kind : std::uint8_t {
        Write,    // the line's data go into module memory (a record with data)
        BlockEnd, // the block whose data are complete is programmed (amplifier)
        Close,    // the closing steps follow; no further line is read
    };
    Kind kind = Kind::Write;
    std::uint8_t block = 0;  // Write: the block being streamed; BlockEnd: the block to program
    bool endRecord = false;  // Close: reached by an end-of-file record, not the end of the file
};

// Where the data of one block program come from: the stretch of memory
// writes between two block programs (the last one is not programmed when
// the file has no end record).
struct WalkBlock {
    std::uint8_t block = 0;
    int first = 0;     // the lowest offset written
    int last = -1;     // the highest offset written
    double bytes = 0;  // data bytes written
    long long firstLine = 0;
    long long lastLine = 0;
    bool programmed = false;
};

// A place where the module ends up different from the image a standard
// Intel HEX reader makes of the file (data records up to the first end
// record, at the addresses their address records give, later records
// winning), or where the run is doubtful. The texts are made per device
// kind (FirmwareFindings.h).
struct WalkFinding {
    enum class Kind : std::uint8_t {
        NoData,          // no memory write at all
        NoEndRecord,     // `block`: data written but, without an end record, never programmed (if `count` > 0)
        DataAfterEnd,    // `count` records with data from `line` to `lastLine` follow the end record at `other`
        EndRecordData,   // the end record at `line` carries `count` bytes, written at `address` of block `block`
        WrongBlock,      // lines `line`..`lastLine` belong at `address` but go into block `block`
        ProgrammedTwice, // `block` programmed again at `line`; its data of lines `other`..`lastLine` are lost
        NotErased,       // `block` programmed at `line` without being erased (amplifier)
        CrcArea,         // `line` writes block 42 where the module stores its flash CRC
        SerialArea,      // `line` writes where the fixture's serial number goes
    };
    Kind kind = Kind::NoData;
    long long line = 0;
    long long lastLine = 0;
    long long other = 0;
    std::uint32_t address = 0;
    std::uint8_t block = 0;
    long long count = 0;
};

// What a walk of the whole file found: the exchanges a run makes and the
// findings.
struct WalkSummary {
    long long writes = 0;        // memory writes: records with data up to the closing
    double bytesWritten = 0;     // their data bytes
    long long blockPrograms = 0; // block ends: a CRC read and a block program each (amplifier)
    bool endRecord = false;      // closed by an end-of-file record
    std::vector<WalkBlock> blocks;
    std::vector<WalkFinding> findings; // at most MaxFindingsPerKind of each kind
    std::array<long long, 9> findingCounts{}; // every finding, by kind
    static constexpr int MaxFindingsPerKind = 8;

    long long Count(WalkFinding::Kind kind) const { return findingCounts[static_cast<std::size_t>(kind)]; }
};

// The one walk of a firmware file, line by line, as the programming pass
// makes it; the checking pass and the estimate of a run's traffic make the
// same walk, so the three never disagree.
//
// Record lines (more than 5 characters, checksum already tested) go in one
// at a time with Feed; each gives the steps the run takes for it, in order.
// Type 04 records start a block change (a second one before any data is
// ignored); type 00 and 01 records are written (an end record's data only
// when no block change is pending) and end the pending block; an end record
// ends the block and closes the walk. Other types are skipped. Lines fed
// after the closing only count as data after the end.
class FirmwareWalk {
public:
    struct Steps {
        std::array<WalkStep, 3> step{};
        int count = 0;
        const WalkStep* begin() const { return step.data(); }
        const WalkStep* end() const { return step.data() + count; }
    };

    Steps Feed(const FirmwareLine& line, long long lineNo);
    // The end of the file: the Close step when no end record closed the walk.
    Steps Finish();

    bool Closed() const { return closed_; }
    const WalkSummary& Summary() const { return summary_; }

private:
    struct Segment {
        WalkBlock data;
        bool hasData = false;
        std::vector<std::pair<std::uint32_t, std::pair<long long, long long>>> standardBlocks; // block, first and last line
        long long crcLine = 0;
    };

    void write(Steps& out, const FirmwareLine& line, long long lineNo, bool endRecord);
    void blockEnd(Steps& out, long long lineNo);
    void close(Steps& out, bool endRecord, long long lineNo);
    void noteStandardAddress(const FirmwareLine& line);
    void afterEnd(const FirmwareLine& line, long long lineNo);
    void find(const WalkFinding& finding);

    // The run's state (the system's block change rule).
    std::uint8_t currentBlock_ = 0xFF;
    std::uint8_t currentUpper_ = 0xFF;
    std::uint8_t nextBlock_ = 0;
    std::uint8_t nextUpper_ = 0;
    bool changePending_ = false;
    bool dataSeen_ = false;
    bool closed_ = false;
    long long endLine_ = 0;

    // Where a standard reader puts the data: address records of type 04
    // (upper 16 bits) and 02 (segment * 16), none ever ignored.
    std::uint32_t standardBase_ = 0;
    Segment segment_;
    std::array<bool, 256> programmedWithData_{};
    std::array<std::pair<long long, long long>, 256> programmedLines_{};
    WalkFinding afterEnd_;
    WalkSummary summary_;
};

} // namespace vlboot
