#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

// What the fuzz targets share: the one application object, the one scratch
// folder, and the check that turns a broken rule into a crash libFuzzer
// reports with the input that caused it.

#define FUZZ_CHECK(cond, what)                                                              \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "%s:%d: broken rule: %s (%s)\n", __FILE__, __LINE__, what, \
                         #cond);                                                            \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

namespace vlboot::fuzz {

// The application object the event loop and the file functions need; made on
// first use and kept for the whole fuzzing session.
inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "vlboot-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

// One folder for the whole session (setup.ini, firmware files), removed at exit.
inline const QTemporaryDir& ScratchFolder()
{
    static QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no scratch folder: %s\n", qPrintable(dir.errorString()));
        std::abort();
    }
    return dir;
}

} // namespace vlboot::fuzz
