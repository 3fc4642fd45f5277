#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>

#include "Sha256.h"


namespace vlboot {

// Reads a device line by line in large blocks, without a new buffer for
// every line (a firmware file can be a hundred megabytes). A line ends at
// LF, at CR LF, or at a lone CR, in any mix; the last line may have none.
// Lines come without their line end.
//
// A line longer than `maxLength` characters is given cut after its first
// `maxLength` + 1 characters, with TooLong() set: nothing is held beyond
// that, whatever the device delivers.
class LineReader {
public:
    static constexpr qsizetype BlockSize = 64 * 1024;

    // `device` is open for reading; it is read from its current position.
    LineReader(QIODevice& device, qsizetype maxLength);

    // Every block read from now on is also added to `digest` (nullptr: none),
    // so that a pass over all lines hashes the whole file on the way.
    void SetDigest(Sha256* digest) { digest_ = digest; }

    // The next line in `line`, valid until the next call; false at the end
    // of the data or once a read failed.
    bool Next(QByteArrayView& line);

    // The line just given is longer than the longest allowed.
    bool TooLong() const { return tooLong_; }
    // A read of the device failed (Next gave false because of it).
    bool Failed() const { return failed_; }

private:
    bool fill();
    // Skips the LF of a CR LF whose CR ended the line before.
    void skipLineFeedAfterCarriageReturn();

    QIODevice& device_;
    Sha256* digest_ = nullptr;
    const qsizetype maxLength_;
    QByteArray block_;
    qsizetype pos_ = 0;
    qsizetype end_ = 0;
    QByteArray carry_; // the start of a line that runs over the block's end
    bool afterCarriageReturn_ = false;
    bool tooLong_ = false;
    bool atEnd_ = false;
    bool failed_ = false;
};

} // namespace vlboot
