#include "frame.h"

#include "failure.h"

#include <QTest>

#include <vector>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes frameBytes(const modbus::RequestFrame& frame) {
    return Bytes(frame.begin(), frame.end());
}

// A reply with its CRC appended low byte first, as a station sends it.
Bytes withCrc(Bytes body) {
    std::vector<int> cells(body.begin(), body.end());
    modbus::CrcRegister crc;
    modbus::Calcula_CRC(static_cast<int>(cells.size()), cells, crc);
    body.push_back(crc.low);
    body.push_back(crc.high);
    return body;
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

    void shortRepliesLeaveEmptyCrc() {
        modbus::CrcRegister crc;
        modbus::replyCrcGood(Bytes{0x01, 0x03}, crc);
        QCOMPARE(crc, (modbus::CrcRegister{0xFF, 0xFF}));
    }
};

QTEST_GUILESS_MAIN(TestModbus)
#include "tst_modbus.moc"
