// The production window's memory over many units: the window runs its line
// on the ports of [Production] in CONFIG_DIR until UNITS units have ended,
// and prints its resident memory every STEP units:
//
//   vlboot-bench-window CONFIG_DIR UNITS STEP VLBOOT_CLI
//   units=50 rss_kb=61234
//   ...
//
// Run it under QT_QPA_PLATFORM=offscreen. The units' own programs are not
// counted: each is a process of its own.
#include "Dialogs.h"
#include "ProductionWindow.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>

namespace {

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+)")).match(QString::fromLatin1(status.readAll()));
    return m.hasMatch() ? m.captured(1).toLong() : -1;
}

// Passed plus failed, as the window's totals show them.
int unitsShown(const vlboot::ProductionWindow& window)
{
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("Passed (\\d+)\\s+Failed (\\d+)")).match(window.TotalsText());
    return m.hasMatch() ? m.captured(1).toInt() + m.captured(2).toInt() : 0;
}

// Nobody answers a box here: what it says goes to standard error.
struct PrintedDialogs final : vlboot::Dialogs {
    void ShowMessageBox(QWidget*, const QString& title, const QString& text, Icon) override
    {
        std::fprintf(stderr, "vlboot-bench-window: %s: %s\n", qPrintable(title), qPrintable(text));
    }
    std::optional<QString> ShowInputBox(QWidget*, const QString&, const QString&, const QString&) override { return std::nullopt; }
    QString ShowOpenFileDialog(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: vlboot-bench-window CONFIG_DIR UNITS STEP VLBOOT_CLI\n");
        return 64;
    }
    const int units = std::atoi(argv[2]);
    const int step = std::max(1, std::atoi(argv[3]));
    PrintedDialogs dialogs;
    vlboot::ProductionWindow window(QString::fromLocal8Bit(argv[1]), dialogs, QString::fromLocal8Bit(argv[4]));
    window.show();
    int reported = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const int shown = unitsShown(window);
        for (; reported + step <= std::min(shown, units); reported += step)
            std::printf("units=%d rss_kb=%ld\n", reported + step, residentKb());
        std::fflush(stdout);
        if (shown >= units && window.Running())
            window.StopLine();
    });
    QObject::connect(&window, &vlboot::ProductionWindow::LineStopped, &app, [&] {
        std::printf("stopped units=%d rss_kb=%ld\n", unitsShown(window), residentKb());
        QCoreApplication::exit(unitsShown(window) >= units ? 0 : 1);
    });
    poll.start(50);
    window.StartLine();
    if (!window.Running()) {
        std::fprintf(stderr, "vlboot-bench-window: the line did not start\n");
        return 1;
    }
    return app.exec();
}
