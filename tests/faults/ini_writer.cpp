// ini_writer DIR: writes the crash test's keys into DIR/setup.ini with
// WriteIni, one key at a time, without end, until it is killed.
//
// It goes on from where the file stands, so that the file is always some
// keys of one version followed by the rest of the other: keys 0..k-1 of
// version X and k..end of the other one. It completes X from key k on (or,
// when all keys are of one version, starts the other version at key 0), and
// then keeps switching versions. Prints "ready" once it is about to write.
// Exit status 1 when the file is not in such a state or a write fails.

#include "IniFileHandler.h"
#include "IniText.h"
#include "IniVersions.h"

#include <QDir>
#include <QFile>
#include <cstdio>

using namespace vlboot;
using namespace vlboot::faults;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: ini_writer DIR\n", stderr);
        return 64;
    }
    const IniFileHandler ini(QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("setup.ini")));
    QFile file(ini.IniFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fputs("ini_writer: setup.ini cannot be read\n", stderr);
        return 1;
    }
    const QByteArray content = file.readAll();
    file.close();

    QChar versions[KeyCount];
    for (int i = 0; i < KeyCount; ++i) {
        versions[i] = VersionOf(IniLookup(content, VersionSection(), KeyName(i)).value_or(QString()), i);
        if (versions[i].isNull()) {
            std::fprintf(stderr, "ini_writer: key %d holds neither version\n", i);
            return 1;
        }
    }
    int next = 1;
    while (next < KeyCount && versions[next] == versions[0])
        ++next;
    QChar writing = versions[0];
    if (next == KeyCount) {
        writing = OtherVersion(writing);
        next = 0;
    }

    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (;;) {
        if (!ini.WriteIni(VersionSection(), KeyName(next), VersionValue(writing, next))) {
            std::fprintf(stderr, "ini_writer: key %d could not be written\n", next);
            return 1;
        }
        if (++next == KeyCount) {
            next = 0;
            writing = OtherVersion(writing);
        }
    }
}
