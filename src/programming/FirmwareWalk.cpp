#include "FirmwareWalk.h"

#include "ModuleLayout.h"

#include <algorithm>

namespace vlboot {
namespace {

constexpr std::size_t MaxStandardBlocksPerSegment = 4;
constexpr std::size_t MaxBlocks = 1024;

bool isRecordWithData(const FirmwareLine& line)
{
    const std::uint8_t type = line.Type();
    return (type == FirmwareLine::Data || type == FirmwareLine::EndOfFile) && line.Count() > 0;
}

} // namespace

FirmwareWalk::Steps FirmwareWalk::Feed(const FirmwareLine& line, long long lineNo)
{
    Steps out;
    if (closed_) {
        afterEnd(line, lineNo);
        return out;
    }
    noteStandardAddress(line);
    const std::uint8_t type = line.Type();
    if (type == FirmwareLine::ExtendedLinearAddress) {
        // A second address record before any data is ignored: its block is never used.
        if (!changePending_) {
            nextUpper_ = line.DataByte(0);
            nextBlock_ = line.DataByte(1);
            if (currentBlock_ == 0xFF && currentUpper_ == 0xFF) {
                currentBlock_ = nextBlock_;
                currentUpper_ = nextUpper_;
            }
            changePending_ = true;
        }
        return out;
    }
    if (type != FirmwareLine::Data && type != FirmwareLine::EndOfFile)
        return out;
    const bool end = type == FirmwareLine::EndOfFile;
    if (changePending_) {
        blockEnd(out, lineNo);
        if (end) {
            close(out, true, lineNo); // the end record's own data are not written
            return out;
        }
        changePending_ = false;
    }
    write(out, line, lineNo, end);
    dataSeen_ = true;
    if (end) {
        blockEnd(out, lineNo);
        close(out, true, lineNo);
    }
    return out;
}

FirmwareWalk::Steps FirmwareWalk::Finish()
{
    Steps out;
    if (!closed_)
        close(out, false, 0);
    if (afterEnd_.count > 0) {
        find(afterEnd_);
        afterEnd_ = {};
    }
    return out;
}

void FirmwareWalk::noteStandardAddress(const FirmwareLine& line)
{
    const std::uint32_t value = (std::uint32_t(line.DataByte(0)) << 8) | line.DataByte(1);
    if (line.Type() == FirmwareLine::ExtendedLinearAddress)
        standardBase_ = value << 16;
    else if (line.Type() == FirmwareLine::ExtendedSegmentAddress)
        standardBase_ = value << 4;
}

void FirmwareWalk::write(Steps& out, const FirmwareLine& line, long long lineNo, bool endRecord)
{
    const int n = line.Count();
    if (n == 0)
        return;
    out.step[out.count++] = {WalkStep::Kind::Write, currentBlock_, false};
    ++summary_.writes;
    summary_.bytesWritten += n;

    const int offset = line.Offset();
    WalkBlock& b = segment_.data;
    if (!segment_.hasData) {
        b = WalkBlock{.first = offset, .last = offset + n - 1, .firstLine = lineNo, .lastLine = lineNo};
        segment_.hasData = true;
    }
    b.first = std::min(b.first, offset);
    b.last = std::max(b.last, offset + n - 1);
    b.bytes += n;
    b.lastLine = lineNo;

    if (endRecord) {
        // A standard reader ignores an end record's data; the run writes them.
        find({.kind = WalkFinding::Kind::EndRecordData, .line = lineNo, .lastLine = lineNo,
              .address = static_cast<std::uint32_t>(offset), .block = currentBlock_, .count = n});
    } else {
        const std::uint32_t standardBlock = (standardBase_ + static_cast<std::uint32_t>(offset)) >> 16;
        auto& blocks = segment_.standardBlocks;
        const auto it = std::find_if(blocks.begin(), blocks.end(), [&](const auto& e) { return e.first == standardBlock; });
        if (it != blocks.end())
            it->second.second = lineNo;
        else if (blocks.size() < MaxStandardBlocksPerSegment)
            blocks.push_back({standardBlock, {lineNo, lineNo}});
    }
    if (offset < ModuleLayout::CrcBytes && segment_.crcLine == 0)
        segment_.crcLine = lineNo;
    const int serialEnd = ModuleLayout::SerialNumberAddress + ModuleLayout::SerialNumberRecordBytes;
    if (offset < serialEnd && offset + n > ModuleLayout::SerialNumberAddress)
        find({.kind = WalkFinding::Kind::SerialArea, .line = lineNo, .lastLine = lineNo,
              .address = static_cast<std::uint32_t>(offset), .block = currentBlock_, .count = n});
}

void FirmwareWalk::blockEnd(Steps& out, long long lineNo)
{
    if (!dataSeen_)
        return; // the file's first address record came before any data
    const std::uint8_t block = currentBlock_;
    out.step[out.count++] = {WalkStep::Kind::BlockEnd, block, false};
    ++summary_.blockPrograms;
    if (!ModuleLayout::IsErased(block))
        find({.kind = WalkFinding::Kind::NotErased, .line = lineNo, .lastLine = lineNo, .block = block});
    if (programmedWithData_[block]) {
        const auto& [first, last] = programmedLines_[block];
        find({.kind = WalkFinding::Kind::ProgrammedTwice, .line = lineNo, .lastLine = last, .other = first, .block = block});
    }
    if (segment_.hasData) {
        for (const auto& [standardBlock, lines] : segment_.standardBlocks) {
            if (standardBlock != block)
                find({.kind = WalkFinding::Kind::WrongBlock, .line = lines.first, .lastLine = lines.second,
                      .address = standardBlock << 16, .block = block});
        }
        if (block == ModuleLayout::CrcBlock && segment_.crcLine > 0)
            find({.kind = WalkFinding::Kind::CrcArea, .line = segment_.crcLine, .lastLine = segment_.crcLine, .block = block});
        segment_.data.block = block;
        segment_.data.programmed = true;
        if (summary_.blocks.size() < MaxBlocks)
            summary_.blocks.push_back(segment_.data);
        programmedWithData_[block] = true;
        programmedLines_[block] = {segment_.data.firstLine, segment_.data.lastLine};
    }
    segment_ = Segment{};
    currentUpper_ = nextUpper_;
    currentBlock_ = nextBlock_;
}

void FirmwareWalk::close(Steps& out, bool endRecord, long long lineNo)
{
    closed_ = true;
    endLine_ = lineNo;
    summary_.endRecord = endRecord;
    out.step[out.count++] = {WalkStep::Kind::Close, currentBlock_, endRecord};
    if (summary_.writes == 0) {
        find({.kind = WalkFinding::Kind::NoData});
    } else if (!endRecord) {
        const long long unprogrammed = segment_.hasData ? static_cast<long long>(segment_.data.bytes) : 0;
        find({.kind = WalkFinding::Kind::NoEndRecord, .line = segment_.data.firstLine, .lastLine = segment_.data.lastLine,
              .block = currentBlock_, .count = unprogrammed});
    }
    if (segment_.hasData && summary_.blocks.size() < MaxBlocks) {
        segment_.data.block = currentBlock_;
        summary_.blocks.push_back(segment_.data);
    }
    segment_ = Segment{};
}

void FirmwareWalk::afterEnd(const FirmwareLine& line, long long lineNo)
{
    if (!isRecordWithData(line) || !summary_.endRecord)
        return;
    if (afterEnd_.count == 0)
        afterEnd_ = WalkFinding{.kind = WalkFinding::Kind::DataAfterEnd, .line = lineNo, .lastLine = lineNo, .other = endLine_};
    ++afterEnd_.count;
    afterEnd_.lastLine = lineNo;
}

void FirmwareWalk::find(const WalkFinding& finding)
{
    const auto kind = static_cast<std::size_t>(finding.kind);
    if (summary_.findingCounts[kind]++ < WalkSummary::MaxFindingsPerKind)
        summary_.findings.push_back(finding);
}

} // namespace vlboot
