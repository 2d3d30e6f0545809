#include "modbus/rtu.h"

#include "toolkit/failure.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <vector>

using modbus::Bytes;
using modbus::ReplyKind;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(ReplyKind)

namespace {

Bytes frameBytes(const modbus::RequestFrame& frame) {
    return Bytes(frame.begin(), frame.end());
}

const modbus::LastRequest kStation1Request{0x01, 0x03, 0x00, 0x00, 0x00, 0x06};

// A frame with its CRC appended low byte first, as a station sends it.
Bytes withCrc(Bytes body) {
    modbus::appendCrc(body);
    return body;
}

Bytes joined(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// A complete answer from address 1 with registers 0..4 and the status byte.
Bytes stationReply(std::array<std::uint16_t, 5> registers, std::uint8_t status) {
    return modbus::encodeReply(
        1, {registers[0], registers[1], registers[2], registers[3], registers[4], status});
}

} // namespace

class TestModbus : public QObject {
    Q_OBJECT

private slots:
    void checkValue() {
        const QByteArray text = "123456789";
        std::vector<int> cells(text.begin(), text.end());
        modbus::CrcRegister crc;
        modbus::Calcula_CRC(9, cells, crc);
        QCOMPARE(crc.low, std::uint8_t(0x37));
        QCOMPARE(crc.high, std::uint8_t(0x4B));
    }

    void countCoversNothingWhenZeroOrLess() {
        const std::vector<int> cells{1, 2, 3};
        for (int count : {0, -1, -300}) {
            modbus::CrcRegister crc{0x12, 0x34};
            modbus::Calcula_CRC(count, cells, crc);
            QCOMPARE(crc, (modbus::CrcRegister{0xFF, 0xFF}));
        }
    }

    void onlyLowByteOfACellCounts() {
        modbus::CrcRegister plain;
        modbus::CrcRegister noisy;
        modbus::Calcula_CRC(3, std::vector<int>{0x01, 0x03, 0x00}, plain);
        modbus::Calcula_CRC(3, std::vector<int>{0x7701, -253, 0x100}, noisy);
        QCOMPARE(noisy, plain);
    }

    void cellsAfterCountAreIgnored() {
        modbus::CrcRegister a;
        modbus::CrcRegister b;
        modbus::Calcula_CRC(2, std::vector<int>{1, 3, 0, 0}, a);
        modbus::Calcula_CRC(2, std::vector<int>{1, 3, 99, 98}, b);
        QCOMPARE(a, b);
    }

    void requestFrames_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<Bytes>("frame");
        QTest::newRow("1") << "1" << Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x06, 0xC5, 0xC8};
        QTest::newRow("2") << "2" << Bytes{0x02, 0x03, 0x00, 0x00, 0x00, 0x06, 0xC5, 0xFB};
        QTest::newRow("8") << "8" << Bytes{0x08, 0x03, 0x00, 0x00, 0x00, 0x06, 0xC5, 0x51};
        QTest::newRow("0") << "0" << Bytes{0x00, 0x03, 0x00, 0x00, 0x00, 0x06, 0xC4, 0x19};
        QTest::newRow("300 is 44")
            << "300" << Bytes{0x2C, 0x03, 0x00, 0x00, 0x00, 0x06, 0xC3, 0xB5};
        QTest::newRow("256 is 0") << "256" << Bytes{0x00, 0x03, 0x00, 0x00, 0x00, 0x06, 0xC4, 0x19};
    }
    void requestFrames() {
        QFETCH(QString, address);
        QFETCH(Bytes, frame);
        modbus::LastRequest last{};
        modbus::CrcRegister crc;
        QCOMPARE(frameBytes(modbus::buildRequest(address, last, crc)), frame);
        QCOMPARE(Bytes(last.begin(), last.end()), Bytes(frame.begin(), frame.begin() + 6));
        QCOMPARE(crc.low, frame[6]);
        QCOMPARE(crc.high, frame[7]);
    }

    void badAddressLeavesLastRequestUntouched() {
        modbus::LastRequest last{};
        modbus::CrcRegister crc;
        modbus::buildRequest(QStringLiteral("5"), last, crc);
        const modbus::LastRequest before = last;
        const modbus::CrcRegister crcBefore = crc;
        try {
            modbus::buildRequest(QStringLiteral("A1"), last, crc);
            QFAIL("a letter must fail the conversion");
        } catch (const toolkit::Failure& failure) {
            QCOMPARE(failure.text(), QStringLiteral("'A1' is not a valid integer value"));
        }
        QCOMPARE(last, before);
        QCOMPARE(crc, crcBefore);
    }

    void replyCrc_data() {
        QTest::addColumn<Bytes>("reply");
        QTest::addColumn<bool>("good");
        const Bytes reply =
            withCrc({0x01, 0x03, 0x0C, 0, 123, 1, 114, 0, 1, 0, 50, 0, 200, 0, 0x85});
        QTest::newRow("17-byte reply") << reply << true;
        Bytes swapped = reply;
        std::swap(swapped[15], swapped[16]);
        QTest::newRow("CRC bytes swapped") << swapped << false;
        Bytes corrupted = reply;
        corrupted[4] ^= 0x01;
        QTest::newRow("one bit flipped") << corrupted << false;
        QTest::newRow("one byte") << Bytes{0xFF} << false;
        QTest::newRow("two bytes FF FF") << Bytes{0xFF, 0xFF} << true;
        QTest::newRow("two bytes") << Bytes{0x01, 0x03} << false;
        Bytes longer = withCrc({0x01, 0x03, 0x0C, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 9, 9, 9});
        QTest::newRow("longer than 17, CRC over all before it") << longer << true;
        QTest::newRow("exception reply") << withCrc({0x01, 0x83, 0x02}) << true;
    }
    void replyCrc() {
        QFETCH(Bytes, reply);
        QFETCH(bool, good);
        modbus::CrcRegister crc;
        QCOMPARE(modbus::replyCrcGood(reply, crc), good);
    }

    // The codec's own frames, pinned byte by byte: CRC low byte first.
    void encodedReplyOnTheWire() {
        const modbus::StationValues values{.speed = 123,
                                           .battery = 370,
                                           .direction = 1,
                                           .preset1 = 50,
                                           .preset2 = 200,
                                           .status = 0x85};
        const Bytes wire{0x01, 0x03, 0x0C, 0x00, 0x7B, 0x01, 0x72, 0x00, 0x01,
                         0x00, 0x32, 0x00, 0xC8, 0x00, 0x85, 0x58, 0xAB};
        QCOMPARE(modbus::encodeReply(1, values), wire);
        QCOMPARE(modbus::decodeReply(wire), values);
        QCOMPARE(modbus::encodeException(1, 3, 2), (Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));
    }

    void statusBits() {
        const modbus::StationValues values{.status = 0xFF};
        QCOMPARE(modbus::StationValues{.status = 0x05}.unitCode(),
                 modbus::UnitCode::KilometresPerHour);
        QCOMPARE(modbus::StationValues{.status = 0x06}.unitCode(), modbus::UnitCode::Knots);
        QCOMPARE(modbus::StationValues{.status = 0x07}.unitCode(), modbus::UnitCode::None);
        for (std::uint8_t bit :
             {modbus::status::kDirectionValid, modbus::status::kSoundAlarm,
              modbus::status::kPreset1Alarm, modbus::status::kPreset2Alarm, modbus::status::kRf}) {
            QVERIFY(values.has(bit));
            QVERIFY(!modbus::StationValues{.status = std::uint8_t(~bit)}.has(bit));
        }
        QCOMPARE(modbus::status::kRf | modbus::status::kPreset2Alarm |
                     modbus::status::kPreset1Alarm | modbus::status::kSoundAlarm |
                     modbus::status::kDirectionValid | modbus::status::kUnitCodeMask,
                 0xBF); // bit 6 means nothing
    }

    // The four tests in the station's order; the first that fails names the kind.
    void replyKinds_data() {
        QTest::addColumn<Bytes>("reply");
        QTest::addColumn<ReplyKind>("kind");
        const Bytes good = stationReply({123, 370, 4, 50, 200}, 0x05);
        Bytes swapped = good;
        std::swap(swapped[15], swapped[16]);
        Bytes oversized = withCrc(joined({0x01, 0x03}, Bytes(251, 0x5A)));
        oversized.resize(300, 0xEE);

        QTest::newRow("empty read") << Bytes{} << ReplyKind::NoReply;
        QTest::newRow("good 17 bytes") << good << ReplyKind::Good;
        QTest::newRow("short, well framed")
            << withCrc({0x01, 0x03, 0x0C, 0x00, 0x7B}) << ReplyKind::Good;
        QTest::newRow("other address, good CRC")
            << withCrc(joined({0x02}, Bytes(good.begin() + 1, good.end() - 2)))
            << ReplyKind::WrongAddress;
        QTest::newRow("exception") << modbus::encodeException(1, 3, 2) << ReplyKind::WrongFunction;
        QTest::newRow("CRC bytes swapped") << swapped << ReplyKind::BadCrc;
        QTest::newRow("cut short") << Bytes(good.begin(), good.begin() + 11) << ReplyKind::TooShort;
        QTest::newRow("01") << Bytes{0x01} << ReplyKind::TooShort;
        QTest::newRow("FF") << Bytes{0xFF} << ReplyKind::TooShort;
        QTest::newRow("FF FF") << Bytes{0xFF, 0xFF} << ReplyKind::TooShort;
        QTest::newRow("01 03") << Bytes{0x01, 0x03} << ReplyKind::TooShort;
        QTest::newRow("19 bytes, CRC over 17") << withCrc(good) << ReplyKind::Good;
        QTest::newRow("19 bytes, CRC at 15") << joined(good, {0x55, 0xAA}) << ReplyKind::BadCrc;
        QTest::newRow("300 bytes, first 255 good") << oversized << ReplyKind::Good;
    }
    void replyKinds() {
        QFETCH(Bytes, reply);
        QFETCH(ReplyKind, kind);
        modbus::CrcRegister crc{0x12, 0x34};
        QCOMPARE(modbus::checkReply(reply, kStation1Request, crc), kind);
        if (kind == ReplyKind::Good) {
            const std::size_t length = std::min<std::size_t>(reply.size(), 255);
            QCOMPARE(crc, (modbus::CrcRegister{reply[length - 2], reply[length - 1]}));
        }
    }

    void twoBytesNeverGoodEvenIfHeaderMatches() {
        modbus::CrcRegister crc;
        const Bytes reply{0xFF, 0xFF};
        QCOMPARE(modbus::checkReply(reply, {0xFF, 0xFF, 0, 0, 0, 6}, crc), ReplyKind::TooShort);
    }

    void decodingReadsFixedPlaces() {
        // Bytes that did not arrive read as 0; the byte count and register 5's high byte are
        // not looked at.
        QCOMPARE(modbus::decodeReply(Bytes{0x01, 0x03, 0x0C, 0x00, 0x7B, 0x01, 0x72}),
                 (modbus::StationValues{.speed = 123, .battery = 370}));
        Bytes odd = stationReply({1, 2, 3, 4, 5}, 0x84);
        odd[2] = 0x99;
        odd[13] = 0x77;
        QCOMPARE(modbus::decodeReply(odd), (modbus::StationValues{1, 2, 3, 4, 5, 0x84}));
    }

    void shortRepliesLeaveEmptyCrc() {
        modbus::CrcRegister crc;
        modbus::replyCrcGood(Bytes{0x01, 0x03}, crc);
        QCOMPARE(crc, (modbus::CrcRegister{0xFF, 0xFF}));
    }
};

QTEST_GUILESS_MAIN(TestModbus)
#include "tst_modbus.moc"
