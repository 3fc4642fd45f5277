#include "CommandTable.h"

#include <string_view>

namespace vlboot::RSfunctions {
namespace {

// Records 1..92 as the protocol lists them, one per line: the code in
// hexadecimal, the frame length, and Flag1..Flag4 (1 true, 0 false).
constexpr std::string_view Listing =
    "01  5 1111\n" // 1
    "10  5 1001\n" // 2
    "11  5 1001\n" // 3
    "12  5 1001\n" // 4
    "13  5 1001\n" // 5
    "14  5 1001\n" // 6
    "15  5 1001\n" // 7
    "16  5 1001\n" // 8
    "17  5 1001\n" // 9
    "19  5 1001\n" // 10
    "1A  5 1001\n" // 11
    "1B  7 1001\n" // 12
    "1C  7 1001\n" // 13
    "1D  5 0001\n" // 14
    "1E  6 1001\n" // 15
    "20  6 1001\n" // 16
    "21  5 1001\n" // 17
    "22  5 1001\n" // 18
    "23  5 1001\n" // 19
    "24  5 1001\n" // 20
    "25  5 1001\n" // 21
    "26  5 1001\n" // 22
    "27  5 1001\n" // 23
    "30 12 1001\n" // 24
    "31 11 1001\n" // 25
    "32 11 1001\n" // 26
    "33 11 1001\n" // 27
    "34 11 1001\n" // 28
    "35 11 1001\n" // 29
    "36 11 1001\n" // 30
    "37 11 1001\n" // 31
    "38 11 1001\n" // 32
    "39  6 1001\n" // 33
    "3C 27 1110\n" // 34
    "3D 28 1110\n" // 35
    "3E  6 1110\n" // 36
    "3F  9 1110\n" // 37
    "40  6 1111\n" // 38
    "41 13 1110\n" // 39
    "42  5 0111\n" // 40
    "43  7 1111\n" // 41
    "44  5 0111\n" // 42
    "45 11 1110\n" // 43
    "46 12 1110\n" // 44
    "47 19 1110\n" // 45
    "48 20 1110\n" // 46
    "49  5 1111\n" // 47
    "4A  5 0110\n" // 48
    "4B  6 1110\n" // 49
    "5B  8 0110\n" // 50
    "64  8 0110\n" // 51
    "66  8 0110\n" // 52
    "70  7 1111\n" // 53
    "71  6 1110\n" // 54
    "72  6 1110\n" // 55
    "73  7 0111\n" // 56
    "74  6 0111\n" // 57
    "75  6 0111\n" // 58
    "76  6 1110\n" // 59
    "77  6 0110\n" // 60
    "78  6 0110\n" // 61
    "79  6 0111\n" // 62
    "7A  7 0111\n" // 63
    "7B  7 0111\n" // 64
    "84  7 1111\n" // 65
    "85  7 1111\n" // 66
    "87  6 1110\n" // 67
    "88  7 1111\n" // 68
    "C4  5 0100\n" // 69
    "C5  5 0111\n" // 70
    "C6 25 1111\n" // 71
    "C8  5 0111\n" // 72
    "C9 24 1111\n" // 73
    "CA  5 0001\n" // 74
    "CB 26 1001\n" // 75
    "CC  5 0001\n" // 76
    "CD 22 1001\n" // 77
    "CE  5 0010\n" // 78
    "CF 26 1010\n" // 79
    "D0  5 0010\n" // 80
    "D1 22 1010\n" // 81
    "D2  5 0100\n" // 82
    "D3 21 1100\n" // 83
    "D4  5 0100\n" // 84
    "D5  6 1100\n" // 85
    "F1  6 1100\n" // 86
    "F2  8 0111\n" // 87
    "F3 11 1111\n" // 88
    "F4  9 0111\n" // 89
    "F5 32 1111\n" // 90
    "F7  6 0100\n" // 91
    "F8 32 0100\n" // 92
    ;

constexpr int hexDigit(char c)
{
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

// A 16-bit Boolean: all bits set is true.
constexpr std::int16_t flag(char c)
{
    return c == '1' ? std::int16_t(-1) : std::int16_t(0);
}

// Record 0 stays zero; line i of the listing is record i + 1.
constexpr Table Filled = [] {
    Table table{};
    std::size_t at = 0;
    for (int i = 1; i <= CommandCount; ++i) {
        const std::string_view line = Listing.substr(at, Listing.find('\n', at) - at);
        at += line.size() + 1;
        const auto code = static_cast<std::uint8_t>(hexDigit(line[0]) * 16 + hexDigit(line[1]));
        const auto length = static_cast<std::uint8_t>((line[3] == ' ' ? 0 : line[3] - '0') * 10 + (line[4] - '0'));
        table[i] = CommandRecord{code, length, flag(line[6]), flag(line[7]), flag(line[8]), flag(line[9])};
    }
    return table;
}();
static_assert(Listing.size() == CommandCount * 11, "one line of 11 characters per record");

} // namespace

const Table& CommandTable()
{
    return Filled;
}

} // namespace vlboot::RSfunctions
