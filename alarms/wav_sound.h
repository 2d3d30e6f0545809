#pragma once

#include <QByteArray>
#include <QString>

namespace alarms {

// The samples of a PCM WAV file, as the file holds them: little-endian integers of 8 (unsigned),
// 16, 24 or 32 bits, the channels of each frame side by side.
struct WavSound {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    QByteArray samples; // whole frames only

    int bytesPerFrame() const { return channels * bitsPerSample / 8; }
};

struct WavRead {
    WavSound sound;
    // Why the file cannot be played, in Portuguese, to follow "o arquivo <path> ": "não é um som
    // WAV", "não é um som WAV em PCM de 8, 16, 24 ou 32 bits", "é um som WAV cortado"; empty
    // when it can.
    QString problem;

    bool ok() const { return problem.isEmpty(); }
};

// Reads the bytes of a WAV file: its "fmt " chunk, then its "data" chunk, other chunks skipped.
WavRead readWav(const QByteArray& bytes);

} // namespace alarms
