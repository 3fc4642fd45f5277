#include "CommandTable.h"

namespace vlboot::RSfunctions {
namespace {

constexpr std::int16_t T = -1; // Boolean true: all bits set
constexpr std::int16_t F = 0;

struct Entry {
    std::uint8_t code;
    std::uint8_t length;
    std::int16_t f1, f2, f3, f4;
};

// Records 1..92: code, frame length, Flag1..Flag4.
constexpr Entry Entries[CommandCount] = {
    {0x01,  5, T, T, T, T}, // 1
    {0x10,  5, T, F, F, T}, // 2
    {0x11,  5, T, F, F, T}, // 3
    {0x12,  5, T, F, F, T}, // 4
    {0x13,  5, T, F, F, T}, // 5
    {0x14,  5, T, F, F, T}, // 6
    {0x15,  5, T, F, F, T}, // 7
    {0x16,  5, T, F, F, T}, // 8
    {0x17,  5, T, F, F, T}, // 9
    {0x19,  5, T, F, F, T}, // 10
    {0x1A,  5, T, F, F, T}, // 11
    {0x1B,  7, T, F, F, T}, // 12
    {0x1C,  7, T, F, F, T}, // 13
    {0x1D,  5, F, F, F, T}, // 14
    {0x1E,  6, T, F, F, T}, // 15
    {0x20,  6, T, F, F, T}, // 16
    {0x21,  5, T, F, F, T}, // 17
    {0x22,  5, T, F, F, T}, // 18
    {0x23,  5, T, F, F, T}, // 19
    {0x24,  5, T, F, F, T}, // 20
    {0x25,  5, T, F, F, T}, // 21
    {0x26,  5, T, F, F, T}, // 22
    {0x27,  5, T, F, F, T}, // 23
    {0x30, 12, T, F, F, T}, // 24
    {0x31, 11, T, F, F, T}, // 25
    {0x32, 11, T, F, F, T}, // 26
    {0x33, 11, T, F, F, T}, // 27
    {0x34, 11, T, F, F, T}, // 28
    {0x35, 11, T, F, F, T}, // 29
    {0x36, 11, T, F, F, T}, // 30
    {0x37, 11, T, F, F, T}, // 31
    {0x38, 11, T, F, F, T}, // 32
    {0x39,  6, T, F, F, T}, // 33
    {0x3C, 27, T, T, T, F}, // 34
    {0x3D, 28, T, T, T, F}, // 35
    {0x3E,  6, T, T, T, F}, // 36
    {0x3F,  9, T, T, T, F}, // 37
    {0x40,  6, T, T, T, T}, // 38
    {0x41, 13, T, T, T, F}, // 39
    {0x42,  5, F, T, T, T}, // 40
    {0x43,  7, T, T, T, T}, // 41
    {0x44,  5, F, T, T, T}, // 42
    {0x45, 11, T, T, T, F}, // 43
    {0x46, 12, T, T, T, F}, // 44
    {0x47, 19, T, T, T, F}, // 45
    {0x48, 20, T, T, T, F}, // 46
    {0x49,  5, T, T, T, T}, // 47
    {0x4A,  5, F, T, T, F}, // 48
    {0x4B,  6, T, T, T, F}, // 49
    {0x5B,  8, F, T, T, F}, // 50
    {0x64,  8, F, T, T, F}, // 51
    {0x66,  8, F, T, T, F}, // 52
    {0x70,  7, T, T, T, T}, // 53
    {0x71,  6, T, T, T, F}, // 54
    {0x72,  6, T, T, T, F}, // 55
    {0x73,  7, F, T, T, T}, // 56
    {0x74,  6, F, T, T, T}, // 57
    {0x75,  6, F, T, T, T}, // 58
    {0x76,  6, T, T, T, F}, // 59
    {0x77,  6, F, T, T, F}, // 60
    {0x78,  6, F, T, T, F}, // 61
    {0x79,  6, F, T, T, T}, // 62
    {0x7A,  7, F, T, T, T}, // 63
    {0x7B,  7, F, T, T, T}, // 64
    {0x84,  7, T, T, T, T}, // 65
    {0x85,  7, T, T, T, T}, // 66
    {0x87,  6, T, T, T, F}, // 67
    {0x88,  7, T, T, T, T}, // 68
    {0xC4,  5, F, T, F, F}, // 69
    {0xC5,  5, F, T, T, T}, // 70
    {0xC6, 25, T, T, T, T}, // 71
    {0xC8,  5, F, T, T, T}, // 72
    {0xC9, 24, T, T, T, T}, // 73
    {0xCA,  5, F, F, F, T}, // 74
    {0xCB, 26, T, F, F, T}, // 75
    {0xCC,  5, F, F, F, T}, // 76
    {0xCD, 22, T, F, F, T}, // 77
    {0xCE,  5, F, F, T, F}, // 78
    {0xCF, 26, T, F, T, F}, // 79
    {0xD0,  5, F, F, T, F}, // 80
    {0xD1, 22, T, F, T, F}, // 81
    {0xD2,  5, F, T, F, F}, // 82
    {0xD3, 21, T, T, F, F}, // 83
    {0xD4,  5, F, T, F, F}, // 84
    {0xD5,  6, T, T, F, F}, // 85
    {0xF1,  6, T, T, F, F}, // 86
    {0xF2,  8, F, T, T, T}, // 87
    {0xF3, 11, T, T, T, T}, // 88
    {0xF4,  9, F, T, T, T}, // 89
    {0xF5, 32, T, T, T, T}, // 90
    {0xF7,  6, F, T, F, F}, // 91
    {0xF8, 32, F, T, F, F}, // 92
};

// Record 0 stays zero.
constexpr Table Filled = [] {
    Table table{};
    for (int i = 1; i <= CommandCount; ++i) {
        const Entry& e = Entries[i - 1];
        table[i] = CommandRecord{e.code, e.length, e.f1, e.f2, e.f3, e.f4};
    }
    return table;
}();

} // namespace

const Table& CommandTable()
{
    return Filled;
}

} // namespace vlboot::RSfunctions
