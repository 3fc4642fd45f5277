#pragma once

#include "LineReader.h"
#include "Outcome.h"
#include "Platform.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <memory>
#include <optional>

namespace vlboot {

// A firmware file opened for one pass over its lines. It must be a regular
// file: a run reads it twice, which a pipe or a device cannot give. Lines end
// at LF, CR LF or a lone CR; a line longer than any record can be is a fault
// at that line.
class FirmwareFile {
public:
    // ":", count, offset, type, 255 data bytes and the checksum.
    static constexpr qsizetype LongestLine = 1 + 2 + 4 + 2 + 2 * 255 + 2;

    // Opens the file; fails when it cannot be read as a regular file.
    Outcome Open(const QString& fileName);
    // Adds every byte read from now on to `digest` (see LineReader).
    void SetDigest(Sha256* digest)
    {
        if (reader_)
            reader_->SetDigest(digest);
    }

    // The next line without its line end, valid until the next call. False
    // at the end of the file, and on a fault (Status()). Only after a
    // successful Open, and not again once it gave false.
    bool NextLine(QByteArrayView& line);

    // 1-based number of the line just read.
    long long LineNumber() const { return lineNo_; }
    // The line a fault was found in (too long); 0 for a fault of the whole file.
    long long FaultLine() const { return faultLine_; }
    // Failed once a line could not be read, saying what is wrong, naming
    // the file (and the line where there is one).
    const Outcome& Status() const { return status_; }

    // The open file's identity now (size, change times); nothing when it
    // cannot be read.
    std::optional<platform::FileIdentity> Identity() const;

private:
    QString fileName_;
    QFile file_;
    std::unique_ptr<LineReader> reader_;
    long long lineNo_ = 0;
    long long faultLine_ = 0;
    Outcome status_ = Outcome::Ok();
};

} // namespace vlboot
