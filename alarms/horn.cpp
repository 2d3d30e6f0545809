#include "alarms/horn.h"

#include "alarms/alarm_book.h"
#include "alarms/audio_output.h"
#include "alarms/wav_sound.h"
#include "resources/sounds.h"
#include "toolkit/regular_file.h"

#include <QLoggingCategory>

#include <algorithm>
#include <chrono>

namespace {

Q_LOGGING_CATEGORY(lcHorn, "anemometros.horn", QtWarningMsg)

using namespace std::chrono_literals;

// The buffer asked of the sound server (it grants a part of it) and how often it is filled:
// the event loop may stall for a good part of the buffer before the horn stutters.
constexpr int kBufferMs = 400;
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
    PcmFormat format;
    QByteArray samples; // whole frames of `format`
};

namespace {

// The format Qt plays for a WAV file's samples, and the samples in it: 24-bit samples are
// widened to 32 bits, which Qt has.
HornSound hornSound(const WavSound& wav) {
    HornSound sound;
    sound.format.sampleRate = wav.sampleRate;
    sound.format.channels = wav.channels;
    sound.format.bytesPerSample = wav.bitsPerSample == 8 ? 1 : wav.bitsPerSample == 16 ? 2 : 4;
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
    QString why;
    AudioOutput* output = audioOutput(&why);
    if (!output) {
        qCInfo(lcHorn) << "audio not loaded:" << why;
        sayNoOutput();
        retryTimer_.start();
        return;
    }
    if (!watching_) {
        // A sound server that comes or goes, or another default output.
        output->watch(this, [this] { restart(); });
        watching_ = true;
    }
    const HornSound& sound = horn == Horn::Continuous ? *continuous_ : *intermittent_;
    stream_ = output->open(sound.format, sound.format.bytesFor(kBufferMs), &why);
    if (!stream_) {
        qCInfo(lcHorn) << why;
        sayNoOutput();
        retryTimer_.start();
        return;
    }
    qCDebug(lcHorn) << "stream opened:" << stream_->describe();
    offset_ = 0;
    sinceTaken_.start();
    sounding_ = horn;
    feed();
    feedTimer_.start();
}

void HornPlayer::stopSound() {
    feedTimer_.stop();
    sounding_ = Horn::None;
    stream_.reset();
}

// Tops the stream's buffer up with the next bytes of the loop.
void HornPlayer::feed() {
    const Horn horn = sounding_;
    qsizetype free = stream_->bytesFree();
    if (free <= 0) {
        // The stream was closed under us (the server went away) or the server takes nothing.
        if (free < 0 || sinceTaken_.hasExpired(std::chrono::milliseconds(kStallMs).count())) {
            qCInfo(lcHorn) << "stream stalled, opened again;" << stream_->describe();
            stopSound();
            startSound(horn);
        }
        return;
    }
    sinceTaken_.start();
    const HornSound& sound = horn == Horn::Continuous ? *continuous_ : *intermittent_;
    const QByteArray& samples = sound.samples;
    if (samples.isEmpty())
        return;
    free -= free % sound.format.bytesPerFrame();
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
