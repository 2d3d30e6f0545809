#pragma once

#include <QByteArray>

// The alarm horn's sounds compiled into the program (16-bit PCM mono WAV, one second each, made
// to be looped). Linking anemo_sounds registers them before main() runs.
namespace sounds {

// 0,5 s of 880 Hz and 0,5 s of silence: média and baixa alarms.
inline constexpr char kIntermittent[] = ":/sounds/alarme-intermitente.wav";
// A steady 1000 Hz: alta alarms.
inline constexpr char kContinuous[] = ":/sounds/alarme-continuo.wav";

// The whole WAV file of one of them.
QByteArray bytes(const char* resourcePath);

} // namespace sounds
