#include "FirmwareFile.h"

namespace vlboot {

Outcome FirmwareFile::Open(const QString& fileName)
{
    fileName_ = fileName;
    const Outcome opened = platform::OpenRegularFile(file_, fileName);
    if (!opened.ok())
        return Outcome::Failed(fileName + QStringLiteral(": ") + opened.why());
    reader_ = std::make_unique<LineReader>(file_, LongestLine);
    return Outcome::Ok();
}

bool FirmwareFile::NextLine(QByteArrayView& line)
{
    if (!reader_->Next(line)) {
        if (reader_->Failed())
            status_ = Outcome::Failed(QStringLiteral("%1: cannot be read (%2)").arg(fileName_, file_.errorString()));
        return false;
    }
    ++lineNo_;
    if (reader_->TooLong()) {
        faultLine_ = lineNo_;
        status_ = Outcome::Failed(QStringLiteral("%1, line %2: longer than any record can be (more than %3 characters)")
                                      .arg(fileName_)
                                      .arg(lineNo_)
                                      .arg(LongestLine));
        return false;
    }
    return true;
}

std::optional<platform::FileIdentity> FirmwareFile::Identity() const
{
    return platform::IdentityOf(file_);
}

} // namespace vlboot
