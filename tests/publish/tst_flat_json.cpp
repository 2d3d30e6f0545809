// The one-pass reader of the states the site view reads every second: where it answers, it reads
// what QJsonDocument and QDateTime read, for the payloads as published and for thousands of
// mangled ones.

#include "publish/flat_json.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

#include <cstring>

using publish::flat::Value;

namespace {

// As a station program and the synthetic site write them.
const QByteArray
    kStation(R"({"address":"17","battery":3.88,"direction":"NNE","name":"CAIS 3","preset1":5,)"
             R"("preset1_alarm":true,"preset2":60,"preset2_alarm":false,"rf":true,"sound":true,)"
             R"("speed":12.3,"station":3,"time":"2026-12-07T14:30:05-03:00","unit":"km/h"})");
const QByteArray kSynthetic("{\"address\":\"7\",\"battery\":3.87,\"direction\":\"SSO\",\"name\":"
                            "\"ANEMÔMETRO 7\",\"preset1\":15,\"preset1_alarm\":false,"
                            "\"preset2\":25,\"preset2_alarm\":false,\"rf\":true,\"sound\":false,"
                            "\"speed\":null,\"speed_over_limit\":true,\"station\":7,"
                            "\"time\":\"2026-12-07T17:30:05.250Z\",\"unit\":\"m/s\"}");

bool sameNumber(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Empty when the reader's answer is QJsonDocument's reading, else what differs.
QString differs(const QByteArray& payload, const publish::flat::Object& read) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return QStringLiteral("QJsonDocument: %1").arg(error.errorString());
    const QJsonObject object = document.object();
    if (object.size() != read.count)
        return QStringLiteral("%1 members, not %2").arg(object.size()).arg(read.count);
    for (int i = 0; i < read.count; ++i) {
        const auto& [nameBytes, value] = read.members[std::size_t(i)];
        const QString name = QString::fromUtf8(nameBytes);
        const QJsonValue json = object.value(name);
        bool same = false;
        switch (value.type) {
        case Value::Type::Null:
            same = json.isNull();
            break;
        case Value::Type::Bool:
            same = json.isBool() && json.toBool() == value.flag;
            break;
        case Value::Type::Number:
            same = json.isDouble() && sameNumber(json.toDouble(), value.number);
            break;
        case Value::Type::String:
            same = json.isString() && json.toString() == QString::fromUtf8(value.text);
            break;
        }
        if (!same)
            return QStringLiteral("member %1").arg(name);
    }
    return {};
}

void compare(const QByteArray& payload) {
    if (const std::optional<publish::flat::Object> read = publish::flat::scan(payload)) {
        const QString why = differs(payload, *read);
        QVERIFY2(why.isEmpty(), qPrintable(why + QStringLiteral(" in ") +
                                           QString::fromLatin1(payload.toPercentEncoding())));
    }
}

} // namespace

class TestFlatJson : public QObject {
    Q_OBJECT

private slots:
    void readsAsQJsonDocument_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("answers");
        QTest::newRow("estado") << kStation << true;
        QTest::newRow("sintético") << kSynthetic << true;
        QTest::newRow("espaços") << QByteArray(" {\n\t\"a\" : -0 , \"b\":[] }\r\n") << false;
        const QList<QByteArray> values{"-0",
                                       "0.0",
                                       "1e400",
                                       "1e-400",
                                       "4.9e-324",
                                       "01",
                                       "1.",
                                       ".5",
                                       "+1",
                                       "1E5",
                                       "9223372036854775807",
                                       "-9223372036854775809",
                                       "1e+2",
                                       "123456789012345678901",
                                       "\"\\u00e9\"",
                                       "\"\xC3\xA9\"",
                                       "\"\xED\xA0\x80\"",
                                       "\"\xC0\xAF\"",
                                       "\"\xF4\x90\x80\x80\"",
                                       "\"\xEF\xBF\xBF\"",
                                       "\"\x01\"",
                                       "\"\x7F\"",
                                       "tru",
                                       "nul",
                                       "{}",
                                       "\"a\"x"};
        for (const QByteArray& value : values)
            QTest::newRow(value.toPercentEncoding().constData())
                << QByteArray("{\"a\":" + value + "}") << false;
        QTest::newRow("nome repetido") << QByteArray(R"({"a":1,"a":2})") << false;
        QTest::newRow("depois do fim") << QByteArray(R"({"a":1}x)") << false;
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF{\"a\":1}") << false;
    }
    void readsAsQJsonDocument() {
        QFETCH(QByteArray, payload);
        QFETCH(bool, answers);
        compare(payload);
        // The payloads as published are read the short way.
        if (answers)
            QVERIFY(publish::flat::scan(payload));
    }

    // Bytes changed, put in and left out at random: the reader answers for fewer, never
    // otherwise.
    void mangledAsQJsonDocument() {
        static const QByteArray kBytes(
            "0123456789.eE+-\"\\{}[],: \t\x01\x7f\x80\xbf\xc3\xa9\xed\xa0"
            "\xf0\xf4\x90nulltruefalse");
        QRandomGenerator random(20261207);
        for (int i = 0; i < 40000; ++i) {
            QByteArray payload = i % 2 ? kStation : kSynthetic;
            for (int edits = 1 + int(random.bounded(3)); edits > 0; --edits) {
                const qsizetype at = random.bounded(int(payload.size()));
                const char byte = kBytes.at(random.bounded(int(kBytes.size())));
                switch (random.bounded(3)) {
                case 0:
                    payload[at] = byte;
                    break;
                case 1:
                    payload.insert(at, byte);
                    break;
                default:
                    payload.remove(at, 1);
                }
            }
            compare(payload);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Times as QDateTime reads them with Qt::ISODateWithMs, with their offset; the reader
    // answers for the form the station programs write.
    void timesAsQDateTime() {
        QVERIFY(publish::flat::isoTimeMs(u"2026-12-07T14:30:05-03:00"));
        QVERIFY(publish::flat::isoTimeMs(u"2024-02-29T23:59:59.999+05:45"));
        QRandomGenerator random(1);
        const auto two = [&](int most) {
            return QStringLiteral("%1").arg(random.bounded(most + 1), 2, 10, QLatin1Char('0'));
        };
        for (int i = 0; i < 100000; ++i) {
            QString text = QStringLiteral("%1-%2-%3T%4:%5:%6")
                               .arg(random.bounded(990, 10000), 4, 10, QLatin1Char('0'))
                               .arg(two(13), two(32), two(25), two(61), two(61));
            if (random.bounded(2))
                text +=
                    u'.' + QString::number(random.bounded(10000)).left(1 + int(random.bounded(4)));
            switch (random.bounded(4)) {
            case 0:
                text += u'Z';
                break;
            case 1:
                break; // local time
            default:
                text += (random.bounded(2) ? u'+' : u'-') + two(15) + u':' + two(61);
            }
            if (const std::optional<qint64> ms = publish::flat::isoTimeMs(text)) {
                const QDateTime read = QDateTime::fromString(text, Qt::ISODateWithMs);
                QVERIFY2(read.isValid(), qPrintable(text));
                QCOMPARE(*ms, read.toMSecsSinceEpoch());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestFlatJson)
#include "tst_flat_json.moc"
