#include "alarms/horn.h"

#include "alarms/alarm_book.h"
#include "alarms/wav_sound.h"
#include "resources/sounds.h"
#include "toolkit/regular_file.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QLoggingCategory>
#include <QMediaDevices>

#include <algorithm>
#include <chrono>

namespace {

Q_LOGGING_CATEGORY(lcHorn, "anemometros.horn", QtWarningMsg)

using namespace std::chrono_literals;

// The buffer asked of the sound server (it grants a part of it) and how often it is filled:
// the event loop may stall for a good part of the buffer before the horn stutters.
constexpr auto kBufferMs = 400ms;
constexpr auto kFeedMs = 100ms;
// A stream that takes no sound for this long plays nothing: it is opened again.
constexpr auto kStallMs = 2s;
// After a stream that could not be opened, the next try.
constexpr auto kRetryMs = 3s;

const QString kNoOutput = QStringLiteral("Sem saída de som: o alarme sonoro não toca.");

} // namespace

namespace alarms {

// One sound of the horn, decoded, to be played in a loop.
struct HornSound {
    QAudioFormat format;
    QByteArray samples; // whole frames of `format`
};

namespace {

// The format Qt plays for a WAV file's samples, and the samples in it: 24-bit samples are
// widened to 32 bits, which Qt has.
HornSound hornSound(const WavSound& wav) {
    HornSound sound;
    sound.format.setSampleRate(wav.sampleRate);
    sound.format.setChannelCount(wav.channels);
    switch (wav.bitsPerSample) {
    case 8:
        sound.format.setSampleFormat(QAudioFormat::UInt8);
        break;
    case 16:
        sound.format.setSampleFormat(QAudioFormat::Int16);
        break;
    default:
        sound.format.setSampleFormat(QAudioFormat::Int32);
        break;
    }
    if (wav.bitsPerSample != 24) {
        sound.samples = wav.samples;
        return sound;
    }
    sound.samples.reserve(wav.samples.size() / 3 * 4);
    for (qsizetype at = 0; at + 2 < wav.samples.size(); at += 3)
        sound.samples.append('\0').append(wav.samples.mid(at, 3));
    return sound;
}

// The user's sound file decoded, or nothing when it cannot be played.
std::unique_ptr<HornSound> userSound(const QString& path) {
    const toolkit::FileRead file = toolkit::readRegularFile(path, kMostSoundBytes);
    if (!file.ok())
        return nullptr;
    const WavRead wav = readWav(file.bytes);
    if (!wav.ok())
        return nullptr;
    return std::make_unique<HornSound>(hornSound(wav.sound));
}

std::unique_ptr<HornSound> builtinSound(const char* resource) {
    return std::make_unique<HornSound>(hornSound(readWav(sounds::bytes(resource)).sound));
}

} // namespace

HornPlayer::HornPlayer(AlarmBook& book, HornSettings settings, QObject* parent)
    : HornPlayer([&book] { return book.horn(); }, std::move(settings), parent) {
    connect(&book, &AlarmBook::changed, this, &HornPlayer::follow);
}

HornPlayer::HornPlayer(std::function<Horn()> wanted, HornSettings settings, QObject* parent)
    : QObject(parent), wanted_(std::move(wanted)), settings_(std::move(settings)) {
    if (!settings_.on)
        return;
    // Both sounds are read at once, so that the horn starts without reading a file.
    QStringList unplayable;
    const struct {
        std::unique_ptr<HornSound>& sound;
        const QString& userFile;
        const char* builtin;
    } loops[]{{continuous_, settings_.highSound, sounds::kContinuous},
              {intermittent_, settings_.mediumSound, sounds::kIntermittent}};
    for (const auto& loop : loops) {
        if (!loop.userFile.isEmpty()) {
            loop.sound = userSound(loop.userFile);
            if (!loop.sound)
                unplayable << loop.userFile;
        }
        if (!loop.sound)
            loop.sound = builtinSound(loop.builtin);
    }
    devices_ = std::make_unique<QMediaDevices>();
    // A sound server that comes or goes, or another default output.
    connect(devices_.get(), &QMediaDevices::audioOutputsChanged, this, &HornPlayer::restart);
    feedTimer_.setInterval(kFeedMs);
    connect(&feedTimer_, &QTimer::timeout, this, &HornPlayer::feed);
    retryTimer_.setSingleShot(true);
    retryTimer_.setInterval(kRetryMs);
    connect(&retryTimer_, &QTimer::timeout, this, &HornPlayer::follow);
    // From the event loop, so that whoever made the player has connected unavailable() first.
    QMetaObject::invokeMethod(
        this,
        [this, unplayable] {
            for (const QString& file : unplayable)
                emit unavailable(
                    QStringLiteral("O som %1 não pôde ser tocado; toca o som do programa.")
                        .arg(file));
            follow();
        },
        Qt::QueuedConnection);
}

HornPlayer::~HornPlayer() {
    stopSound();
}

void HornPlayer::follow() {
    const Horn wanted = settings_.on ? wanted_() : Horn::None;
    if (wanted == sounding_)
        return;
    stopSound();
    if (wanted != Horn::None && !retryTimer_.isActive())
        startSound(wanted);
}

void HornPlayer::restart() {
    stopSound();
    retryTimer_.stop();
    follow();
}

void HornPlayer::startSound(Horn horn) {
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull()) {
        sayNoOutput();
        retryTimer_.start();
        return;
    }
    const HornSound& sound = horn == Horn::Continuous ? *continuous_ : *intermittent_;
    auto sink = std::make_unique<QAudioSink>(output, sound.format);
    sink->setBufferSize(
        sound.format.bytesForDuration(std::chrono::microseconds(kBufferMs).count()));
    QIODevice* stream = sink->start();
    if (!stream) {
        qCInfo(lcHorn) << "stream not opened:" << sink->error();
        sink.release()->deleteLater();
        sayNoOutput();
        retryTimer_.start();
        return;
    }
    qCDebug(lcHorn) << "stream opened:" << sound.format << "buffer" << sink->bufferSize();
    sink_ = sink.release();
    stream_ = stream;
    offset_ = 0;
    sinceTaken_.start();
    sounding_ = horn;
    feed();
    feedTimer_.start();
}

void HornPlayer::stopSound() {
    feedTimer_.stop();
    sounding_ = Horn::None;
    if (!sink_)
        return;
    // Deleting a sink runs the event loop (Qt 6.4): not from inside a caller's handler.
    sink_->stop();
    sink_->deleteLater();
    sink_ = nullptr;
    stream_ = nullptr;
}

// Tops the stream's buffer up with the next bytes of the loop.
void HornPlayer::feed() {
    const Horn horn = sounding_;
    qsizetype free = sink_->state() == QAudio::StoppedState ? 0 : sink_->bytesFree();
    if (free <= 0) {
        // The stream was closed under us (the server went away) or the server takes nothing.
        if (sink_->state() == QAudio::StoppedState ||
            sinceTaken_.hasExpired(std::chrono::milliseconds(kStallMs).count())) {
            qCInfo(lcHorn) << "stream stalled, opened again; state" << sink_->state() << "error"
                           << sink_->error();
            stopSound();
            startSound(horn);
        }
        return;
    }
    sinceTaken_.start();
    const QByteArray& samples = (horn == Horn::Continuous ? *continuous_ : *intermittent_).samples;
    if (samples.isEmpty())
        return;
    const int frame = sink_->format().bytesPerFrame();
    free -= free % frame;
    while (free > 0) {
        const qsizetype chunk = std::min(free, samples.size() - offset_);
        const qint64 written = stream_->write(samples.constData() + offset_, chunk);
        if (written <= 0)
            break;
        offset_ = (offset_ + written) % samples.size();
        free -= written;
    }
}

void HornPlayer::sayNoOutput() {
    if (noOutputSaid_)
        return;
    noOutputSaid_ = true;
    emit unavailable(kNoOutput);
}

} // namespace alarms
