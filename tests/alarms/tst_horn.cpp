// The [alarmes] settings read from real files in a station folder (a FIFO, a folder, a file too
// large among them), and the horn through a real PulseAudio server with a null sink: which
// stream plays while an alarm is ATIVO, and that it stops on SILENCIAR, RECONHECER and when the
// alarm goes. Without a sound server (a child process of this test, since Qt connects to the
// server once per process) the horn says so once and the event loop goes on.

#include "alarms/alarm_book.h"
#include "alarms/alarm_settings.h"
#include "alarms/horn.h"

#include "fifo_guard.h"
#include "sound_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <cmath>
#include <memory>

using alarms::AlarmBook;
using alarms::Horn;
using alarms::HornPlayer;
using alarms::HornSettings;
using alarms::Kind;

namespace {

constexpr char kWithoutServerMode[] = "--without-sound-server";
constexpr qint64 kNowMs = 1'765'209'600'000; // 8 December 2026, 16:00 UTC
const QString kUser = QStringLiteral("operador");

// A mono 16-bit PCM WAV file of one second of a square wave at `rate` samples per second.
QByteArray wav(int rate) {
    QByteArray data;
    for (int i = 0; i < rate; ++i) {
        const qint16 sample = (i / 20) % 2 ? 8000 : -8000;
        data.append(reinterpret_cast<const char*>(&sample), 2); // little-endian machines only
    }
    auto le32 = [](quint32 v) {
        QByteArray b(4, 0);
        qToLittleEndian(v, b.data());
        return b;
    };
    auto le16 = [](quint16 v) {
        QByteArray b(2, 0);
        qToLittleEndian(v, b.data());
        return b;
    };
    return "RIFF" + le32(36 + quint32(data.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
           le32(quint32(rate)) + le32(quint32(rate) * 2) + le16(2) + le16(16) + "data" +
           le32(quint32(data.size())) + data;
}

// The same file marked as ADPCM, which Qt's player does not decode.
QByteArray adpcm(QByteArray wavFile) {
    wavFile[20] = 2;
    return wavFile;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The 16-bit samples of a WAV file compiled into the program, after its 44-byte header.
QList<int> builtinSamples(const QString& resource, QByteArray* header) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    *header = bytes.left(44);
    QList<int> samples;
    for (qsizetype i = 44; i + 1 < bytes.size(); i += 2)
        samples << qFromLittleEndian<qint16>(bytes.constData() + i);
    return samples;
}

// The child's run without a sound server: alarms come and go for a while, a timer counts the
// event loop's turns, and the outcome is printed as "unavailable <n> ticks <n> <last text>".
int runWithoutServer(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    AlarmBook book;
    // Already sounding when the player is made, as after a restart with a listed alarm.
    book.setActive(1, Kind::Preset2, true, kNowMs);
    HornPlayer player(book, HornSettings{});
    int said = 0;
    QString text;
    QObject::connect(&player, &HornPlayer::unavailable, [&](const QString& t) {
        ++said;
        text = t;
    });
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        book.setActive(1 + ticks % 2, ticks % 3 ? Kind::Preset2 : Kind::Preset1, ticks % 4 != 0,
                       kNowMs + ticks * 1000);
        if (ticks % 5 == 0)
            book.acknowledgeAll(kUser, kNowMs + ticks * 1000);
    });
    ticker.start(20);
    QTimer::singleShot(1000, &app, &QCoreApplication::quit);
    app.exec();
    std::printf("unavailable %d ticks %d %s\n", said, ticks, qPrintable(text));
    return 0;
}

} // namespace

class TestHorn : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(server_.start(), "pulseaudio with a null sink could not be started");
        // Before the first use of Qt Multimedia, which connects once per process.
        const QProcessEnvironment env = server_.environment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_SERVER"})
            qputenv(name, env.value(QString::fromLatin1(name)).toUtf8());
    }

    // Rows: the INI text (empty: no file; "<pasta>": a folder in its place), what is read, and
    // the message, with <ini> and <dir> for the INI file and the station folder.
    void settings_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("high");
        QTest::addColumn<QString>("medium");
        QTest::addColumn<bool>("openWindow");
        QTest::addColumn<QString>("error");
        const QString intro = QStringLiteral("Alarmes, no grupo [alarmes] de <ini>: ");
        const QString keys =
            QStringLiteral("as chaves são som, som_alta, som_media, abrir_janela e "
                           "atraso_normalizar.");
        QTest::newRow("no file") << QByteArray() << true << ""
                                 << "" << true << "";
        QTest::newRow("no group") << QByteArray("[mqtt]\nhost=x\n") << true << ""
                                  << "" << true << "";
        QTest::newRow("empty group") << QByteArray("[mqtt]\n[alarmes]\n; nada\n") << true << ""
                                     << "" << true << "";
        QTest::newRow("every value")
            << QByteArray("[alarmes]\nsom=desligado\nsom_alta=alta.wav\nsom_media=sons/media.wav\n"
                          "abrir_janela=não\n")
            << false << "<dir>/alta.wav"
            << "<dir>/sons/media.wav" << false << "";
        QTest::newRow("defaults written out")
            << QByteArray("[alarmes]\nsom=ligado\nabrir_janela=sim\nsom_alta=\n") << true << ""
            << "" << true << "";
        QTest::newRow("any case")
            << QByteArray("[ALARMES]\nSOM=Desligado\nAbrir_Janela=NÃO\nSom_Media=ALTA.wav\n")
            << false << ""
            << "<dir>/ALTA.wav" << false << "";
        QTest::newRow("nao without accent, absolute path")
            << QByteArray("[alarmes]\nabrir_janela=Nao\nsom_alta=<dir>/sons/media.wav\n") << true
            << "<dir>/sons/media.wav"
            << "" << false << "";
        QTest::newRow("unknown key")
            << QByteArray("[alarmes]\nvolume=10\nsom=desligado\n") << false << ""
            << "" << true << intro + "a chave \"volume\" não existe; " + keys;
        QTest::newRow("two unknown keys")
            << QByteArray("[alarmes]\nvolume=10\nabrir_janela=não\ntom\n") << true << ""
            << "" << false << intro + "as chaves \"volume\" e \"tom\" não existem; " + keys;
        QTest::newRow("bad som")
            << QByteArray("[alarmes]\nsom=talvez\n") << true << ""
            << "" << true
            << intro + "som deve ser ligado ou desligado, não \"talvez\"; o alarme sonoro fica "
                       "ligado.";
        QTest::newRow("bad abrir_janela")
            << QByteArray("[alarmes]\nabrir_janela=1\n") << true << ""
            << "" << true
            << intro + "abrir_janela deve ser sim ou não, não \"1\"; a janela de alarmes abre.";
        QTest::newRow("FIFO as som_alta")
            << QByteArray("[alarmes]\nsom_alta=fila\n") << true << ""
            << "" << true
            << intro + "o arquivo <dir>/fila de som_alta não é um arquivo comum; toca o som do "
                       "programa.";
        QTest::newRow("missing som_media")
            << QByteArray("[alarmes]\nsom_media=nada.wav\nsom_alta=alta.wav\n") << true
            << "<dir>/alta.wav"
            << "" << true
            << intro + "o arquivo <dir>/nada.wav de som_media não existe; toca o som do programa.";
        QTest::newRow("folder as som_alta")
            << QByteArray("[alarmes]\nsom_alta=sons\n") << true << ""
            << "" << true
            << intro + "o arquivo <dir>/sons de som_alta é uma pasta; toca o som do programa.";
        QTest::newRow("not a WAV")
            << QByteArray("[alarmes]\nsom_alta=texto.wav\n") << true << ""
            << "" << true
            << intro + "o arquivo <dir>/texto.wav de som_alta não é um som WAV; toca o som do "
                       "programa.";
        QTest::newRow("cut short")
            << QByteArray("[alarmes]\nsom_alta=cortado.wav\n") << true << ""
            << "" << true
            << intro +
                   "o arquivo <dir>/cortado.wav de som_alta é um som WAV cortado; toca o som do "
                   "programa.";
        QTest::newRow("not PCM")
            << QByteArray("[alarmes]\nsom_media=adpcm.wav\n") << true << ""
            << "" << true
            << intro +
                   "o arquivo <dir>/adpcm.wav de som_media não é um som WAV em PCM de 8, 16, 24 "
                   "ou 32 bits; toca o som do programa.";
        QTest::newRow("too large")
            << QByteArray("[alarmes]\nsom_media=grande.wav\n") << true << ""
            << "" << true
            << intro + "o arquivo <dir>/grande.wav de som_media é grande demais (mais de 10 MiB); "
                       "toca o som do programa.";
        QTest::newRow("every fault at once")
            << QByteArray("[alarmes]\nsom=sim\nsom_alta=nada.wav\nvolume=3\nabrir_janela=não\n")
            << true << ""
            << "" << false
            << intro +
                   "som deve ser ligado ou desligado, não \"sim\"; o alarme sonoro fica "
                   "ligado. O arquivo <dir>/nada.wav de som_alta não existe; toca o som do "
                   "programa. A chave \"volume\" não existe; " +
                   keys;
        QTest::newRow("INI is a folder")
            << QByteArray("<pasta>") << true << ""
            << "" << true
            << "Alarmes: o arquivo <ini> não pôde ser lido: é uma pasta; valem os padrões (som "
               "ligado, a janela abre).";
    }
    void settings() {
        QFETCH(QByteArray, ini);
        QTemporaryDir station;
        const QString dir = station.path();
        const QString iniPath = station.filePath(QStringLiteral("anemometros.ini"));
        QVERIFY(QDir(dir).mkdir(QStringLiteral("sons")));
        writeFile(station.filePath(QStringLiteral("alta.wav")), wav(8000));
        writeFile(station.filePath(QStringLiteral("ALTA.wav")), wav(8000));
        writeFile(station.filePath(QStringLiteral("sons/media.wav")), wav(11025));
        writeFile(station.filePath(QStringLiteral("texto.wav")), "sirene\n");
        writeFile(station.filePath(QStringLiteral("cortado.wav")), wav(8000).chopped(2));
        writeFile(station.filePath(QStringLiteral("adpcm.wav")), adpcm(wav(8000)));
        QFile large(station.filePath(QStringLiteral("grande.wav")));
        QVERIFY(large.open(QIODevice::WriteOnly));
        large.write(wav(8000).left(44));
        QVERIFY(large.resize(alarms::kMostSoundBytes + 1));
        large.close();
        // A reader that opened the FIFO would be let go after a while with WAV bytes.
        FifoGuard fifo(station.filePath(QStringLiteral("fila")), wav(8000).left(64),
                       std::chrono::milliseconds(500));
        if (ini == "<pasta>")
            QVERIFY(QDir(dir).mkdir(QStringLiteral("anemometros.ini")));
        else if (!ini.isEmpty())
            writeFile(iniPath, QString::fromUtf8(ini).replace("<dir>", dir).toUtf8());

        const alarms::AlarmSettingsResult read = alarms::readAlarmSettings(iniPath);
        auto placed = [&](QString text) {
            return text.replace(QStringLiteral("<ini>"), iniPath).replace("<dir>", dir);
        };
        QFETCH(QString, high);
        QFETCH(QString, medium);
        QFETCH(QString, error);
        QCOMPARE(read.error, placed(error));
        QTEST(read.settings.horn.on, "on");
        QCOMPARE(read.settings.horn.highSound, placed(high));
        QCOMPARE(read.settings.horn.mediumSound, placed(medium));
        QTEST(read.settings.openWindow, "openWindow");
        QVERIFY(fifo.made());
        QVERIFY2(!fifo.readerWaited(), "the FIFO was opened");
    }

    // Both sounds are one second long and loop without a click: every step between two
    // samples, the one from the last sample back to the first included, is no larger than a
    // sine of that tone and loudness can make.
    void builtinSounds_data() {
        QTest::addColumn<QString>("resource");
        QTest::addColumn<double>("toneHz");
        QTest::addColumn<int>("silentFrom");
        QTest::newRow("continuous") << ":/sounds/alarme-continuo.wav" << 1000.0 << 44100;
        QTest::newRow("intermittent") << ":/sounds/alarme-intermitente.wav" << 880.0 << 22050;
    }
    void builtinSounds() {
        QFETCH(QString, resource);
        QFETCH(double, toneHz);
        QFETCH(int, silentFrom);
        QByteArray header;
        const QList<int> samples = builtinSamples(resource, &header);
        // RIFF size 88236, PCM, 1 channel, 44 100 Hz, 88 200 bytes a second, 16 bits, 88 200 bytes.
        QCOMPARE(header.toHex(' '),
                 QByteArray("52 49 46 46 ac 58 01 00 57 41 56 45 66 6d 74 20 10 00 00 00 01 00 "
                            "01 00 44 ac 00 00 88 58 01 00 02 00 10 00 64 61 74 61 88 58 01 00"));
        QCOMPARE(samples.size(), 44100);
        const double loudest = 0.5 * 32767;
        const double largestStep = 2 * M_PI * toneHz / 44100 * loudest + 2;
        int peak = 0;
        for (qsizetype i = 0; i < samples.size(); ++i) {
            const int step = samples[(i + 1) % samples.size()] - samples[i];
            QVERIFY2(std::abs(step) <= largestStep, qPrintable(QString::number(i)));
            peak = std::max(peak, std::abs(samples[i]));
            if (i >= silentFrom)
                QCOMPARE(samples[i], 0);
        }
        QVERIFY(std::abs(peak - loudest) < 2);
    }

    // Which stream plays on the server while the alarm is ATIVO, and what stops it.
    void hornFollowsTheBook_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("stream");
        QTest::addColumn<Horn>("horn");
        const QString builtin = QStringLiteral("s16le 1ch 44100Hz");
        QTest::newRow("PRESET 2, SILENCIAR")
            << Kind::Preset2 << "silence" << builtin << Horn::Continuous;
        QTest::newRow("PRESET 2, RECONHECER TODOS")
            << Kind::Preset2 << "acknowledgeAll" << builtin << Horn::Continuous;
        QTest::newRow("SEM RESPOSTA, RECONHECER")
            << Kind::NoAnswer << "acknowledge" << builtin << Horn::Continuous;
        QTest::newRow("PRESET 1, goes") << Kind::Preset1 << "goes" << builtin << Horn::Intermittent;
        QTest::newRow("BATERIA BAIXA, RECONHECER TODOS")
            << Kind::BatteryLow << "acknowledgeAll" << builtin << Horn::Intermittent;
    }
    void hornFollowsTheBook() {
        QFETCH(Kind, kind);
        QFETCH(QString, stop);
        AlarmBook book;
        HornPlayer player(book, HornSettings{});
        QSignalSpy unavailable(&player, &HornPlayer::unavailable);
        QTest::qWait(300);
        QCOMPARE(server_.streams(), QStringList());

        book.setActive(2, kind, true, kNowMs);
        QFETCH(QString, stream);
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams(), QStringList{stream}, 5000);
        QTEST(player.sounding(), "horn");
        if (stop == u"silence")
            QVERIFY(book.silence(kUser));
        else if (stop == u"acknowledgeAll")
            QCOMPARE(book.acknowledgeAll(kUser, kNowMs + 1000).size(), 1);
        else if (stop == u"acknowledge")
            QCOMPARE(book.acknowledge({{2, kind}}, kUser, kNowMs + 1000).size(), 1);
        else
            book.setActive(2, kind, false, kNowMs + 1000);
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams(), QStringList(), 5000);
        QCOMPARE(player.sounding(), Horn::None);
        QCOMPARE(unavailable.count(), 0);
    }

    // The user's sounds (8000 Hz for alta, 11 025 Hz for média): the horn takes the highest
    // priority among the ATIVO alarms, SILENCIAR holds until the next new alarm, and an
    // undecodable file gives way to the program's own sound, said once.
    void userSounds() {
        QTemporaryDir station;
        HornSettings settings;
        settings.highSound = station.filePath(QStringLiteral("alta.wav"));
        settings.mediumSound = station.filePath(QStringLiteral("media.wav"));
        writeFile(settings.highSound, wav(8000));
        writeFile(settings.mediumSound, wav(11025));
        AlarmBook book;
        HornPlayer player(book, settings);
        QSignalSpy unavailable(&player, &HornPlayer::unavailable);
        const QStringList medium{QStringLiteral("s16le 1ch 11025Hz")};
        const QStringList high{QStringLiteral("s16le 1ch 8000Hz")};

        book.setActive(1, Kind::Preset1, true, kNowMs);
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams(), medium, 5000);
        book.setActive(1, Kind::Preset2, true, kNowMs + 1000);
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams(), high, 5000);
        QCOMPARE(player.sounding(), Horn::Continuous);
        book.acknowledge({{1, Kind::Preset2}}, kUser, kNowMs + 2000);
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams(), medium, 5000);
        QVERIFY(book.silence(kUser));
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams(), QStringList(), 5000);
        book.setActive(1, Kind::Preset1, false, kNowMs + 3000);
        book.setActive(1, Kind::Preset1, true, kNowMs + 4000);
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams(), medium, 5000);
        QCOMPARE(unavailable.count(), 0);

        // A file the player cannot decode.
        settings.highSound = station.filePath(QStringLiteral("adpcm.wav"));
        writeFile(settings.highSound, adpcm(wav(8000)));
        HornPlayer broken(book, settings);
        QSignalSpy brokenSaid(&broken, &HornPlayer::unavailable);
        book.acknowledgeAll(kUser, kNowMs + 5000);
        book.setActive(3, Kind::NoAnswer, true, kNowMs + 6000);
        // The first player's own file, and the broken one's stand-in.
        const auto sorted = [this] {
            QStringList streams = server_.streams();
            streams.sort();
            return streams;
        };
        QTRY_COMPARE_WITH_TIMEOUT(sorted(), (QStringList{"s16le 1ch 44100Hz", "s16le 1ch 8000Hz"}),
                                  5000);
        QTRY_COMPARE_WITH_TIMEOUT(brokenSaid.count(), 1, 5000);
        QCOMPARE(brokenSaid.at(0).at(0).toString(),
                 "O som " + settings.highSound + " não pôde ser tocado; toca o som do programa.");
    }

    void switchedOff() {
        HornSettings settings;
        settings.on = false;
        AlarmBook book;
        HornPlayer player(book, settings);
        QSignalSpy unavailable(&player, &HornPlayer::unavailable);
        book.setActive(1, Kind::Preset2, true, kNowMs);
        book.setActive(0, Kind::PortClosed, true, kNowMs);
        QTest::qWait(1000);
        QCOMPARE(server_.streams(), QStringList());
        QCOMPARE(player.sounding(), Horn::None);
        QCOMPARE(unavailable.count(), 0);
    }

    void withoutSoundServer() {
        QTemporaryDir nowhere;
        QProcessEnvironment env = server_.environment();
        env.insert(QStringLiteral("PULSE_SERVER"),
                   QStringLiteral("unix:") + nowhere.filePath(QStringLiteral("nada.sock")));
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kWithoutServerMode)});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QString out = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
        const QStringList words = out.split(u' ');
        QVERIFY2(words.size() > 4 && words[0] == u"unavailable" && words[2] == u"ticks",
                 qPrintable(out));
        QCOMPARE(words[1], QStringLiteral("1"));
        // 50 turns of 20 ms in the second; a loop that waited on the server would miss most.
        QVERIFY2(words[3].toInt() >= 35, qPrintable(out));
        QCOMPARE(out.section(u' ', 4),
                 QStringLiteral("Sem saída de som: o alarme sonoro não toca."));
    }

private:
    SoundServer server_;
};

int main(int argc, char** argv) {
    if (argc == 2 && qstrcmp(argv[1], kWithoutServerMode) == 0)
        return runWithoutServer(argc, argv);
    QCoreApplication app(argc, argv);
    TestHorn test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_horn.moc"
