#include "LineReader.h"

#include <algorithm>

namespace vlboot {
namespace {

const char* findLineEnd(const char* from, const char* to)
{
    return std::find_if(from, to, [](char c) { return c == '\n' || c == '\r'; });
}

} // namespace

LineReader::LineReader(QIODevice& device, qsizetype maxLength)
    : device_(device)
    , maxLength_(maxLength)
    , block_(BlockSize, Qt::Uninitialized)
{
}

bool LineReader::fill()
{
    const qint64 n = device_.read(block_.data(), block_.size());
    pos_ = 0;
    end_ = n > 0 ? static_cast<qsizetype>(n) : 0;
    if (n > 0 && digest_)
        digest_->Add(QByteArrayView(block_.constData(), end_));
    if (n < 0)
        failed_ = true;
    if (n <= 0)
        atEnd_ = true;
    return n > 0;
}

void LineReader::skipLineFeedAfterCarriageReturn()
{
    if (!afterCarriageReturn_)
        return;
    if (pos_ == end_ && !atEnd_)
        fill();
    if (pos_ < end_ && block_.at(pos_) == '\n')
        ++pos_;
    afterCarriageReturn_ = false;
}

bool LineReader::Next(QByteArrayView& line)
{
    carry_.resize(0);
    tooLong_ = false;
    skipLineFeedAfterCarriageReturn();
    for (;;) {
        if (pos_ < end_) {
            const char* start = block_.constData() + pos_;
            const char* stop = block_.constData() + end_;
            const char* lineEnd = findLineEnd(start, stop);
            const qsizetype length = lineEnd - start;
            if (carry_.size() + length > maxLength_) {
                // Enough to say where it is; the rest of the line is not read.
                carry_.append(start, maxLength_ + 1 - carry_.size());
                line = carry_;
                tooLong_ = true;
                atEnd_ = true;
                pos_ = end_ = 0;
                return true;
            }
            if (lineEnd != stop) {
                pos_ += length + 1;
                afterCarriageReturn_ = *lineEnd == '\r';
                if (carry_.isEmpty()) {
                    line = QByteArrayView(start, length);
                } else {
                    carry_.append(start, length);
                    line = carry_;
                }
                return true;
            }
            carry_.append(start, length);
            pos_ = end_;
        }
        if (atEnd_ || !fill()) {
            if (failed_ || carry_.isEmpty())
                return false;
            line = carry_; // the last line, without a line end
            return true;
        }
    }
}

} // namespace vlboot
