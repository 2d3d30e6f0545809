#include "alarms/wav_sound.h"

namespace alarms {

namespace {

quint32 littleEndian(const QByteArray& bytes, qsizetype at, int size) {
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | quint8(bytes[at + i]);
    return value;
}

WavRead failed(const char* problem) {
    return {{}, QString::fromUtf8(problem)};
}

} // namespace

WavRead readWav(const QByteArray& bytes) {
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return failed("não é um som WAV");
    WavSound sound;
    bool pcm = false;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const qint64 size = littleEndian(bytes, at + 4, 4);
        if (id == "fmt ") {
            if (size < 16 || at + 8 + size > bytes.size())
                break;
            const quint32 format = littleEndian(bytes, at + 8, 2);
            sound.channels = int(littleEndian(bytes, at + 10, 2));
            sound.sampleRate = int(littleEndian(bytes, at + 12, 4));
            sound.bitsPerSample = int(littleEndian(bytes, at + 22, 2));
            const int bits = sound.bitsPerSample;
            pcm = format == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
            if (!pcm)
                return failed("não é um som WAV em PCM de 8, 16, 24 ou 32 bits");
        } else if (id == "data") {
            if (!pcm)
                break;
            if (at + 8 + size > bytes.size())
                return failed("é um som WAV cortado");
            // A frame rate or a channel count of zero, or not one whole frame: nothing to play.
            if (sound.channels < 1 || sound.sampleRate < 1 || size < sound.bytesPerFrame())
                break;
            sound.samples = bytes.mid(at + 8, size - size % sound.bytesPerFrame());
            return {sound, {}};
        }
        at += 8 + size + (size & 1);
    }
    return failed("não é um som WAV");
}

} // namespace alarms
