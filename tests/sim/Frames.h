#pragma once

#include <QByteArray>
#include <cstdint>
#include <initializer_list>

// Host frames for the device tests, built by hand: length, address low and
// high, code, payload, additive checksum.
namespace vlboot::sim::test {

inline QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

inline char Sum(const QByteArray& bytes)
{
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<std::uint8_t>(c);
    return char(sum & 0xFF);
}

inline QByteArray Frame(int address, int code, const QByteArray& payload)
{
    QByteArray f;
    f.append(char(payload.size() + 5));
    f.append(char(address & 0xFF));
    f.append(char(address >> 8));
    f.append(char(code));
    f.append(payload);
    f.append(Sum(f));
    return f;
}

// SFO frame around the message content that follows the length byte
// (0x23, request, ...); the message length and checksum are added here.
inline QByteArray Sfo(const QByteArray& content, int address = 1)
{
    QByteArray message;
    message.append(char(content.size() + 2));
    message.append(content);
    message.append(Sum(message));
    return Frame(address, 0xF8, message);
}

inline QByteArray Detect(int address = 1) { return Sfo(Bytes({0x23, 0x10}), address); }
inline QByteArray BootEnter() { return Frame(1, 0xF7, Bytes({1})); }
inline QByteArray BootExit() { return Frame(1, 0xF7, Bytes({2})); }
inline QByteArray Erase(int block) { return Sfo(Bytes({0x23, 0x42, block})); }
inline QByteArray Program(int block) { return Sfo(Bytes({0x23, 0x43, block})); }
inline QByteArray CrcRead() { return Sfo(Bytes({0x23, 0x44})); }
inline QByteArray CrcWrite() { return Sfo(Bytes({0x23, 0x45})); }
inline QByteArray Write(int address, const QByteArray& data)
{
    return Sfo(Bytes({0x23, 0x41, address & 0xFF, (address >> 8) & 0xFF}) + data);
}

} // namespace vlboot::sim::test
