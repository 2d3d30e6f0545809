#include "resources/pictures.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {

// Expected hue in degrees; kGreyWithRed marks a picture that is grey apart from red marks.
constexpr int kGreyWithRed = -1;
constexpr int kHueToleranceDeg = 15;
constexpr int kRedHueDeg = 0;

QString stationImage(const char* name) {
    return QStringLiteral(STATION_IMAGES_DIR "/") + QLatin1String(name);
}

QImage imageOfSize(const QString& path, int size) {
    QImageReader reader(path);
    for (int index = 0; index < reader.imageCount(); ++index) {
        reader.jumpToImage(index);
        const QImage image = reader.read();
        if (image.size() == QSize(size, size))
            return image.convertToFormat(QImage::Format_ARGB32);
    }
    return {};
}

bool hueNear(int hueDeg, int expectedDeg) {
    const int distance = std::abs(hueDeg - expectedDeg) % 360;
    return std::min(distance, 360 - distance) <= kHueToleranceDeg;
}

struct Census {
    int opaque = 0;
    int coloured = 0;
    int colouredNearHue = 0;
    int colouredNotRed = 0;
};

// Half-transparent edge pixels are left out: their colour is mostly the background's.
Census takeCensus(const QImage& image, int expectedHueDeg) {
    Census census;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 128)
                continue;
            ++census.opaque;
            if (pixel.hsvSaturation() < 100 || pixel.value() < 60)
                continue;
            ++census.coloured;
            census.colouredNearHue += hueNear(pixel.hsvHue(), expectedHueDeg) ? 1 : 0;
            census.colouredNotRed += hueNear(pixel.hsvHue(), kRedHueDeg) ? 0 : 1;
        }
    }
    return census;
}

} // namespace

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void panelIcons_data();
    void panelIcons();
    void builtinPictures_data();
    void builtinPictures();
    void applicationIconHasEverySize();
};

void TestResources::panelIcons_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("hueDeg");

    const int green = 123;
    QTest::newRow("COM_OK") << stationImage("COM_OK.ICO") << green;
    QTest::newRow("COM_OFF") << stationImage("COM_OFF.ICO") << kGreyWithRed;
    QTest::newRow("BAT_100") << stationImage("BAT_100.ICO") << green;
    QTest::newRow("BAT_75") << stationImage("BAT_75.ICO") << green;
    QTest::newRow("BAT_50 yellow") << stationImage("BAT_50.ICO") << 51;
    QTest::newRow("BAT_25 orange") << stationImage("BAT_25.ICO") << 30;
    QTest::newRow("BAT_0 red") << stationImage("BAT_0.ICO") << kRedHueDeg;
    QTest::newRow("SOUND_ON amber") << stationImage("SOUND_ON.ICO") << 25;
    QTest::newRow("SOUND_OFF") << stationImage("SOUND_OFF.ICO") << kGreyWithRed;
    QTest::newRow("RF_ON blue") << stationImage("RF_ON.ICO") << 210;
    QTest::newRow("RF_OFF") << stationImage("RF_OFF.ICO") << kGreyWithRed;
    QTest::newRow("com_idle") << QString(pictures::kComIdleIcon) << kGreyWithRed;
    QTest::newRow("rf_idle") << QString(pictures::kRfIdleIcon) << kGreyWithRed;
    QTest::newRow("sound_idle") << QString(pictures::kSoundIdleIcon) << kGreyWithRed;
    QTest::newRow("battery_idle") << QString(pictures::kBatteryIdleIcon) << kGreyWithRed;
}

void TestResources::panelIcons() {
    QFETCH(QString, path);
    QFETCH(int, hueDeg);

    QCOMPARE(QImageReader(path).format(), QByteArray("ico"));
    for (int size : {16, 48})
        QVERIFY2(!imageOfSize(path, size).isNull(), qPrintable(QString::number(size)));
    QVERIFY(QIcon(path).availableSizes().contains(QSize(32, 32)));

    const QImage image = imageOfSize(path, 32);
    QVERIFY(!image.isNull());
    const Census census = takeCensus(image, hueDeg);
    QVERIFY2(census.opaque >= 64, "blank at 32 x 32");
    if (hueDeg == kGreyWithRed) {
        QVERIFY(census.colouredNotRed * 50 <= census.opaque);
    } else {
        QVERIFY(census.coloured * 10 >= census.opaque * 3);
        QVERIFY(census.colouredNearHue * 10 >= census.coloured * 8);
    }
}

void TestResources::builtinPictures_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("size");

    QTest::newRow("app.ico") << QString(pictures::kAppIcon) << 32;
    for (int size : pictures::kAppIconPngSizes)
        QTest::addRow("app-%d.png", size) << pictures::appIconPng(size) << size;
    QTest::newRow("save") << QString(pictures::kSaveButton) << 24;
    QTest::newRow("search") << QString(pictures::kSearchButton) << 24;
    QTest::newRow("open") << QString(pictures::kOpenButton) << 24;
}

void TestResources::builtinPictures() {
    QFETCH(QString, path);
    QFETCH(int, size);

    const QImage image = imageOfSize(path, size);
    QVERIFY(!image.isNull());
    QVERIFY2(takeCensus(image, 0).opaque * 4 >= size * size, "mostly transparent");
}

void TestResources::applicationIconHasEverySize() {
    const QList<QSize> sizes = pictures::applicationIcon().availableSizes();
    for (int size : pictures::kAppIconPngSizes)
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
