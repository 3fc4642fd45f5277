#include "LineReader.h"

#include <cstring>

namespace vlboot {

LineReader::LineReader(QIODevice& device)
    : device_(device)
    , block_(BlockSize, Qt::Uninitialized)
{
}

bool LineReader::fill()
{
    const qint64 n = device_.read(block_.data(), block_.size());
    pos_ = 0;
    end_ = n > 0 ? static_cast<qsizetype>(n) : 0;
    if (n < 0)
        failed_ = true;
    if (n <= 0)
        atEnd_ = true;
    return n > 0;
}

bool LineReader::Next(QByteArrayView& line)
{
    carry_.resize(0);
    for (;;) {
        if (pos_ < end_) {
            const char* start = block_.constData() + pos_;
            const auto* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(end_ - pos_)));
            if (lf) {
                const qsizetype length = lf - start + 1;
                pos_ += length;
                if (carry_.isEmpty()) {
                    line = QByteArrayView(start, length);
                } else {
                    carry_.append(start, length);
                    line = carry_;
                }
                return true;
            }
            carry_.append(start, end_ - pos_);
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
