#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <memory>

namespace vlboot {

// The SHA-256 of a stream of bytes, added block by block. OpenSSL's, which
// uses the processor's SHA instructions where it has them (over 1 GB/s),
// when the build found it; else Qt's (a few hundred MB/s), which would take
// the checking pass of a large file below its speed target.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(QByteArrayView bytes);
    // The digest of everything added, as 64 lower-case hexadecimal digits.
    QByteArray HexResult();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vlboot
