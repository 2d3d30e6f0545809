#include "reply.h"

#include <QLocale>
#include <QTest>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

using namespace readings;
using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(ReplyOutcome)

namespace {

const modbus::LastRequest kStation1Request{0x01, 0x03, 0x00, 0x00, 0x00, 0x06};

// The CRC appended low byte first, as a station sends it.
Bytes withCrc(Bytes body) {
    const std::vector<int> cells(body.begin(), body.end());
    modbus::CrcRegister crc;
    modbus::Calcula_CRC(static_cast<int>(cells.size()), cells, crc);
    body.push_back(crc.low);
    body.push_back(crc.high);
    return body;
}

// A complete 17-byte answer from address 1: registers 0..4, then the status in register 5.
Bytes stationReply(std::array<unsigned, 5> registers, std::uint8_t status) {
    Bytes body{0x01, 0x03, 0x0C};
    for (unsigned value : registers) {
        body.push_back(static_cast<std::uint8_t>(value >> 8));
        body.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    body.insert(body.end(), {0x00, status});
    return withCrc(body);
}

Bytes joined(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

} // namespace

class TestReply : public QObject {
    Q_OBJECT

private slots:
    void validation_data() {
        QTest::addColumn<Bytes>("reply");
        QTest::addColumn<ReplyOutcome>("outcome");
        const Bytes good = stationReply({123, 370, 4, 50, 200}, 0x05);
        Bytes swapped = good;
        std::swap(swapped[15], swapped[16]);
        Bytes oversized = withCrc(joined({0x01, 0x03}, Bytes(251, 0x5A)));
        oversized.resize(300, 0xEE);

        QTest::newRow("empty read") << Bytes{} << ReplyOutcome::NoReply;
        QTest::newRow("good 17 bytes") << good << ReplyOutcome::Good;
        QTest::newRow("short, well framed")
            << withCrc({0x01, 0x03, 0x0C, 0x00, 0x7B}) << ReplyOutcome::Good;
        QTest::newRow("other address, good CRC")
            << withCrc(joined({0x02}, Bytes(good.begin() + 1, good.end() - 2)))
            << ReplyOutcome::Invalid;
        QTest::newRow("exception") << withCrc({0x01, 0x83, 0x02}) << ReplyOutcome::Invalid;
        QTest::newRow("CRC bytes swapped") << swapped << ReplyOutcome::Invalid;
        QTest::newRow("01") << Bytes{0x01} << ReplyOutcome::Invalid;
        QTest::newRow("FF") << Bytes{0xFF} << ReplyOutcome::Invalid;
        QTest::newRow("FF FF") << Bytes{0xFF, 0xFF} << ReplyOutcome::Invalid;
        QTest::newRow("01 03") << Bytes{0x01, 0x03} << ReplyOutcome::Invalid;
        QTest::newRow("19 bytes, CRC over 17") << withCrc(good) << ReplyOutcome::Good;
        QTest::newRow("19 bytes, CRC at 15") << joined(good, {0x55, 0xAA}) << ReplyOutcome::Invalid;
        QTest::newRow("300 bytes, first 255 good") << oversized << ReplyOutcome::Good;
    }

    void validation() {
        QFETCH(Bytes, reply);
        QFETCH(ReplyOutcome, outcome);
        modbus::CrcRegister crc{0x12, 0x34};
        QCOMPARE(checkReply(reply, kStation1Request, crc), outcome);
        if (outcome == ReplyOutcome::Good) {
            const std::size_t length = std::min<std::size_t>(reply.size(), 255);
            QCOMPARE(crc, (modbus::CrcRegister{reply[length - 2], reply[length - 1]}));
        }
    }

    void twoBytesNeverGoodEvenIfHeaderMatches() {
        modbus::CrcRegister crc;
        const Bytes reply{0xFF, 0xFF};
        QCOMPARE(checkReply(reply, {0xFF, 0xFF, 0, 0, 0, 6}, crc), ReplyOutcome::Invalid);
    }

    void oneDecimalRegisters_data() {
        QTest::addColumn<unsigned>("value");
        QTest::addColumn<QString>("text");
        const std::pair<unsigned, const char*> rows[] = {
            {0, "0,0"},          {7, "0,7"},         {9, "0,9"},      {10, "1,0"},
            {45, "4,5"},         {123, "12,3"},      {1234, "123,4"}, {9999, "999,9"},
            {10000, "> LIMITE"}, {65535, "> LIMITE"}};
        for (const auto& [value, text] : rows)
            QTest::addRow("%u", value) << value << QString::fromLatin1(text);
    }

    void oneDecimalRegisters() {
        QFETCH(unsigned, value);
        QFETCH(QString, text);
        const Reading reading = decodeReply(stationReply({value, 0, 0, value, value}, 0x04), 1);
        QCOMPARE(reading.speedText, text);
        QCOMPARE(reading.preset1Text, text);
        QCOMPARE(reading.preset2Text, text);
    }

    void battery_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("icon");
        const std::tuple<int, const char*, const char*> rows[] = {
            {0, "0,00", "BAT_0"},        {5, "0,05", "BAT_0"},     {45, "0,45", "BAT_0"},
            {339, "3,39", "BAT_0"},      {340, "3,40", "BAT_25"},  {349, "3,49", "BAT_25"},
            {350, "3,50", "BAT_50"},     {359, "3,59", "BAT_50"},  {360, "3,60", "BAT_75"},
            {369, "3,69", "BAT_75"},     {370, "3,70", "BAT_100"}, {1000, "10,00", "BAT_100"},
            {65535, "655,35", "BAT_100"}};
        for (const auto& [value, text, icon] : rows)
            QTest::addRow("%d", value)
                << value << QString(text) << QStringLiteral("IMAGES/%1.ICO").arg(icon);
    }

    void battery() {
        QFETCH(int, value);
        const Reading reading = decodeReply(stationReply({0, unsigned(value), 0, 0, 0}, 0x04), 1);
        QTEST(reading.batteryText, "text");
        QCOMPARE(reading.batteryValue, value);
        QTEST(batteryIconPath(reading.batteryValue), "icon");
    }

    void direction_data() {
        QTest::addColumn<unsigned>("code");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("station");
        QTest::addColumn<QString>("text");
        QTest::newRow("0 at station 1") << 0u << 0x04 << 1 << "N";
        QTest::newRow("0 at station 2") << 0u << 0x04 << 2 << "N  ";
        QTest::newRow("2 at station 8") << 2u << 0x04 << 8 << "NE ";
        QTest::newRow("15") << 15u << 0x04 << 1 << "NNO";
        QTest::newRow("16") << 16u << 0x04 << 1 << "---";
        QTest::newRow("65535") << 65535u << 0x04 << 3 << "---";
        QTest::newRow("4 valid") << 4u << 0x04 << 1 << "L";
        QTest::newRow("4, flag clear") << 4u << 0xFB << 1 << "---";
    }

    void direction() {
        QFETCH(unsigned, code);
        QFETCH(int, status);
        QFETCH(int, station);
        QFETCH(QString, text);
        const auto statusByte = static_cast<std::uint8_t>(status);
        QCOMPARE(decodeReply(stationReply({0, 0, code, 0, 0}, statusByte), station).directionText,
                 text);
    }

    void paddedCompassNames() {
        QStringList names;
        for (unsigned code = 0; code < 16; ++code)
            names << compassName(code, 5);
        QCOMPARE(names.join('|'),
                 "N  |NNE|NE |ENE|L  |ESE|SE |SSE|S  |SSO|SO |OSO|O  |ONO|NO |NNO");
    }

    void units_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("unitText");
        QTest::addColumn<QString>("unitSuffix");
        const std::tuple<int, const char*, const char*> rows[] = {
            {0x04, "m/s", " m/s "}, {0x05, "km/h", " km/h"}, {0x06, "kn", " kn"}, {0x07, "", ""}};
        for (const auto& [status, text, suffix] : rows)
            QTest::addRow("0x%02X", status) << status << QString(text) << QString(suffix);
    }

    void units() {
        QFETCH(int, status);
        const Reading reading = decodeReply(stationReply({1, 2, 3, 4, 5}, std::uint8_t(status)), 1);
        QTEST(reading.unitText, "unitText");
        QTEST(reading.unitSuffix, "unitSuffix");
        QCOMPARE(reading.unitCode, status & 0x03);
    }

    void flags_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("station");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<QString>("rf");
        QTest::addColumn<bool>("alarm1");
        QTest::addColumn<bool>("alarm2");
        const std::tuple<int, int, const char*, const char*, bool, bool> rows[] = {
            {0x00, 1, "OFF", "OFF", false, false}, {0x88, 1, "ON", "ON", false, false},
            {0x88, 2, "ON ", "ON", false, false},  {0x08, 8, "ON ", "OFF", false, false},
            {0x10, 1, "OFF", "OFF", true, false},  {0x20, 1, "OFF", "OFF", false, true},
            {0x30, 3, "OFF", "OFF", true, true}};
        for (const auto& [status, station, sound, rf, alarm1, alarm2] : rows)
            QTest::addRow("0x%02X at %d", status, station)
                << status << station << QString(sound) << QString(rf) << alarm1 << alarm2;
    }

    void flags() {
        QFETCH(int, status);
        QFETCH(int, station);
        const Reading reading =
            decodeReply(stationReply({1, 2, 3, 4, 5}, std::uint8_t(status)), station);
        QTEST(reading.soundText, "sound");
        QTEST(reading.rfText, "rf");
        QTEST(reading.preset1Alarm, "alarm1");
        QTEST(reading.preset2Alarm, "alarm2");
        QCOMPARE(reading.status, status);
    }

    void bit6Ignored() {
        for (std::uint8_t status : {0x00, 0xBF}) {
            const Bytes plain = stationReply({123, 370, 4, 50, 200}, status);
            const Bytes with40 = stationReply({123, 370, 4, 50, 200}, status | 0x40u);
            // The status byte is kept as received; everything decoded from it must match.
            Reading decoded = decodeReply(with40, 2);
            QCOMPARE(decoded.status, status | 0x40);
            decoded.status = status;
            QCOMPARE(decoded, decodeReply(plain, 2));
        }
    }

    void shortReplyReadsZerosForMissingBytes() {
        const Reading reading = decodeReply(Bytes{0x01, 0x03, 0x0C, 0x00, 0x7B, 0x01, 0x72}, 1);
        QCOMPARE(reading.speedText, "12,3");
        QCOMPARE(reading.batteryText, "3,70");
        QCOMPARE(reading.preset1Text, "0,0");
        QCOMPARE(reading.preset2Text, "0,0");
        QCOMPARE(reading.status, 0);
        QCOMPARE(reading.directionText, "---");
        QCOMPARE(reading.unitSuffix, " m/s ");
    }

    void commaWhateverTheLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("C") << QLocale::c();
        QTest::newRow("German") << QLocale(QLocale::German);
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates);
    }

    void commaWhateverTheLocale() {
        QFETCH(QLocale, locale);
        const QLocale previous;
        QLocale::setDefault(locale);
        const Reading reading = decodeReply(stationReply({1234, 65535, 0, 9999, 45}, 0x04), 1);
        QLocale::setDefault(previous);
        QCOMPARE(reading.speedText, "123,4");
        QCOMPARE(reading.batteryText, "655,35");
        QCOMPARE(reading.preset1Text, "999,9");
        QCOMPARE(reading.preset2Text, "4,5");
    }
};

QTEST_GUILESS_MAIN(TestReply)
#include "tst_reply.moc"
