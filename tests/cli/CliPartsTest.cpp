// The parts of vlboot-cli: its options, what its view prints (lines, JSON,
// the progress bar), the summary, the hints after a failed open and the port
// listing.
#include "CliOptions.h"
#include "CliView.h"
#include "LineDisplay.h"
#include "PlatformSerial.h"
#include "PortHint.h"
#include "PortList.h"
#include "RunSummary.h"
#include "TerminalText.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::cli;

namespace {

QString refusal(const QStringList& args)
{
    const CliParse p = ParseCliOptions(args);
    return p.options ? QString() : p.error;
}

struct ViewOutput {
    QByteArray out, err;
    double now = 0;
    int columns = 0;
    CliView view;
    explicit ViewOutput(CliView::Mode mode)
        : view(mode, {[this](const QByteArray& b) { out += b; }, [this](const QByteArray& b) { err += b; }, [this] { return columns; }},
               [this] { return now; })
    {
    }
    QJsonObject lastEvent() const { return QJsonDocument::fromJson(out.trimmed().split('\n').last()).object(); }
};

} // namespace

TEST(CliParts, OptionsAtTheirEdges)
{
    for (const auto& [text, port] : std::initializer_list<std::pair<const char*, int>>{{"1", 1}, {"16", 16}, {"COM16", 16}, {"com3", 3}})
        EXPECT_EQ(ParsePortArgument(text)->number, port) << text;
    EXPECT_EQ(ParsePortArgument("./ttyFake")->devicePath, "./ttyFake");
    for (const char* bad : {"0", "17", "COM0", "COM17", "COMx", "-1", "+3", "1.5", "3 ", "", "ttyUSB0"})
        EXPECT_FALSE(ParsePortArgument(bad)) << bad;
    EXPECT_EQ(ParseSpeedArgument("57600"), 1);
    for (const char* bad : {"115000", "0", "2", "9600.0", " 9600", "fast"}) // the menu's caption 115000 is no speed
        EXPECT_FALSE(ParseSpeedArgument(bad)) << bad;
    EXPECT_EQ(ParseReplyTimeout("3600"), 3600.0);
    for (const char* bad : {"0", "-1", "3600.5", "1s", "nan", "inf", "1e3"})
        EXPECT_FALSE(ParseReplyTimeout(bad)) << bad;
    EXPECT_EQ(*ParseSinceArgument("2026-12-06T09:00:00+01:00"), QDateTime(QDate(2026, 12, 6), QTime(8, 0), Qt::UTC));
    EXPECT_EQ(*ParseSinceArgument("2026-12-06"), QDate(2026, 12, 6).startOfDay());

    EXPECT_TRUE(ParseCliOptions({"-quiet", "a.ldr"}).options); // one dash as well as two
    const CliParse all = ParseCliOptions({"--log", "--quiet", "--json", "--strict", "--config-dir", "/tmp/x", "--port",
                                          "/dev/ttyUSB0", "--speed", "57600", "--address", "7", "--", "--odd.ldr"});
    ASSERT_TRUE(all.options);
    EXPECT_TRUE(all.options->log && all.options->quiet && all.options->json && all.options->strict);
    EXPECT_EQ(all.options->portDevice, "/dev/ttyUSB0");
    EXPECT_EQ(all.options->firmwareFile, "--odd.ldr");
    const std::pair<QStringList, const char*> refused[] = {
        {{"--port", "17"}, "COM1..COM16"},          {{"--speed", "115000"}, "9600, 57600 or 115200"},
        {{"--reply-timeout", "0"}, "above 0"},      {{"--address", "70000"}, "0 to 65535"},
        {{"a.ldr", "b.ldr"}, "Only one firmware file"}, {{"--config-dir", ""}, "empty"}, {{"--bogus"}, "bogus"},
        {{"--records", "--since", "2026-12-06X"}, "not a date"}, {{"--serial", "5"}, "go with --records"},
        {{"--set-next-serial", "-1"}, "0 to 2147483647"}, {{"--list-ports", "a.ldr"}, "no firmware file goes with it"}};
    for (const auto& [args, why] : refused)
        EXPECT_TRUE(refusal(args).contains(why)) << args.join(' ').toStdString() << ": " << refusal(args).toStdString();
}

TEST(CliParts, TheViewPrintsCaptionsMessagesAndTheFailureAsLinesOrJson)
{
    ViewOutput plain(CliView::Mode{});
    plain.view.SetCaption("Init");
    for (int i = 0; i < 3; ++i) // each distinct message once
        plain.view.ShowMessage("Velm_Bootloader", "Comm Port not available!");
    plain.view.ExplainFailure("no answer in time to the boot-mode entry; /dev/ttyUSB0 could not be opened: no such device");
    plain.view.ShowFailureBox();
    plain.view.Warn("block 6 was programmed without being erased");
    EXPECT_EQ(plain.out, "Init\n");
    EXPECT_EQ(plain.err, "Velm_Bootloader: Comm Port not available!\nError!\nFault during upload.\n"
                         "why: no answer in time to the boot-mode entry; /dev/ttyUSB0 could not be opened: no such device\n"
                         "warning: block 6 was programmed without being erased\n");

    ViewOutput json(CliView::Mode{.json = true});
    for (double sent = 1; sent <= 1000; ++sent) { // an event only when the percent changes
        json.view.SetProgress(static_cast<float>(sent / 10));
        json.view.ReportBytes(sent, 1000);
    }
    EXPECT_EQ(json.out.count("\"event\":\"progress\""), 101);
    UnitResult result;
    result.outcome = RunOutcome::Stopped;
    result.status = 143;
    result.why = "stopped by SIGTERM while erasing the flash";
    result.warnings = QStringList{"w"};
    result.serialNumber = 7000;
    result.exchanges = 3;
    result.medianRttMs = 1.25;
    json.now = 0.5;
    json.view.Finish(result);
    const QJsonObject last = json.lastEvent();
    EXPECT_EQ(QStringList({last["event"].toString(), last["outcome"].toString(), last["warnings"].toArray().first().toString()}),
              QStringList({"result", "stopped", "w"}));
    EXPECT_EQ(last["serial_number"].toInt(), 7000);
    EXPECT_TRUE(json.err.contains("vlboot-cli: 3 exchanges in 0.50 s, median round trip 1.25 ms per exchange"));
}

TEST(CliParts, ControlCharactersInNamesAreEscapedInTextAndExactInJson)
{
    const struct {
        QString name, shown;
    } cases[] = {
        {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {QString("\x1b[2J") + QChar(0x7F) + QChar(0x9B) + QChar(0) + QChar(0x1F), "\\x1b[2J\\x7f\\u009b\\x00\\x1f"},
        {"C:\\Åse\\fw 1.ldr ✓ ~ ", "C:\\Åse\\fw 1.ldr ✓ ~ "}, // backslashes and letters of any script stay
    };
    UnitResult stopped;
    stopped.outcome = RunOutcome::Stopped;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        EXPECT_EQ(EscapeForTerminal(c.name), c.shown);
        ViewOutput json(CliView::Mode{.json = true});
        json.view.ShowMessage("Velm_Bootloader", c.name);
        stopped.why = c.name;
        json.view.Finish(stopped);
        EXPECT_EQ(json.err.count('\n'), 3); // the message, the stop line and the summary: one line each
        EXPECT_TRUE(json.err.startsWith(("Velm_Bootloader: " + c.shown + "\nvlboot-cli: " + c.shown + "\n").toUtf8()));
        EXPECT_EQ(json.lastEvent()["why"].toString(), c.name);
    }
}

TEST(CliParts, TheProgressBarFitsTheTerminalAndIsEndedBeforeOtherOutput)
{
    EXPECT_TRUE(ProgressBar::Render(50, 500, 1000, 250.0).startsWith("[" + QString(12, '#') + QString(12, '-') + "]  50%  500/1000 bytes  250 B/s  0:02 left"));
    EXPECT_TRUE(ProgressBar::Render(130, 1300, 1000, 1.0).startsWith("[" + QString(24, '#') + "] 100%"));
    EXPECT_TRUE(ProgressBar::Render(-5, 0, 1000, std::nullopt).contains("]   0%  0/1000 bytes  - B/s  -:-- left"));
    for (int columns : {80, 40, 20, 12, 5}) {
        const QString line = ProgressBar::Render(50, 131072, 262144, 11520.0, columns);
        EXPECT_LT(line.size(), columns) << line.toStdString();
        EXPECT_TRUE(line.contains("50%")) << columns;
    }

    ViewOutput bar(CliView::Mode{.progressBar = true});
    bar.columns = 40;
    const std::pair<double, float> updates[] = {{0, 10}, {0.1, 20}, {0.15, 25}, {0.3, 30}, {0.3, 100}};
    for (const auto& [now, percent] : updates) { // at most ten redraws a second; the full bar always
        bar.now = now;
        bar.view.SetProgress(percent);
        bar.view.ReportBytes(percent, 100);
    }
    EXPECT_EQ(bar.err.count('\r'), 4);
    for (QByteArray drawn : bar.err.split('\r'))
        EXPECT_LT(drawn.replace("\x1b[K", "").size(), 40); // what shows: the erase takes no room
    bar.view.SetCaption("Done with succes");
    EXPECT_TRUE(bar.err.endsWith('\n')); // the bar's line ended before the caption

    // A terminal made narrower: the bar goes on on a line of its own.
    bar.err.clear();
    bar.now = 1;
    bar.view.ReportBytes(50, 100);
    bar.columns = 20;
    bar.now = 2;
    bar.view.ReportBytes(60, 100);
    EXPECT_EQ(bar.err.count('\n'), 1);
    EXPECT_TRUE(bar.err.contains("\n\r")) << bar.err.toStdString();
}

TEST(CliParts, MoreLiveLinesThanTheTerminalHasRowsNeverScroll)
{
    QByteArray err;
    const CliOutput output{[](const QByteArray&) {}, [&err](const QByteArray& b) { err += b; }, [] { return 80; }, [] { return 10; }};
    QStringList lines;
    for (int i = 0; i < 16; ++i)
        lines << QStringLiteral("/dev/ttyUSB%1").arg(i);
    LineDisplay display(output, true);
    const auto more = [](int first) { return QStringLiteral("... from %1 on").arg(first); };
    display.Draw(lines, more);
    EXPECT_EQ(err.count('\n'), 9); // 8 lines and one for the rest, within 10 rows
    EXPECT_TRUE(err.contains("/dev/ttyUSB7\x1b[K\n\r... from 8 on")) << err.toStdString();
    err.clear();
    display.Draw(lines, more);
    EXPECT_TRUE(err.startsWith("\x1b[9A")); // back over exactly what was drawn
}

TEST(CliParts, SummaryHintsAndPortListing)
{
    EXPECT_EQ(SummaryLine(0, 1.0, 2.0), "vlboot-cli: no complete exchange in 1.00 s"); // no exchange, whatever the median

    const auto hint = [](int number, const QString& device, PortAccess access) {
        return OpenFailureHint({number, device, "detail", OpenFailure::MessageOf(number)}, access);
    };
    EXPECT_TRUE(hint(8002, "/dev/ttyUSB3", {}).contains("no such device; list the ports with vlboot-cli --list-ports"));
    EXPECT_TRUE(hint(8005, "/dev/ttyUSB0", {true, false, "dialout"}).contains("join the group dialout"));
    EXPECT_TRUE(hint(8005, "/dev/ttyS4", {true, false, "root"}).contains("read and write access"));
    EXPECT_TRUE(hint(8005, "/dev/ttyUSB0", {true, true, "dialout"}).contains("another program holds the port"));
    EXPECT_TRUE(hint(8107, "/dev/null", {true, true, "root"}).contains("Error 8107 on /dev/null: detail"));

    test::TestFolder folder;
    const QByteArray ini = "[Ports]\nCOM1=/dev/ttyUSB0\nCOM4=/dev/ttyUSB0\nCOM7=" + folder.file("gone").toUtf8() + "\n";
    folder.write("setup.ini", ini);
    const IniFileHandler settings(folder.file("setup.ini"));
    const QList<PortEntry> ports{{"/dev/ttyUSB0", "FT232R USB UART", quint16(0x0403), quint16(0x6001), "A50285BI"},
                                 {"/dev/ttyS1", QString(), std::nullopt, std::nullopt, QString()}};
    EXPECT_TRUE(PortDevicePath(17, settings).isEmpty()); // COM1..COM16 only
    const QStringList lines = PortListing(ports, settings);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].contains("FT232R USB UART") && lines[1].contains("0403:6001") && lines[1].endsWith("COM1,COM4"))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith("COM2")); // /dev/ttyS1 by default
    EXPECT_TRUE(lines[3].startsWith("COM7 = ") && lines[3].endsWith("missing"));
    EXPECT_EQ(folder.read("setup.ini"), ini); // only read
}
