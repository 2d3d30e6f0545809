#pragma once

#include "alarms/alarm.h"
#include "alarms/alarm_settings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QMediaDevices;
class QSoundEffect;
QT_END_NAMESPACE

namespace alarms {

class AlarmBook;

// Sounds the horn the alarm book asks for, on the desktop's default audio output: the
// continuous sound (or som_alta) for alta alarms, the intermittent one (or som_media) for média
// and baixa, each in a loop until the book's horn falls silent. Without an audio output the
// program goes on in silence and says so once through unavailable(); it never waits for the
// sound server.
class HornPlayer : public QObject {
    Q_OBJECT

public:
    HornPlayer(AlarmBook& book, HornSettings settings, QObject* parent = nullptr);
    // Sounds what `wanted` asks for, checked again at every follow().
    HornPlayer(std::function<Horn()> wanted, HornSettings settings, QObject* parent = nullptr);
    ~HornPlayer() override;

    // Starts, changes or stops the sound as the horn's source now asks.
    void follow();

    // What is sounding now: None while the horn is off, silenced or without an output.
    Horn sounding() const { return sounding_; }

signals:
    // Why the horn cannot sound as set, in Portuguese, for Diagnóstico: no audio output (once),
    // or a sound file of the user's that cannot be played (once per file; the program's own
    // sound plays instead).
    void unavailable(const QString& text);

private:
    void restart();
    void startSound(Horn horn);
    void stopSounds();
    void fallBack(QSoundEffect& effect, const char* builtin);

    std::function<Horn()> wanted_;
    HornSettings settings_;
    std::unique_ptr<QMediaDevices> devices_;
    std::unique_ptr<QSoundEffect> continuous_;
    std::unique_ptr<QSoundEffect> intermittent_;
    Horn sounding_ = Horn::None;
    bool noOutputSaid_ = false;
};

} // namespace alarms
