#pragma once

#include <QByteArray>
#include <initializer_list>

// Host frames built by hand: length, address low and high, code, payload,
// additive checksum; SFO messages inside code 0xF8.
namespace vlboot::sim::test {

inline QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

inline QByteArray Summed(QByteArray bytes)
{
    int sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    return bytes + char(sum);
}

inline QByteArray Frame(int code, const QByteArray& payload, int address = 1)
{
    return Summed(char(payload.size() + 5) + Bytes({address & 0xFF, address >> 8, code}) + payload);
}

inline QByteArray Sfo(const QByteArray& content, int address = 1)
{
    return Frame(0xF8, Summed(char(content.size() + 2) + content), address);
}

inline QByteArray Write(int address, const QByteArray& data)
{
    return Sfo(Bytes({0x23, 0x41, address & 0xFF, (address >> 8) & 0xFF}) + data);
}

inline const QByteArray Detect = Sfo(Bytes({0x23, 0x10}));

} // namespace vlboot::sim::test
