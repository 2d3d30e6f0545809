#pragma once

#include "alarms/alarm.h"
#include "alarms/alarm_settings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace alarms {

class AlarmBook;
class AudioStream;
struct HornSound;

// Sounds the horn the alarm book asks for, on the desktop's default audio output: the
// continuous sound (or som_alta) for alta alarms, the intermittent one (or som_media) for média
// and baixa, each in a loop until the book's horn falls silent. Without an audio output the
// program goes on in silence and says so once through unavailable(); it never waits for the
// sound server. The audio libraries are loaded when the horn first sounds.
//
// Each start opens a stream of its own that the player fills itself, and each stop closes it:
// nothing runs while the horn is silent. (QSoundEffect on Qt 6.4 asks PulseAudio for a smaller
// buffer at every play, and after a few plays its stream stays open and silent.) A stream that
// the server stops taking sound from is opened again.
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
    void stopSound();
    void feed();
    void sayNoOutput();

    std::function<Horn()> wanted_;
    HornSettings settings_;
    std::unique_ptr<HornSound> continuous_;
    std::unique_ptr<HornSound> intermittent_;
    std::unique_ptr<AudioStream> stream_;
    bool watching_ = false;    // the outputs, once the horn has sounded
    qsizetype offset_ = 0;     // where the next bytes of the loop begin
    QElapsedTimer sinceTaken_; // since the server last took sound from the stream
    QTimer feedTimer_;         // runs only while a stream is open
    QTimer retryTimer_;        // after a stream that could not be opened
    Horn sounding_ = Horn::None;
    bool noOutputSaid_ = false;
};

} // namespace alarms
