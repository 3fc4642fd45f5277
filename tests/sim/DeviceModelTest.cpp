// The simulated devices: what each answers, what they keep in memory and
// flash, how they take frames apart, and every fault they can be given.
#include "DeviceModel.h"
#include "Frames.h"

#include <gtest/gtest.h>

using namespace vlboot::sim;
using namespace vlboot::sim::test;

namespace {

QByteArray joined(const std::vector<Emission>& out)
{
    QByteArray all;
    for (const Emission& e : out)
        all += e.bytes;
    return all;
}

QByteArray answer(DeviceModel& model, const QByteArray& bytes)
{
    return joined(model.Receive(bytes));
}

const QByteArray Ok = Bytes({0x05, 0x01, 0x00, 0x00, 0x06});
const QByteArray BootFrame = Bytes({0x05, 0x01, 0x40, 0x00, 0x46});

} // namespace

TEST(DeviceModel, EachDeviceAnswersItsRequests)
{
    DeviceModel amp(DeviceKind::Amplifier);
    DeviceModel fixture(DeviceKind::Fixture);
    DeviceModel silent(DeviceKind::Silent);
    EXPECT_EQ(answer(amp, Detect()), Bytes({0x08, 0x01, 0x00, 0x00, 0x02, 0x05, 0x01, 0x11}));
    EXPECT_EQ(answer(fixture, Detect()), Bytes({0x08, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x06}));
    EXPECT_EQ(answer(amp, Detect(300)).mid(1, 2), Bytes({0x2C, 0x01})); // the request's address
    EXPECT_TRUE(silent.Receive(Detect() + BootEnter()).empty());
    EXPECT_EQ(silent.Requests().size(), 2u);

    const auto enter = amp.Receive(BootEnter());
    ASSERT_EQ(enter.size(), 2u); // the boot-mode frame comes on its own, after a while
    EXPECT_EQ(enter[0].bytes, Ok);
    EXPECT_EQ(enter[1].bytes, BootFrame);
    EXPECT_EQ(enter[1].delayMs, amp.bootConfirmDelayMs);
    EXPECT_EQ(fixture.Receive(BootEnter()).size(), 1u);
    for (const QByteArray& request : {Erase(3), Program(3), CrcWrite(), BootExit()})
        EXPECT_EQ(answer(amp, request), Ok);
    EXPECT_FALSE(amp.InBootMode());
    EXPECT_EQ(answer(amp, CrcRead()), Bytes({0x07, 0x01, 0x00, 0x00, 0x00, 0x00, 0x08})); // RAM all 0xFF

    const QByteArray unknown = Bytes({0x05, 0x01, 0x00, 0x02, 0x08});
    EXPECT_EQ(answer(amp, Frame(1, 0x10, {})), unknown);        // a code the module does not serve
    EXPECT_EQ(answer(amp, Sfo(Bytes({0x23, 0x99}))), unknown);  // an unknown request
    EXPECT_EQ(answer(amp, Frame(1, 0xF7, Bytes({3}))), unknown); // boot sub-command 3
    QByteArray badSum = Write(0, Bytes({1}));
    badSum[badSum.size() - 1] = char(badSum.back() + 1);
    EXPECT_EQ(answer(amp, badSum), Bytes({0x05, 0x01, 0x00, 0x01, 0x07})); // checksum error
}

TEST(DeviceModel, MemoryFlashAndCrcs)
{
    DeviceModel amp(DeviceKind::Amplifier);
    EXPECT_EQ(answer(amp, Write(0x1234, Bytes({0x11, 0x22}))), Ok);
    EXPECT_EQ(amp.Memory().mid(0x1233, 4), Bytes({0xFF, 0x11, 0x22, 0xFF}));
    EXPECT_EQ(answer(amp, Write(0xFFE0, QByteArray(32, 7))), Ok); // up to the last byte
    const QByteArray refused = Bytes({0x05, 0x01, 0x00, 0x03, 0x09});
    for (const QByteArray& data : {Bytes({1, 2}), QByteArray(33, 7), QByteArray()})
        EXPECT_EQ(answer(amp, Write(data.size() == 2 ? 0xFFFF : 0, data)), refused);
    EXPECT_EQ(amp.Memory().right(33), QByteArray(1, char(0xFF)) + QByteArray(32, 7)); // unchanged by the refusals

    EXPECT_EQ(DeviceModel::Crc16(QByteArrayView("123456789")), 0x29B1); // CRC-16/CCITT-FALSE
    EXPECT_EQ(DeviceModel::Crc16(QByteArrayView("6789"), DeviceModel::Crc16(QByteArrayView("12345"))), 0x29B1);
    const std::uint16_t ramCrc = DeviceModel::Crc16(amp.Memory());
    EXPECT_EQ(answer(amp, CrcRead()).mid(4, 2), Bytes({ramCrc >> 8, ramCrc & 0xFF})); // high byte first

    EXPECT_EQ(answer(amp, Program(3)), Ok);
    EXPECT_EQ(amp.Flash().at(3).mid(0x1234, 2), Bytes({0x11, 0x22})); // RAM into flash, RAM reset
    EXPECT_EQ(amp.Memory(), QByteArray(DeviceModel::MemorySize, char(0xFF)));
    answer(amp, CrcWrite());
    EXPECT_TRUE(amp.FlashCrcWritten());
    EXPECT_EQ(amp.Flash().at(42).left(2), Bytes({amp.FlashCrc() >> 8, amp.FlashCrc() & 0xFF}));

    DeviceModel fixture(DeviceKind::Fixture);
    answer(fixture, Write(0x7FFB, Bytes({0x0B, 0, 0, 3, 0xE8})));
    for (const QByteArray& request : {Erase(0), Program(0), CrcWrite()})
        EXPECT_EQ(answer(fixture, request), Ok);
    EXPECT_TRUE(fixture.Flash().empty()); // a fixture keeps its image in memory
    EXPECT_EQ(fixture.Memory().mid(0x7FFB, 5), Bytes({0x0B, 0, 0, 3, 0xE8}));
}

TEST(DeviceModel, FramesAreTakenApartWhateverPiecesTheyComeIn)
{
    DeviceModel amp(DeviceKind::Amplifier);
    const QByteArray query = Detect();
    for (int i = 0; i + 1 < query.size(); ++i)
        EXPECT_TRUE(amp.Receive(query.mid(i, 1)).empty());
    EXPECT_EQ(amp.Receive(query.right(1)).size(), 1u);
    const auto two = amp.Receive(Detect() + CrcRead());
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].bytes.size(), 7);
    EXPECT_TRUE(amp.Receive(Bytes({0x00, 0x02})).empty()); // impossible lengths are skipped
    EXPECT_EQ(amp.Receive(Detect()).size(), 1u);
}

TEST(DeviceModel, FaultsHitTheirOccurrenceOnly)
{
    // (every kind of fault is met by the runs of the programming tests and
    // the command-line tool; here: which request it hits)
    DeviceModel amp(DeviceKind::Amplifier);
    amp.InjectFault(Request::MemoryWrite, 2, {FaultKind::ErrorStatus, 0x15});
    amp.InjectFault(Request::Detect, 0, {FaultKind::Chunked, 0, 3});
    EXPECT_EQ(answer(amp, Write(0, Bytes({0xA1}))), Ok);
    EXPECT_EQ(answer(amp, Write(1, Bytes({0xA2}))), Bytes({0x05, 0x01, 0x00, 0x15, 0x1B}));
    EXPECT_EQ(answer(amp, Write(2, Bytes({0xA3}))), Ok);
    EXPECT_EQ(amp.Memory().left(3), Bytes({0xA1, 0xFF, 0xA3})); // the refused write was not carried out
    for (int i = 0; i < 2; ++i) { // 0: every one
        const auto pieces = amp.Receive(Detect());
        ASSERT_EQ(pieces.size(), 3u);
        EXPECT_EQ(pieces[1].delayMs, amp.chunkDelayMs);
    }
    DeviceModel a(DeviceKind::Amplifier), b(DeviceKind::Amplifier);
    for (DeviceModel* m : {&a, &b})
        m->InjectFault(Request::CrcRead, 0, {FaultKind::Garbage});
    for (int i = 0; i < 20; ++i) {
        const QByteArray noise = answer(a, CrcRead());
        EXPECT_EQ(noise, answer(b, CrcRead())); // repeatable
        EXPECT_LT(static_cast<std::uint8_t>(noise.at(0)), noise.size()); // never a complete reply
    }
}
