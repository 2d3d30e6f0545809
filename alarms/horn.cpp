#include "alarms/horn.h"

#include "alarms/alarm_book.h"
#include "resources/sounds.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace alarms {

namespace {

const QString kNoOutput = QStringLiteral("Sem saída de som: o alarme sonoro não toca.");

// The user's file when one is set, else the program's own sound.
QUrl soundUrl(const QString& userFile, const char* builtin) {
    return userFile.isEmpty() ? sounds::url(builtin) : QUrl::fromLocalFile(userFile);
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
    // Both sounds are loaded at once, so that the horn starts without reading a file.
    devices_ = std::make_unique<QMediaDevices>();
    continuous_ = std::make_unique<QSoundEffect>();
    intermittent_ = std::make_unique<QSoundEffect>();
    const struct {
        QSoundEffect* effect;
        const QString& userFile;
        const char* builtin;
    } loops[]{{continuous_.get(), settings_.highSound, sounds::kContinuous},
              {intermittent_.get(), settings_.mediumSound, sounds::kIntermittent}};
    for (const auto& sound : loops) {
        QSoundEffect* effect = sound.effect;
        effect->setLoopCount(QSoundEffect::Infinite);
        effect->setSource(soundUrl(sound.userFile, sound.builtin));
        const char* builtin = sound.builtin;
        connect(effect, &QSoundEffect::statusChanged, this, [this, effect, builtin] {
            if (effect->status() == QSoundEffect::Error)
                fallBack(*effect, builtin);
        });
    }
    // A sound server that comes or goes, or another default output.
    connect(devices_.get(), &QMediaDevices::audioOutputsChanged, this, &HornPlayer::restart);
    // From the event loop, so that whoever made the player has connected unavailable() first.
    QMetaObject::invokeMethod(this, &HornPlayer::follow, Qt::QueuedConnection);
}

HornPlayer::~HornPlayer() = default;

void HornPlayer::follow() {
    const Horn wanted = settings_.on ? wanted_() : Horn::None;
    if (wanted == sounding_)
        return;
    stopSounds();
    if (wanted != Horn::None)
        startSound(wanted);
}

void HornPlayer::restart() {
    stopSounds();
    follow();
}

void HornPlayer::startSound(Horn horn) {
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull()) {
        if (!noOutputSaid_) {
            noOutputSaid_ = true;
            emit unavailable(kNoOutput);
        }
        return;
    }
    QSoundEffect& effect = horn == Horn::Continuous ? *continuous_ : *intermittent_;
    effect.setAudioDevice(output);
    effect.play();
    sounding_ = horn;
}

void HornPlayer::stopSounds() {
    if (continuous_)
        continuous_->stop();
    if (intermittent_)
        intermittent_->stop();
    sounding_ = Horn::None;
}

// A file of the user's that the player cannot decode: the program's own sound takes its place,
// and goes on where the file should have been playing.
void HornPlayer::fallBack(QSoundEffect& effect, const char* builtin) {
    const QUrl own = sounds::url(builtin);
    if (effect.source() == own)
        return;
    emit unavailable(QStringLiteral("O som %1 não pôde ser tocado; toca o som do programa.")
                         .arg(effect.source().toLocalFile()));
    const Horn mine = &effect == continuous_.get() ? Horn::Continuous : Horn::Intermittent;
    effect.setSource(own);
    if (sounding_ == mine)
        effect.play();
}

} // namespace alarms
