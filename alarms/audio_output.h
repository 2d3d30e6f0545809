#pragma once

#include <QString>

#include <functional>
#include <memory>

class QObject;

namespace alarms {

// Samples as a stream plays them: frames of `channels` samples of `bytesPerSample` bytes each,
// little-endian (1: unsigned, 2 or 4: signed).
struct PcmFormat {
    int sampleRate = 0;
    int channels = 0;
    int bytesPerSample = 2;

    int bytesPerFrame() const { return channels * bytesPerSample; }
    qsizetype bytesFor(int milliseconds) const {
        return qsizetype(sampleRate) * milliseconds / 1000 * bytesPerFrame();
    }
};

// One open stream to the desktop's default audio output, closed when deleted.
class AudioStream {
public:
    virtual ~AudioStream() = default;
    // The bytes the stream takes now; -1 once the sound server has closed it.
    virtual qsizetype bytesFree() const = 0;
    virtual qsizetype write(const char* data, qsizetype size) = 0;
    // The stream's state and error, for the log.
    virtual QString describe() const = 0;
};

// The desktop's audio outputs.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // A stream to the default output with about `bufferBytes` of buffer; nullptr when there is
    // no output or it cannot be opened (why, for the log).
    virtual std::unique_ptr<AudioStream> open(const PcmFormat& format, qsizetype bufferBytes,
                                              QString* why) = 0;
    // Calls `changed` from `context`'s event loop when an output comes or goes or the default
    // one changes, for as long as `context` lives.
    virtual void watch(QObject* context, std::function<void()> changed) = 0;
};

// Qt Multimedia and the sound server's libraries are loaded the first time the horn sounds,
// not at start: a station that never sounds it does not carry them. nullptr when they cannot
// be loaded, with why.
AudioOutput* audioOutput(QString* why = nullptr);

} // namespace alarms
