#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>

namespace vlboot {

// Reads a device line by line in large blocks, without a new buffer for
// every line: the checking pass goes through files of a hundred megabytes
// and more. Lines end at LF; the last line may have none. Only one block
// and the line that runs over its end are held at a time.
class LineReader {
public:
    static constexpr qsizetype BlockSize = 64 * 1024;

    // `device` is open for reading; it is read from its current position.
    explicit LineReader(QIODevice& device);

    // The next line with its LF (if it has one) in `line`, valid until the
    // next call; false at the end of the data or once a read failed.
    bool Next(QByteArrayView& line);

    // A read of the device failed (Next gave false because of it).
    bool Failed() const { return failed_; }

private:
    bool fill();

    QIODevice& device_;
    QByteArray block_;
    qsizetype pos_ = 0;
    qsizetype end_ = 0;
    QByteArray carry_; // the start of a line that runs over the block's end
    bool atEnd_ = false;
    bool failed_ = false;
};

} // namespace vlboot
