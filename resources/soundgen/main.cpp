// Writes the horn's two sounds at build time, 16-bit PCM mono WAV files at 44 100 Hz:
//   soundgen <dir>
// alarme-intermitente.wav: 0,5 s of 880 Hz, then 0,5 s of silence.
// alarme-continuo.wav: 1 s of 1000 Hz.
// Both are played in a loop, so each holds whole periods of its tone and begins and ends at a
// zero crossing: the joint between two rounds makes no click.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kSampleRate = 44100;
// Half of full scale: loud enough for a horn, with headroom for the desktop's mixer.
constexpr double kAmplitude = 0.5 * 32767;
// The tone of the intermittent sound rises and falls over 5 ms, so that its start and end
// do not click.
constexpr int kRampSamples = kSampleRate / 200;

// `samples` samples of a sine wave; whole periods when frequency × samples / rate is whole.
std::vector<std::int16_t> tone(double frequencyHz, int samples, bool ramped) {
    std::vector<std::int16_t> wave(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        double gain = 1.0;
        if (ramped)
            gain = std::min({1.0, double(i) / kRampSamples, double(samples - i) / kRampSamples});
        const double phase = 2 * std::numbers::pi * frequencyHz * i / kSampleRate;
        wave[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(std::lround(kAmplitude * gain * std::sin(phase)));
    }
    return wave;
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// The canonical 44-byte header: RIFF, "fmt " (PCM, 1 channel, 16 bits), "data".
bool writeWav(const std::string& path, const std::vector<std::int16_t>& samples) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string out;
    out += "RIFF";
    putLittleEndian(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLittleEndian(out, 16, 4);              // size of the fmt chunk
    putLittleEndian(out, 1, 2);               // PCM
    putLittleEndian(out, 1, 2);               // mono
    putLittleEndian(out, kSampleRate, 4);     // samples per second
    putLittleEndian(out, kSampleRate * 2, 4); // bytes per second
    putLittleEndian(out, 2, 2);               // bytes per frame
    putLittleEndian(out, 16, 2);              // bits per sample
    out += "data";
    putLittleEndian(out, dataBytes, 4);
    for (const std::int16_t sample : samples)
        putLittleEndian(out, static_cast<std::uint16_t>(sample), 2);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "soundgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: soundgen <dir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    // 440 periods of 880 Hz in 0,5 s, then as long a silence.
    std::vector<std::int16_t> intermittent = tone(880, kSampleRate / 2, true);
    intermittent.resize(kSampleRate, 0);
    // 1000 periods of 1000 Hz in 1 s.
    const std::vector<std::int16_t> continuous = tone(1000, kSampleRate, false);
    const bool written = writeWav(dir + "/alarme-intermitente.wav", intermittent) &&
                         writeWav(dir + "/alarme-continuo.wav", continuous);
    return written ? 0 : 1;
}
