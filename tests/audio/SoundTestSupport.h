// Helpers for the sound suites: small modules with syncs at known rows, sound files
// made with libsndfile, and scoped environment changes for SDL's audio driver.
#pragma once

#include "tools/xm/XmWriter.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace soundtest {

// A module at speed 6 and 125 BPM (5292 frames a row at 44100 Hz), with a looped
// square-wave lead as instrument 1 and one pattern of `rows` rows holding a note in
// channel 0 on every fourth row.
inline xm::Module BasicModule(int rows = 16, int channels = 2) {
    xm::Module song;
    song.name = "sound test";
    song.channels = channels;
    song.AddInstrument(xm::Instrument::FromSample(
        "lead", xm::Sample::Wave(xm::Waveform::kSquare, 32, 8, 0.5f)));
    int p = song.AddPattern(rows);
    for (int row = 0; row < rows; row += 4) song.patterns[p].At(row, 0).Play("C-4", 1);
    song.orders = {p};
    return song;
}

inline std::vector<uint8_t> Image(const xm::Module& song) {
    std::vector<uint8_t> out;
    std::string error;
    if (!song.Write(&out, &error)) std::fprintf(stderr, "XM write failed: %s\n", error.c_str());
    return out;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

// A sound file image: `frames` frames of a 441 Hz sine (left) and its half (right),
// written by libsndfile in `format` (SF_FORMAT_WAV | SF_FORMAT_PCM_16 ...). Empty when
// libsndfile cannot write that format here.
inline std::vector<uint8_t> SoundFile(int format, int rate, int channels, int frames,
                                      const std::string& scratchPath) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    if (!sf_format_check(&info)) return {};
    SNDFILE* file = sf_open(scratchPath.c_str(), SFM_WRITE, &info);
    if (!file) return {};
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        float v = 0.5f * static_cast<float>(std::sin(2 * 3.14159265358979 * 441.0 * i / rate));
        for (int c = 0; c < channels; ++c) samples[static_cast<size_t>(i) * channels + c] = c == 0 ? v : v / 2;
    }
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    std::vector<uint8_t> bytes = ReadBytes(scratchPath);
    std::remove(scratchPath.c_str());
    return bytes;
}

inline float Peak(const float* samples, size_t count) {
    float peak = 0;
    for (size_t i = 0; i < count; ++i) peak = std::fmax(peak, std::fabs(samples[i]));
    return peak;
}
inline float Peak(const std::vector<float>& samples) { return Peak(samples.data(), samples.size()); }

// Sets an environment variable for a scope and restores what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (hadOld_) setenv(name_.c_str(), old_.c_str(), 1);
        else unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace soundtest
