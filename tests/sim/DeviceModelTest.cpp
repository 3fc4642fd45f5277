// The simulated devices: what they refuse, their CRC, how they take frames
// apart, and which request a fault hits.
// (Every kind of fault is met by the runs of the programming tests and the
// command-line tool.)
#include "DeviceModel.h"
#include "Frames.h"

#include <gtest/gtest.h>

using namespace vlboot::sim;
using namespace vlboot::sim::test;

namespace {

QByteArray answer(DeviceModel& model, const QByteArray& bytes)
{
    QByteArray all;
    for (const Emission& e : model.Receive(bytes))
        all += e.bytes;
    return all;
}

const QByteArray Ok = Bytes({0x05, 0x01, 0x00, 0x00, 0x06});

} // namespace

TEST(DeviceModel, RefusesWhatTheModuleWouldAndComputesItsCrc)
{
    // (What each kind of device answers in a run is met by every programming test.)
    DeviceModel amp(DeviceKind::Amplifier);
    EXPECT_EQ(answer(amp, Sfo(Bytes({0x23, 0x10}), 300)).mid(1, 2), Bytes({0x2C, 0x01})); // the request's address
    EXPECT_EQ(answer(amp, Write(0xFFE0, QByteArray(32, 7))), Ok); // up to the last byte
    for (const QByteArray& data : {Bytes({1, 2}), QByteArray(33, 7), QByteArray()}) // past 0xFFFF, 33 bytes, none
        EXPECT_EQ(answer(amp, Write(data.size() == 2 ? 0xFFFF : 0, data)), Bytes({0x05, 0x01, 0x00, 0x03, 0x09}));
    EXPECT_EQ(amp.Memory().right(33), QByteArray(1, char(0xFF)) + QByteArray(32, 7));

    EXPECT_EQ(DeviceModel::Crc16(QByteArrayView("123456789")), 0x29B1); // CRC-16/CCITT-FALSE
    const std::uint16_t ram = DeviceModel::Crc16(amp.Memory());
    EXPECT_EQ(answer(amp, Sfo(Bytes({0x23, 0x44}))).mid(4, 2), Bytes({ram >> 8, ram & 0xFF})); // high byte first

    EXPECT_EQ(answer(amp, Frame(0x10, {})), Bytes({0x05, 0x01, 0x00, 0x02, 0x08})); // a code the module does not serve
    QByteArray badSum = Write(0, Bytes({1}));
    badSum[badSum.size() - 1] = char(badSum.back() + 1);
    EXPECT_EQ(answer(amp, badSum), Bytes({0x05, 0x01, 0x00, 0x01, 0x07})); // checksum error
}

TEST(DeviceModel, FramesComeApartInAnyPiecesAndFaultsHitTheirOccurrence)
{
    DeviceModel amp(DeviceKind::Amplifier);
    for (int i = 0; i + 1 < Detect.size(); ++i)
        EXPECT_TRUE(amp.Receive(Detect.mid(i, 1)).empty());
    EXPECT_EQ(amp.Receive(Detect.right(1)).size(), 1u);
    EXPECT_EQ(amp.Receive(Detect + Detect).size(), 2u);
    EXPECT_TRUE(amp.Receive(Bytes({0x00, 0x02})).empty()); // impossible lengths are skipped
    EXPECT_EQ(amp.Receive(Detect).size(), 1u);

    amp.InjectFault(Request::MemoryWrite, 2, {FaultKind::ErrorStatus, 0x15});
    EXPECT_EQ(answer(amp, Write(0, Bytes({0xA1}))), Ok);
    EXPECT_EQ(answer(amp, Write(1, Bytes({0xA2}))), Bytes({0x05, 0x01, 0x00, 0x15, 0x1B}));
    EXPECT_EQ(answer(amp, Write(2, Bytes({0xA3}))), Ok);
    EXPECT_EQ(amp.Memory().left(3), Bytes({0xA1, 0xFF, 0xA3})); // the refused write was not carried out
}
