#include "CommandTable.h"

#include <gtest/gtest.h>
#include <set>

using namespace vlboot;

TEST(CommandTable, HoldsTheVocabularyWithIndexZeroEmpty)
{
    RSfunctions::InitCommandTable();
    const auto& t = RSfunctions::CommandTable();
    EXPECT_EQ(t[0].Code, 0);
    EXPECT_EQ(t[0].FrameLength, 0);
    EXPECT_EQ(t[0].Flag1 | t[0].Flag2 | t[0].Flag3 | t[0].Flag4, 0);

    std::set<int> codes;
    for (int i = 1; i <= 92; ++i) {
        codes.insert(t[i].Code);
        EXPECT_GE(t[i].FrameLength, 5) << i;
        for (const auto f : {t[i].Flag1, t[i].Flag2, t[i].Flag3, t[i].Flag4})
            EXPECT_TRUE(f == 0 || f == -1) << i;
    }
    EXPECT_EQ(codes.size(), 92u); // all codes distinct
}

TEST(CommandTable, RecordsOfTheEdgesAndInUse)
{
    RSfunctions::InitCommandTable();
    const auto& t = RSfunctions::CommandTable();
    const struct {
        int index, code, length, f1, f2, f3, f4;
    } rows[] = {
        {1, 0x01, 5, -1, -1, -1, -1}, {14, 0x1D, 5, 0, 0, 0, -1}, {24, 0x30, 12, -1, 0, 0, -1},
        {34, 0x3C, 27, -1, -1, -1, 0}, {46, 0x48, 20, -1, -1, -1, 0}, {47, 0x49, 5, -1, -1, -1, -1},
        {50, 0x5B, 8, 0, -1, -1, 0}, {71, 0xC6, 25, -1, -1, -1, -1}, {90, 0xF5, 32, -1, -1, -1, -1},
        {91, 0xF7, 6, 0, -1, 0, 0}, {92, 0xF8, 32, 0, -1, 0, 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(t[r.index].Code, r.code) << r.index;
        EXPECT_EQ(t[r.index].FrameLength, r.length) << r.index;
        EXPECT_EQ(t[r.index].Flag1, r.f1) << r.index;
        EXPECT_EQ(t[r.index].Flag2, r.f2) << r.index;
        EXPECT_EQ(t[r.index].Flag3, r.f3) << r.index;
        EXPECT_EQ(t[r.index].Flag4, r.f4) << r.index;
    }
}

TEST(CommandTable, FillingAgainGivesTheSameTable)
{
    RSfunctions::InitCommandTable();
    const RSfunctions::Table first = RSfunctions::CommandTable();
    RSfunctions::InitCommandTable();
    for (int i = 0; i <= 92; ++i)
        EXPECT_EQ(RSfunctions::CommandTable()[i].Code, first[i].Code);
}
