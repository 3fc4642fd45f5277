// Takes N serial numbers from the production database of CONNECTION, one
// transaction each, as fixture runs do, and prints them one per line.
#include "DatabaseSerialNumbers.h"
#include "ProductionDatabase.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 64;
    vlboot::DatabaseSerialNumbers numbers(std::make_shared<vlboot::ProductionDatabase>(QString::fromLocal8Bit(argv[1])));
    QString why;
    if (!numbers.Ready(why))
        return std::fprintf(stderr, "%s\n", qPrintable(why)), 1;
    for (int i = 0; i < std::atoi(argv[2]); ++i) {
        const auto given = numbers.Take();
        if (!given.ok)
            return std::fprintf(stderr, "%s\n", qPrintable(given.why)), 1;
        std::printf("%d\n", given.number);
    }
    return 0;
}
