#include "readings/reading_feed.h"
#include "readings/reply.h"

#include <QLocale>
#include <QTest>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

using namespace readings;
using modbus::Bytes;
Q_DECLARE_METATYPE(Bytes)

namespace {

// A complete answer from address 1: registers 0..4, then the status in register 5.
Bytes stationReply(std::array<unsigned, 5> registers, std::uint8_t status) {
    return modbus::encodeReply(1, {std::uint16_t(registers[0]), std::uint16_t(registers[1]),
                                   std::uint16_t(registers[2]), std::uint16_t(registers[3]),
                                   std::uint16_t(registers[4]), status});
}

} // namespace

class TestReply : public QObject {
    Q_OBJECT

private slots:
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

    // Every listener gets the one reading made of an outcome, watchers first, in the order
    // they came; a failed poll has none.
    void oneReadingForEveryListener() {
        struct Listener : ReadingListener {
            Listener(const char* name, QStringList& order) : name(name), order(&order) {}
            QString name;
            QStringList* order;
            std::vector<const Reading*> seen;
            std::optional<Reading> copy; // of the last reading, while it was handed over
            void pollFinished(const bus::PollOutcome&, const Reading* reading) override {
                *order << name;
                seen.push_back(reading);
                copy = reading ? std::optional(*reading) : std::nullopt;
            }
        };
        QStringList order;
        Listener panels("panels", order), log("log", order);
        Listener health("health", order), publisher("publisher", order);
        ReadingFeed feed;
        feed.addListener(panels);
        feed.addWatcher(health);
        feed.addListener(log);
        feed.addWatcher(publisher);
        bus::PollOutcome outcome;
        outcome.station = 2;
        outcome.kind = modbus::ReplyKind::Good;
        outcome.values = modbus::StationValues{12345, 370, 4, 150, 250, 0x95};
        feed.pollFinished(outcome);
        QCOMPARE(order, (QStringList{"health", "publisher", "panels", "log"}));
        QVERIFY(health.seen.front());
        for (const Listener* listener : {&publisher, &panels, &log})
            QCOMPARE(listener->seen.front(), health.seen.front());
        const std::optional<Reading>& reading = log.copy;
        QVERIFY(reading);
        QCOMPARE(reading->speedText, QStringLiteral("> LIMITE"));
        QVERIFY(reading->speedOverLimit && !reading->preset1OverLimit);
        QCOMPARE(reading->directionText, QStringLiteral("L  "));
        QCOMPARE(reading->directionName, QStringLiteral("L"));
        QCOMPARE(reading->unitText, QStringLiteral("km/h"));

        outcome.kind = modbus::ReplyKind::BadCrc;
        outcome.values.reset();
        feed.pollFinished(outcome);
        QCOMPARE(health.seen.back(), nullptr);
        QVERIFY(!log.copy);
    }

    // A listener removed, or destroyed, is not told from then on, also when that happens while
    // the feed is telling the others; the feed may go before its listeners.
    void listenersLeaveWhenRemovedOrGone() {
        struct Listener : ReadingListener {
            Listener(const char* name, QStringList& order) : name(name), order(&order) {}
            QString name;
            QStringList* order;
            std::function<void()> whenTold;
            void pollFinished(const bus::PollOutcome&, const Reading*) override {
                *order << name;
                if (whenTold)
                    whenTold();
            }
        };
        QStringList order;
        auto feed = std::make_unique<ReadingFeed>();
        Listener health("health", order), panels("panels", order), log("log", order);
        auto publisher = std::make_unique<Listener>("publisher", order);
        auto history = std::make_unique<Listener>("history", order);
        feed->addWatcher(health);
        feed->addWatcher(*history);
        feed->addListener(panels);
        feed->addListener(log);
        feed->addListener(*publisher);
        history.reset(); // gone before any poll
        panels.whenTold = [&] {
            feed->removeListener(log);
            publisher.reset();
        };
        bus::PollOutcome outcome;
        outcome.station = 1;
        feed->pollFinished(outcome);
        QCOMPARE(order, (QStringList{"health", "panels"}));

        panels.whenTold = nullptr;
        feed->addListener(log);
        feed->addListener(log); // once only
        feed->removeListener(health);
        feed->pollFinished(outcome);
        QCOMPARE(order, (QStringList{"health", "panels", "panels", "log"}));
        feed.reset(); // before its listeners
    }
};

QTEST_GUILESS_MAIN(TestReply)
#include "tst_reply.moc"
