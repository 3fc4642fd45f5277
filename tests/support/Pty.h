#pragma once

#include <QByteArray>
#include <QString>

namespace vlboot::test {

// A pseudo-terminal that plays the far end of a serial line: the program
// under test opens slavePath() like any serial device, the test writes the
// device's bytes into the master and reads what the program sent from it.
// Both ends are in raw mode, so every byte value passes unchanged. The pair
// keeps a slave descriptor of its own open, so the line survives the
// program closing and re-opening its port (bytes written meanwhile wait in
// the slave's input queue).
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isValid() const { return master_ >= 0 && slave_ >= 0; }
    int slaveFd() const { return slave_; }
    QString slavePath() const { return slavePath_; }

    // Writes the bytes into the master (they arrive at the slave's reader);
    // a few hundred at most, or it blocks until the program reads them.
    bool write(const QByteArray& bytes);
    // Waits up to waitMs for bytes at the master and returns what one read
    // takes; empty when nothing came in time.
    QByteArray readAvailable(int waitMs);
    // Waits up to waitMs until bytes written into the master wait at the
    // slave for the program to read them; nothing is consumed.
    bool waitSlaveInput(int waitMs);

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

} // namespace vlboot::test
