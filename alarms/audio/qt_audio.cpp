// The horn's sound through Qt Multimedia, in a module of its own that the program loads the
// first time the horn sounds (see audio_output.h).
#include "alarms/audio_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QDebug>
#include <QMediaDevices>
#include <QObject>

namespace {

QAudioFormat qtFormat(const alarms::PcmFormat& pcm) {
    QAudioFormat format;
    format.setSampleRate(pcm.sampleRate);
    format.setChannelCount(pcm.channels);
    format.setSampleFormat(pcm.bytesPerSample == 1   ? QAudioFormat::UInt8
                           : pcm.bytesPerSample == 2 ? QAudioFormat::Int16
                                                     : QAudioFormat::Int32);
    return format;
}

class QtStream final : public alarms::AudioStream {
public:
    QtStream(QAudioSink* sink, QIODevice* device) : sink_(sink), device_(device) {}
    ~QtStream() override {
        // Deleting a sink runs the event loop (Qt 6.4): not from inside a caller's handler.
        sink_->stop();
        sink_->deleteLater();
    }

    qsizetype bytesFree() const override {
        return sink_->state() == QAudio::StoppedState ? -1 : sink_->bytesFree();
    }
    qsizetype write(const char* data, qsizetype size) override {
        return device_->write(data, size);
    }
    QString describe() const override {
        QString text;
        QDebug(&text) << "state" << sink_->state() << "error" << sink_->error() << "buffer"
                      << sink_->bufferSize();
        return text;
    }

private:
    QAudioSink* sink_;
    QIODevice* device_;
};

class QtOutput final : public alarms::AudioOutput {
public:
    std::unique_ptr<alarms::AudioStream> open(const alarms::PcmFormat& pcm, qsizetype bufferBytes,
                                              QString* why) override {
        const QAudioDevice output = QMediaDevices::defaultAudioOutput();
        if (output.isNull()) {
            *why = QStringLiteral("no output");
            return nullptr;
        }
        auto sink = std::make_unique<QAudioSink>(output, qtFormat(pcm));
        sink->setBufferSize(bufferBytes);
        QIODevice* device = sink->start();
        if (!device) {
            QDebug(why) << "stream not opened:" << sink->error();
            sink.release()->deleteLater();
            return nullptr;
        }
        return std::make_unique<QtStream>(sink.release(), device);
    }

    void watch(QObject* context, std::function<void()> changed) override {
        auto* devices = new QMediaDevices(context);
        QObject::connect(devices, &QMediaDevices::audioOutputsChanged, context, std::move(changed));
    }
};

} // namespace

extern "C" Q_DECL_EXPORT alarms::AudioOutput* anemo_audio_output() {
    static QtOutput output;
    return &output;
}
