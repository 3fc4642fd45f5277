// runs.csv while several runs append to it at once.
#include "CsvReader.h"
#include "CsvRecordFile.h"
#include "FilledRecord.h"
#include "RecordFields.h"
#include "RunRecordJson.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace vlboot;

TEST(RunsCsv, RunsAppendingAtOnceLeaveOneHeaderAndOnlyWholeLines)
{
    vlboot::test::TestFolder folder;
    constexpr int Writers = 4;
    constexpr int Lines = 50;
    std::vector<std::thread> writers;
    for (int w = 0; w < Writers; ++w)
        writers.emplace_back([&folder, w] {
            RunRecord record;
            record.reason = QString(5000, QChar('a' + w)) + QStringLiteral(", \"\r\n");
            CsvRecordFile file(folder.file("runs.csv")); // every append opens the file itself, as another program would
            for (int i = 0; i < Lines; ++i)
                (void)file.Append(record);
        });
    for (std::thread& t : writers)
        t.join();
    const QList<QStringList> rows = ReadCsv(folder.read("runs.csv"));
    ASSERT_EQ(rows.size(), 1 + Writers * Lines);
    const qsizetype column = rows.at(0).indexOf("reason");
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QString reason = rows.at(i).value(column);
        ASSERT_EQ(rows.at(i).size(), rows.at(0).size()) << i;
        ASSERT_TRUE(reason.size() == 5005 && reason.count(reason.at(0)) == 5000) << i; // never two runs' bytes mixed
    }
}

TEST(RunsCsv, AFullyFilledRecordComesBackWholeFromTheFileAndFromJsonOnALineOfItsOwn)
{
    const RunRecord filled = vlboot::test::FilledRecord();
    vlboot::test::TestFolder folder;
    ASSERT_TRUE(CsvRecordFile(folder.file("runs.csv")).Append(filled).ok());
    folder.write("runs.csv", folder.read("runs.csv").chopped(2)); // a hand edit took the last line end away
    ASSERT_TRUE(CsvRecordFile(folder.file("runs.csv")).Append(filled).ok());
    const QList<QStringList> rows = ReadCsv(folder.read("runs.csv"));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[2], rows[1]);
    RunRecord fromCsv;
    for (const RecordField& field : RecordFields())
        field.set(fromCsv, FieldFromText(field, rows[1].value(rows[0].indexOf(QLatin1String(field.name)))));
    EXPECT_TRUE(fromCsv == filled);
    EXPECT_EQ(fromCsv.time.offsetFromUtc(), filled.time.offsetFromUtc());
    const std::optional<RunRecord> fromJson = RunRecordFromJson(RunRecordToJson(filled));
    ASSERT_TRUE(fromJson);
    EXPECT_TRUE(*fromJson == filled);
    EXPECT_EQ(fromJson->time.offsetFromUtc(), filled.time.offsetFromUtc());
}
