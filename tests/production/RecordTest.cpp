// runs.csv as a CSV reader sees it, also while several runs append at once.
#include "CsvReader.h"
#include "CsvRecordFile.h"
#include "TestFiles.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace vlboot;
using vlboot::test::ReadCsv;

namespace {

RunRecord awkwardRecord(const QString& reason)
{
    RunRecord r;
    r.time = QDateTime::currentDateTime();
    r.firmwarePath = QStringLiteral("/lab/a,b \"release\" Ü/fïrmwäre ファーム.ldr");
    r.address = QStringLiteral(" 7");
    r.serialNumber = 4294967295LL;
    r.caption = QStringLiteral("Done with succes");
    r.reason = reason;
    return r;
}

} // namespace

TEST(RunsCsv, AwkwardTextComesBackUnchangedThroughACsvReader)
{
    vlboot::test::TestFolder folder;
    CsvRecordFile file(folder.file("runs.csv"));
    QString why;
    for (const QString& reason : {QStringLiteral("first, \"quoted\"\r\nsecond line"), QString()})
        ASSERT_TRUE(file.Append(awkwardRecord(reason), why)) << why.toStdString();
    const QList<QStringList> rows = ReadCsv(folder.read("runs.csv"));
    ASSERT_EQ(rows.size(), 3); // one header, then one line per run
    EXPECT_EQ(rows.at(0).value(0), "time");
    for (const QStringList& row : rows)
        EXPECT_EQ(row.size(), rows.at(0).size());
    const QStringList& first = rows.at(1);
    const int column = static_cast<int>(rows.at(0).indexOf("firmware_path"));
    EXPECT_EQ(first.value(column), awkwardRecord({}).firmwarePath);
    EXPECT_TRUE(first.contains(" 7") && first.contains("4294967295"));
    EXPECT_TRUE(first.contains("first, \"quoted\"\r\nsecond line"));
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$").match(first.value(0)).hasMatch())
        << first.value(0).toStdString();
}

TEST(RunsCsv, RunsAppendingAtOnceLeaveOneHeaderAndOnlyWholeLines)
{
    vlboot::test::TestFolder folder;
    constexpr int Writers = 4;
    constexpr int Lines = 50;
    std::vector<std::thread> writers;
    for (int w = 0; w < Writers; ++w)
        writers.emplace_back([&folder, w] {
            CsvRecordFile file(folder.file("runs.csv")); // every append opens the file itself, as another program would
            QString why;
            for (int i = 0; i < Lines; ++i)
                file.Append(awkwardRecord(QString(5000, QChar('a' + w))), why);
        });
    for (std::thread& t : writers)
        t.join();
    const QList<QStringList> rows = ReadCsv(folder.read("runs.csv"));
    ASSERT_EQ(rows.size(), 1 + Writers * Lines);
    EXPECT_EQ(rows.at(0).value(0), "time");
    const int column = static_cast<int>(rows.at(0).indexOf("reason"));
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QString reason = rows.at(i).value(column);
        ASSERT_EQ(rows.at(i).size(), rows.at(0).size()) << i;
        ASSERT_TRUE(reason.size() == 5000 && reason.count(reason.at(0)) == 5000) << i; // never two runs' bytes mixed
    }
}
