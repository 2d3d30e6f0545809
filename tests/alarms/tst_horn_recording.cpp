// The horn as heard: a real PulseAudio server with a null sink, its monitor recorded with parec
// while the alarm list goes through alarms that come, go, change priority, are acknowledged and
// silenced, again and again. Each stretch of the recording must be what the list asks for:
// continuous while an alta alarm is ATIVO, intermittent while only média or baixa ones are,
// quiet otherwise. The sounds start and stop many times over: a stream that asks the server for
// a smaller buffer at every start (Qt 6.4's QSoundEffect) stays open but silent from the fifth.

#include "alarms/alarm_book.h"
#include "alarms/alarm_settings.h"
#include "alarms/horn.h"

#include "sound_server.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using alarms::AlarmBook;
using alarms::Horn;
using alarms::HornPlayer;
using alarms::HornSettings;
using alarms::Kind;

namespace {

constexpr qint64 kNowMs = 1'765'209'600'000; // 8 December 2026, 16:00 UTC
const QString kUser = QStringLiteral("operador");

// What happens to the list at one moment, and what must be heard until the next step: the
// first kSettleMs of it are left to the sound server and the recorder.
struct Step {
    enum Change { Comes, Goes, Acknowledged, Silenced };
    Change change = Comes;
    int station = 1;
    Kind kind = Kind::Preset2;
    Horn heard = Horn::None;
    int holdMs = 0; // 0: the next step follows at once, nothing is judged
};
constexpr int kSettleMs = 500;

// 25 ms of the recording: loud, quiet, or in between (the ramp of a tone).
constexpr int kBlockSamples = SoundRecorder::kRate / 40;
constexpr double kLoudRms = 3000;
constexpr double kQuietRms = 300;

// A mono PCM WAV file of one second at 8000 samples a second, `bits` wide: a 500 Hz square wave
// at half of full scale.
QByteArray halfScaleWav(int bits) {
    const int bytes = bits / 8;
    QByteArray data;
    for (int i = 0; i < 8000; ++i) {
        const bool high = (i / 8) % 2;
        // 8-bit samples are unsigned around 128; wider ones signed, little-endian.
        const qint64 half = bits == 8 ? 64 : qint64(1) << (bits - 2);
        const qint64 value = (bits == 8 ? 128 : 0) + (high ? half : -half);
        for (int b = 0; b < bytes; ++b)
            data.append(char(value >> (8 * b)));
    }
    const auto le = [](quint32 v, int n) {
        QByteArray out;
        for (int b = 0; b < n; ++b)
            out.append(char(v >> (8 * b)));
        return out;
    };
    return "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
           le(8000, 4) + le(8000 * bytes, 4) + le(bytes, 2) + le(bits, 2) + "data" +
           le(data.size(), 4) + data;
}

double rmsOf(const QList<qint16>& samples) {
    double sum = 0;
    for (const qint16 sample : samples)
        sum += double(sample) * sample;
    return samples.isEmpty() ? 0 : std::sqrt(sum / samples.size());
}

QList<Step> repeated(const QList<Step>& steps, int times) {
    QList<Step> out;
    for (int i = 0; i < times; ++i)
        out += steps;
    return out;
}

QString hornText(Horn horn) {
    switch (horn) {
    case Horn::Continuous:
        return QStringLiteral("continuous");
    case Horn::Intermittent:
        return QStringLiteral("intermittent");
    case Horn::None:
        break;
    }
    return QStringLiteral("quiet");
}

// What a stretch of the recording sounds like: every block loud, every block quiet, or both
// loud and quiet blocks in good share (the intermittent sound is half a second of each).
QString heardIn(const QList<qint16>& samples) {
    int blocks = 0;
    int loud = 0;
    int quiet = 0;
    for (qsizetype at = 0; at + kBlockSamples <= samples.size(); at += kBlockSamples) {
        double sum = 0;
        for (qsizetype i = at; i < at + kBlockSamples; ++i)
            sum += double(samples[i]) * samples[i];
        const double rms = std::sqrt(sum / kBlockSamples);
        ++blocks;
        loud += rms > kLoudRms;
        quiet += rms < kQuietRms;
    }
    const QString counts =
        QStringLiteral(" (%1 of %2 blocks loud, %3 quiet)").arg(loud).arg(blocks).arg(quiet);
    if (blocks > 0 && loud == blocks)
        return hornText(Horn::Continuous) + counts;
    if (blocks > 0 && quiet == blocks)
        return hornText(Horn::None) + counts;
    if (loud * 5 >= blocks && quiet * 5 >= blocks)
        return hornText(Horn::Intermittent) + counts;
    return QStringLiteral("something else") + counts;
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestHornRecording : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(server_.start(), "pulseaudio with a null sink could not be started");
        // Before the first use of Qt Multimedia, which connects once per process.
        const QProcessEnvironment env = server_.environment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_SERVER"})
            qputenv(name, env.value(QString::fromLatin1(name)).toUtf8());
        // Once: the first samples of a recording take a while on an idle null sink.
        recorder_ = std::make_unique<SoundRecorder>(server_);
        QVERIFY2(recorder_->start(), "parec did not record");
    }

    // Rows: a pattern of changes played several times over, each sound starting six times or
    // more.
    void heardAsTheListAsks_data() {
        QTest::addColumn<QList<Step>>("steps");
        using S = Step;
        const Kind p1 = Kind::Preset1;
        const Kind p2 = Kind::Preset2;
        QTest::newRow("alta comes and goes")
            << repeated({{S::Comes, 1, p2, Horn::Continuous, 1200},
                         {S::Goes, 1, p2},
                         {S::Acknowledged, 1, p2, Horn::None, 700}},
                        8);
        // Station 2's média alarm stays ATIVO; station 1's alta one comes, is acknowledged
        // (station 1 only, as a remote acknowledgement does) and comes again; then SILENCIAR
        // until a new alarm.
        QTest::newRow("alta over média, acknowledged, silenced")
            << QList<Step>{{S::Comes, 2, p1, Horn::Intermittent, 1600},
                           {S::Comes, 1, p1, Horn::Intermittent, 1600}} +
                   repeated({{S::Comes, 1, p2, Horn::Continuous, 1200},
                             {S::Acknowledged, 1, p2, Horn::Intermittent, 1600},
                             {S::Goes, 1, p2}},
                            6) +
                   QList<Step>{{S::Silenced, 0, p2, Horn::None, 700},
                               {S::Comes, 1, Kind::NoAnswer, Horn::Continuous, 1200}};
    }
    void heardAsTheListAsks() {
        QFETCH(QList<Step>, steps);
        SoundRecorder& recorder = *recorder_;
        AlarmBook book;
        HornPlayer player(book, HornSettings{});
        QSignalSpy unavailable(&player, &HornPlayer::unavailable);
        QTest::qWait(300);

        struct Heard {
            int step;
            qsizetype from;
            qsizetype to;
        };
        QList<Heard> stretches;
        qint64 nowMs = kNowMs;
        for (int n = 0; n < steps.size(); ++n) {
            const Step& step = steps[n];
            nowMs += 1000;
            switch (step.change) {
            case Step::Comes:
            case Step::Goes:
                book.setActive(step.station, step.kind, step.change == Step::Comes, nowMs);
                break;
            case Step::Acknowledged:
                QCOMPARE(book.acknowledge({{step.station, step.kind}}, kUser, nowMs).size(), 1);
                break;
            case Step::Silenced:
                QVERIFY(book.silence(kUser));
                break;
            }
            if (step.holdMs == 0)
                continue;
            const qsizetype at = recorder.position();
            QTest::qWait(step.holdMs);
            stretches.append(
                {n, at + kSettleMs * SoundRecorder::kRate / 1000, recorder.position()});
        }

        QStringList wrong;
        for (const Heard& stretch : stretches) {
            const QString expected = hornText(steps[stretch.step].heard);
            const QString heard = heardIn(recorder.samples(stretch.from, stretch.to));
            if (!heard.startsWith(expected + u' '))
                wrong << QStringLiteral("step %1: heard %2, the list asks for %3")
                             .arg(stretch.step + 1)
                             .arg(heard, expected);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
        QCOMPARE(unavailable.count(), 0);
    }

    // The user's som_alta at every sample width a WAV file may hold: the recording has the
    // file's loudness, half of full scale (a sample put together wrongly is far louder or far
    // quieter).
    void userSoundOfEveryWidth_data() {
        QTest::addColumn<int>("bits");
        for (const int bits : {8, 16, 24, 32})
            QTest::addRow("%d bits", bits) << bits;
    }
    void userSoundOfEveryWidth() {
        QFETCH(int, bits);
        QTemporaryDir station;
        HornSettings settings;
        settings.highSound = station.filePath(QStringLiteral("alta.wav"));
        QFile file(settings.highSound);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(halfScaleWav(bits));
        file.close();
        SoundRecorder& recorder = *recorder_;
        AlarmBook book;
        HornPlayer player(book, settings);
        QSignalSpy unavailable(&player, &HornPlayer::unavailable);
        QTest::qWait(100);
        book.setActive(1, Kind::Preset2, true, kNowMs);
        const qsizetype from = recorder.position() + kSettleMs * SoundRecorder::kRate / 1000;
        QTest::qWait(kSettleMs + 700);
        const double rms = rmsOf(recorder.samples(from, recorder.position()));
        QVERIFY2(rms > 0.75 * 16384 && rms < 1.25 * 16384, qPrintable(QString::number(rms)));
        QCOMPARE(unavailable.count(), 0);
    }

    // The sound server restarts (a second away) while an alta alarm sounds: the horn says once
    // that there is no output, and sounds again on the server that came back. (Qt tries to
    // reach the server again once, 3 s after losing it.)
    void backAfterTheServerRestarts() {
        AlarmBook book;
        HornPlayer player(book, HornSettings{});
        QSignalSpy unavailable(&player, &HornPlayer::unavailable);
        book.setActive(1, Kind::Preset2, true, kNowMs);
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams().size(), 1, 5000);
        recorder_.reset();
        server_.stop();
        QTest::qWait(1000);
        QVERIFY(server_.start());
        QTRY_COMPARE_WITH_TIMEOUT(server_.streams().size(), 1, 10000);
        SoundRecorder recorder(server_);
        QVERIFY2(recorder.start(), "parec did not record");
        QTest::qWait(kSettleMs + 1000);
        const QString heard =
            heardIn(recorder.samples(kSettleMs * SoundRecorder::kRate / 1000, recorder.position()));
        QVERIFY2(heard.startsWith(hornText(Horn::Continuous) + u' '), qPrintable(heard));
        QCOMPARE(unavailable.count(), 1);
        QCOMPARE(unavailable.at(0).at(0).toString(),
                 QStringLiteral("Sem saída de som: o alarme sonoro não toca."));
    }

private:
    SoundServer server_;
    std::unique_ptr<SoundRecorder> recorder_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestHornRecording test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_horn_recording.moc"
