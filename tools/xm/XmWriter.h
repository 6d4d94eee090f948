// Builds FastTracker 2 modules (XM 1.04) from code: patterns of notes and effects
// (Zxx syncs included), instruments with 8- or 16-bit samples, loops and envelopes, and
// the order list. The test suites and the show's own music are made with it.
//
//   xm::Module song;
//   song.channels = 2;
//   int lead = song.AddInstrument(xm::Instrument::FromSample(
//       "lead", xm::Sample::Wave(xm::Waveform::kSquare, 32, 16)));
//   int p = song.AddPattern(16);
//   song.patterns[p].At(0, 0).Play("C-4", lead).Sync();   // Z00: a sync at row 0
//   song.patterns[p].At(8, 1).Play("G-4", lead).Fx(xm::kFxSetVolume, 0x20);
//   song.orders = {p, p};
//   std::string error;
//   song.WriteFile("musik.xm", &error);
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xm {

// Notes: 1 = C-0 .. 96 = B-7, 97 = key off, 0 = none.
constexpr uint8_t kNoNote = 0;
constexpr uint8_t kKeyOff = 97;
// "C-4", "C#4", "Db4" (octave 0..7); 0 for anything else.
uint8_t NoteNumber(const char* name);

// Effect numbers: 0x0..0xF for the digit effects, then letters from G = 0x10.
enum EffectNumber : uint8_t {
    kFxArpeggio = 0x00,
    kFxPortaUp = 0x01,
    kFxPortaDown = 0x02,
    kFxTonePorta = 0x03,
    kFxVibrato = 0x04,
    kFxTonePortaVolSlide = 0x05,
    kFxVibratoVolSlide = 0x06,
    kFxTremolo = 0x07,
    kFxSetPanning = 0x08,
    kFxSampleOffset = 0x09,
    kFxVolumeSlide = 0x0A,
    kFxPositionJump = 0x0B,  // Bxx: continue at order xx
    kFxSetVolume = 0x0C,
    kFxPatternBreak = 0x0D,  // Dxx: next order at row xx (decimal digits)
    kFxExtended = 0x0E,      // Exy: sub-command x, see ExtendedParam
    kFxSetSpeed = 0x0F,      // Fxx: below 0x20 speed (ticks per row), else tempo (BPM)
    kFxSetGlobalVolume = 0x10,  // G
    kFxGlobalVolumeSlide = 0x11,  // H
    kFxKeyOff = 0x14,         // K
    kFxSetEnvelopePosition = 0x15,  // L
    kFxPanningSlide = 0x19,   // P
    kFxRetrigger = 0x1B,      // R
    kFxTremor = 0x1D,         // T
    kFxExtraFinePorta = 0x21,  // X
    kFxSync = 0x23,           // Z: the demo's sync command, inaudible
};

// Sub-commands of kFxExtended.
enum ExtendedCommand : uint8_t {
    kExtFinePortaUp = 0x1,
    kExtFinePortaDown = 0x2,
    kExtPatternLoop = 0x6,  // E60 marks the loop start, E6x plays it x more times
    kExtRetrigger = 0x9,
    kExtFineVolumeUp = 0xA,
    kExtFineVolumeDown = 0xB,
    kExtNoteCut = 0xC,
    kExtNoteDelay = 0xD,
    kExtPatternDelay = 0xE,
};
constexpr uint8_t ExtendedParam(uint8_t command, uint8_t value) {
    return static_cast<uint8_t>((command << 4) | (value & 0x0F));
}

// One pattern cell; the setters chain: At(0, 1).Play("A-3", 2).Volume(48).Sync().
struct Cell {
    uint8_t note = kNoNote;
    uint8_t instrument = 0;  // 1-based instrument number, 0 none
    uint8_t volume = 0;      // raw volume column byte (0x10..0x50 set the volume)
    uint8_t effect = 0;
    uint8_t param = 0;

    Cell& Play(const char* noteName, int instrumentNumber);
    Cell& Play(uint8_t noteNumber, int instrumentNumber);
    Cell& Off();
    Cell& Volume(int level);  // 0..64 in the volume column
    Cell& Fx(uint8_t effectNumber, uint8_t parameter);
    Cell& Sync(uint8_t parameter = 0) { return Fx(kFxSync, parameter); }
    bool Empty() const { return !note && !instrument && !volume && !effect && !param; }
};

class Pattern {
public:
    Pattern(int rows, int channels);
    int Rows() const { return rows_; }
    int Channels() const { return channels_; }
    // A cell out of range returns a spare cell and marks the pattern, so Write fails
    // with a clear reason instead of writing something else.
    Cell& At(int row, int channel);
    const Cell& At(int row, int channel) const;
    bool Misused() const { return misused_; }

private:
    int rows_;
    int channels_;
    std::vector<Cell> cells_;
    Cell spare_;
    bool misused_ = false;
};

enum class LoopType : uint8_t { kNone = 0, kForward = 1, kPingPong = 2 };
enum class Waveform { kSine, kSquare, kSaw, kTriangle, kNoise };

struct Sample {
    std::string name;
    std::vector<int16_t> frames;  // mono, full 16-bit range
    bool sixteenBit = true;       // else stored as 8-bit (the top byte of each frame)
    LoopType loop = LoopType::kNone;
    uint32_t loopStart = 0;       // in frames
    uint32_t loopLength = 0;      // in frames
    uint8_t volume = 64;          // 0..64
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;      // semitones; at 0 a C-4 plays the sample at 8363 Hz

    // `cycles` periods of `framesPerCycle` frames, looped forward over all of them. At
    // C-4 the pitch is 8363 / framesPerCycle Hz (32 frames: about middle C).
    static Sample Wave(Waveform shape, int framesPerCycle, int cycles, float amplitude = 0.8f);
};

struct Envelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;  // (tick, value 0..64), at most 12
    int sustain = -1;  // point index, -1 none
    int loopStart = -1;
    int loopEnd = -1;
    bool Enabled() const { return !points.empty(); }
};

struct Instrument {
    std::string name;
    std::vector<Sample> samples;     // at most 16
    std::array<uint8_t, 96> keymap{};  // sample index for each note, all 0 by default
    Envelope volumeEnvelope;
    Envelope panningEnvelope;
    uint16_t fadeout = 0;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;

    static Instrument FromSample(std::string name, Sample sample);
};

class Module {
public:
    std::string name;
    std::string tracker = "Kavlo XM writer";
    int channels = 4;              // 1..32
    int speed = 6;                 // ticks per row, 1..31
    int bpm = 125;                 // 32..255; a tick lasts 2.5 / bpm seconds
    int restart = 0;               // order to continue at after the last one
    bool linearFrequencies = true;
    std::vector<int> orders;       // pattern numbers, 1..256 of them
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;  // cells name them 1-based

    // Adds a pattern with this module's channel count; returns its number.
    int AddPattern(int rows = 64);
    // Adds an instrument; returns the 1-based number cells use.
    int AddInstrument(Instrument instrument);
    // The frames a row lasts at `rate` with the module's own speed and tempo.
    double RowFrames(int rate = 44100) const;

    // The file image; false with a reason when something is out of the format's range.
    bool Write(std::vector<uint8_t>* out, std::string* error) const;
    bool WriteFile(const std::string& path, std::string* error) const;
};

}  // namespace xm
