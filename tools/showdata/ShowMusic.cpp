// The show's music, composed row by row: A minor, 120 BPM, drums, bass, a three-voice
// pad, an arpeggio, a lead with its echo, and the syncs the effects answer.
//
// Index: instruments (synthesised samples) - harmony and melody - the arranger, which
// decides per row what each channel plays - the pattern cutter.
#include "ShowMusic.h"

#include <algorithm>
#include <cmath>

#include "ShowImage.h"

namespace showdata {

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- instruments

// Drums are rendered at the rate a C-4 plays with relative note +28 (8363 Hz x 2^(28/12)),
// so they sound as rendered.
constexpr double kDrumRate = 8363.0 * 5.039684199579493;
constexpr int kDrumRelativeNote = 28;
// Pitched waves: 128 frames a cycle is C-2 at relative note 0, so +24 puts C-4 on
// middle C.
constexpr int kCycle = 128;
constexpr int kPitchedRelativeNote = 24;

int16_t ToFrame(double v) {
    v = std::max(-1.0, std::min(1.0, v));
    return static_cast<int16_t>(std::lround(v * 32767.0));
}

xm::Sample DrumSample(const std::string& name, const std::vector<double>& wave) {
    xm::Sample s;
    s.name = name;
    s.frames.reserve(wave.size());
    for (double v : wave) s.frames.push_back(ToFrame(v));
    s.relativeNote = kDrumRelativeNote;
    return s;
}

xm::Sample Kick() {
    std::vector<double> w(static_cast<size_t>(kDrumRate * 0.45));
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        double t = i / kDrumRate;
        double freq = 45 + 110 * std::exp(-t * 28);
        phase += 2 * kPi * freq / kDrumRate;
        double click = std::exp(-t * 400) * 0.4;
        w[i] = (std::sin(phase) * std::exp(-t * 7) + click) * 0.9;
    }
    return DrumSample("kick", w);
}

xm::Sample Snare() {
    Random random(0x5A4E);
    std::vector<double> w(static_cast<size_t>(kDrumRate * 0.28));
    double low = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        double t = i / kDrumRate;
        double noise = random.Unit() * 2 - 1;
        low += (noise - low) * 0.35;  // a touch of low-pass takes the hiss off
        double tone = std::sin(2 * kPi * 185 * t) * std::exp(-t * 30);
        w[i] = (low * 0.8 * std::exp(-t * 16) + tone * 0.5) * 0.85;
    }
    return DrumSample("snare", w);
}

xm::Sample Hat(double seconds, double decay, const char* name) {
    Random random(0x4A7);
    std::vector<double> w(static_cast<size_t>(kDrumRate * seconds));
    double prev = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        double t = i / kDrumRate;
        double noise = random.Unit() * 2 - 1;
        double high = noise - prev;  // first difference: only the top of the spectrum
        prev = noise;
        w[i] = high * 0.45 * std::exp(-t * decay);
    }
    return DrumSample(name, w);
}

// One band-limited cycle or several detuned ones, given harmonic amplitudes.
std::vector<double> Additive(const std::vector<double>& harmonics, int cycles,
                             const std::vector<double>& detunes) {
    std::vector<double> w(static_cast<size_t>(kCycle) * cycles, 0.0);
    for (double detune : detunes)
        for (size_t h = 0; h < harmonics.size(); ++h) {
            double k = static_cast<double>(h + 1) * (cycles + detune);
            for (size_t i = 0; i < w.size(); ++i)
                w[i] += harmonics[h] * std::sin(2 * kPi * k * i / w.size()) / detunes.size();
        }
    double peak = 0;
    for (double v : w) peak = std::max(peak, std::fabs(v));
    for (double& v : w) v = v / peak * 0.85;
    return w;
}

xm::Sample Pitched(const std::string& name, const std::vector<double>& wave) {
    xm::Sample s;
    s.name = name;
    for (double v : wave) s.frames.push_back(ToFrame(v));
    s.loop = xm::LoopType::kForward;
    s.loopStart = 0;
    s.loopLength = static_cast<uint32_t>(s.frames.size());
    s.relativeNote = kPitchedRelativeNote;
    return s;
}

std::vector<double> SawHarmonics(int n, double tilt) {
    std::vector<double> h;
    for (int k = 1; k <= n; ++k) h.push_back(std::pow(1.0 / k, tilt));
    return h;
}

xm::Envelope Env(std::vector<std::pair<uint16_t, uint16_t>> points, int sustain = -1) {
    xm::Envelope e;
    e.points = std::move(points);
    e.sustain = sustain;
    return e;
}

struct Instruments {
    int kick, snare, hat, openHat, crash, bass, pad, lead, arp;
};

Instruments AddInstruments(xm::Module* m) {
    Instruments in{};
    in.kick = m->AddInstrument(xm::Instrument::FromSample("kick", Kick()));
    in.snare = m->AddInstrument(xm::Instrument::FromSample("snare", Snare()));
    in.hat = m->AddInstrument(xm::Instrument::FromSample("hat", Hat(0.08, 60, "hat")));
    in.openHat = m->AddInstrument(xm::Instrument::FromSample("open hat", Hat(0.4, 9, "open hat")));
    in.crash = m->AddInstrument(xm::Instrument::FromSample("crash", Hat(1.6, 2.2, "crash")));

    xm::Instrument bass = xm::Instrument::FromSample(
        "bass", Pitched("bass", Additive(SawHarmonics(14, 1.3), 1, {0.0})));
    bass.volumeEnvelope = Env({{0, 64}, {6, 46}, {40, 30}, {120, 18}}, 2);
    bass.fadeout = 2400;
    in.bass = m->AddInstrument(bass);

    // 100 cycles of a soft saw beside 100.7 cycles of the same: a slow chorus beat.
    xm::Instrument pad = xm::Instrument::FromSample(
        "pad", Pitched("pad", Additive(SawHarmonics(10, 1.6), 100, {0.0, 0.7})));
    pad.volumeEnvelope = Env({{0, 0}, {24, 64}, {60, 52}}, 2);
    pad.fadeout = 500;
    in.pad = m->AddInstrument(pad);

    std::vector<double> square;
    for (int k = 1; k <= 15; ++k) square.push_back(k % 2 ? 1.0 / k : 0.12 / k);
    xm::Instrument lead = xm::Instrument::FromSample("lead", Pitched("lead", Additive(square, 1, {0.0})));
    lead.volumeEnvelope = Env({{0, 0}, {2, 64}, {12, 46}, {60, 40}}, 3);
    lead.fadeout = 1800;
    lead.vibratoType = 0;
    lead.vibratoSweep = 30;
    lead.vibratoDepth = 5;
    lead.vibratoRate = 10;
    in.lead = m->AddInstrument(lead);

    xm::Instrument arp = xm::Instrument::FromSample(
        "pluck", Pitched("pluck", Additive({1.0, 0.5, 0.3, 0.15, 0.08}, 1, {0.0})));
    arp.volumeEnvelope = Env({{0, 64}, {8, 24}, {30, 6}, {60, 0}});
    in.arp = m->AddInstrument(arp);
    return in;
}

// ---- harmony and melody

// Note numbers: 1 = C-0, so C-4 = 49.
constexpr int Note(int semitoneFromC, int octave) { return 1 + octave * 12 + semitoneFromC; }
enum Pitch { C = 0, D = 2, E = 4, F = 5, G = 7, A = 9, B = 11 };

struct Chord {
    int root;        // semitone from C
    int third;       // semitones above the root
    int fifth;
};
constexpr Chord kAm{A, 3, 7}, kF{F, 4, 7}, kC{C, 4, 7}, kG{G, 4, 7}, kDm{D, 3, 7}, kE{E, 4, 7};

// Lead phrases: (row within the 4-bar phrase, note, rows held).
struct LeadNote {
    int row, note, length;
};
const std::vector<LeadNote>& PhraseA() {
    static const std::vector<LeadNote> p = {
        {0, Note(A, 4), 4},   {4, Note(C, 5), 4},   {8, Note(E, 5), 4},  {12, Note(D, 5), 2},
        {14, Note(C, 5), 2},  {16, Note(C, 5), 6},  {22, Note(A, 4), 2}, {24, Note(F, 4), 4},
        {28, Note(A, 4), 4},  {32, Note(G, 4), 4},  {36, Note(C, 5), 4}, {40, Note(E, 5), 6},
        {46, Note(G, 5), 2},  {48, Note(D, 5), 8},  {56, Note(B, 4), 4}, {60, Note(G, 4), 4},
    };
    return p;
}
const std::vector<LeadNote>& PhraseB() {
    static const std::vector<LeadNote> p = {
        {0, Note(E, 5), 6},   {6, Note(A, 5), 2},   {8, Note(G, 5), 4},  {12, Note(E, 5), 4},
        {16, Note(F, 5), 4},  {20, Note(E, 5), 4},  {24, Note(C, 5), 8}, {32, Note(E, 5), 4},
        {36, Note(G, 5), 4},  {40, Note(C, 6), 4},  {44, Note(B, 5), 2}, {46, Note(G, 5), 2},
        {48, Note(A, 5), 12}, {60, Note(G, 5), 2},  {62, Note(E, 5), 2},
    };
    return p;
}

// ---- sections

enum SectionId { kIntro, kFeedback, kVortex, kTwister, kBeam, kTorus, kTori, kOrdan, kOutro };

const std::vector<MusicSection>& Sections() {
    static const std::vector<MusicSection> s = {
        {"intro", 0, RowAt(17)},           {"feedback", RowAt(17), RowAt(27)},
        {"vortex", RowAt(27), RowAt(44)},  {"twister", RowAt(44), RowAt(74)},
        {"beam", RowAt(74), RowAt(100)},   {"torus", RowAt(100), RowAt(114)},
        {"tori", RowAt(114), RowAt(140)},  {"ordan", RowAt(140), RowAt(155)},
        {"outro", RowAt(155), RowAt(176)},
    };
    return s;
}

int SectionOf(int row) {
    const auto& s = Sections();
    for (size_t i = 0; i < s.size(); ++i)
        if (row < s[i].endRow) return static_cast<int>(i);
    return static_cast<int>(s.size()) - 1;
}

Chord ChordAt(int row) {
    int bar = row / kRowsPerBar;
    int section = SectionOf(row);
    static const Chord main[4] = {kAm, kF, kC, kG};
    static const Chord dark[4] = {kDm, kAm, kE, kAm};
    static const Chord close[4] = {kF, kG, kAm, kAm};
    if (section == kOrdan) return dark[bar % 4];
    if (section == kOutro) return row >= RowAt(168) ? kAm : close[bar % 4];
    return main[bar % 4];
}

// ---- the arranger

struct Song {
    xm::Module module;
    Instruments in;
    std::vector<std::vector<xm::Cell>> rows;  // [row][channel]
};

enum Channel { kKickCh, kSnareCh, kHatCh, kBassCh, kPad1, kPad2, kPad3, kLeadCh, kArpCh, kEchoCh, kChannels };

void Play(Song* s, int row, int channel, int note, int instrument, int volume) {
    if (row < 0 || row >= static_cast<int>(s->rows.size())) return;
    xm::Cell& c = s->rows[row][channel];
    c.Play(static_cast<uint8_t>(note), instrument).Volume(std::max(0, std::min(64, volume)));
}

void Off(Song* s, int row, int channel) {
    if (row < 0 || row >= static_cast<int>(s->rows.size())) return;
    xm::Cell& c = s->rows[row][channel];
    if (c.note == xm::kNoNote) c.Off();
}

// A sync on the kick channel's effect column, which nothing else uses.
void Sync(Song* s, int row) {
    if (row >= 0 && row < static_cast<int>(s->rows.size())) s->rows[row][kKickCh].Sync();
}

// Rises from `from` to `to` across [first, end).
int Rise(int row, int first, int end, int from, int to) {
    if (end <= first) return to;
    double t = std::max(0.0, std::min(1.0, static_cast<double>(row - first) / (end - first)));
    return static_cast<int>(std::lround(from + (to - from) * t));
}

// Where a row stands in its section; every part of the arrangement reads it.
struct RowPlace {
    int row;
    int section;
    const MusicSection& sec;
    int step;       // row within its bar
    // A section that starts on a half bar opens with a snare fill up to the bar, where
    // its groove starts.
    int grooveRow;
    bool inFill;
    Chord chord;
};

RowPlace PlaceOf(int row) {
    const int section = SectionOf(row);
    const MusicSection& sec = Sections()[section];
    const bool midBarStart = sec.firstRow % kRowsPerBar != 0;
    const int grooveRow = midBarStart ? (sec.firstRow / kRowsPerBar + 1) * kRowsPerBar : sec.firstRow;
    return RowPlace{row, section, sec, row % kRowsPerBar, grooveRow, row < grooveRow, ChordAt(row)};
}

void Drums(Song* s, const RowPlace& at) {
    const Instruments& in = s->in;
    const int row = at.row, section = at.section, step = at.step;
    bool fourFloor = section == kFeedback || section == kVortex || section == kTwister ||
                     section == kTorus || section == kTori;
    bool halfTime = section == kOrdan || (section == kBeam && row >= RowAt(82) && row < RowAt(96));
    bool outroDrums = section == kOutro && row < RowAt(165);
    if (at.inFill && section != kOutro) {
        Play(s, row, kSnareCh, Note(C, 4), in.snare, Rise(row, at.sec.firstRow, at.grooveRow, 20, 56));
    } else if (fourFloor || outroDrums) {
        if (step % 4 == 0) Play(s, row, kKickCh, Note(C, 4), in.kick, 60);
        if (step == 4 || step == 12) Play(s, row, kSnareCh, Note(C, 4), in.snare, 50);
        if (step % 4 == 2) Play(s, row, kHatCh, Note(C, 4), in.openHat, 26);
        else if (section == kTwister || section == kTori || section == kVortex)
            Play(s, row, kHatCh, Note(C, 4), in.hat, step % 2 ? 18 : 24);
    } else if (halfTime) {
        if (step == 0 || step == 10) Play(s, row, kKickCh, Note(C, 4), in.kick, 58);
        if (step == 8) Play(s, row, kSnareCh, Note(C, 4), in.snare, 50);
        if (step % 2 == 0) Play(s, row, kHatCh, Note(C, 4), in.hat, step % 4 ? 16 : 24);
    } else if (section == kBeam && row >= RowAt(96)) {
        // Build into the blob: a snare roll that doubles up.
        int every = row >= RowAt(98) ? 1 : 2;
        if (step % every == 0)
            Play(s, row, kSnareCh, Note(C, 4), in.snare, Rise(row, RowAt(96), RowAt(100), 18, 60));
    }
    // Crash on the downbeat where a section's groove lands.
    if (row == at.grooveRow && section != kIntro && section != kBeam)
        Play(s, row, kHatCh, Note(C, 4), in.crash, 44);
}

// Eighths on the root, the octave on the off-eighths of the second half. The bass
// sustains until released, so it is keyed off where its part stops.
void Bass(Song* s, const RowPlace& at, bool* wasOn) {
    const int row = at.row, section = at.section, step = at.step;
    bool on = section != kIntro && !(section == kBeam && row < RowAt(82)) &&
              !(section == kOutro && row >= RowAt(168)) && !at.inFill;
    if (*wasOn && !on) Off(s, row, kBassCh);
    *wasOn = on;
    if (on && step % 2 == 0) {
        int octave = (step >= 8 && step % 4 == 2) ? 3 : 2;
        if (section == kOrdan) octave = 2;
        Play(s, row, kBassCh, Note(at.chord.root, octave), s->in.bass, step % 4 == 0 ? 50 : 40);
    }
}

// The chord at every bar, voiced around middle C.
void Pad(Song* s, const RowPlace& at) {
    const int row = at.row, section = at.section;
    const Chord& chord = at.chord;
    if (at.step == 0) {
        int padVolume = section == kIntro ? Rise(row, 0, RowAt(8), 14, 30)
                        : section == kOutro ? Rise(row, RowAt(160), RowAt(174), 30, 10)
                                            : 24;
        int root = Note(chord.root, chord.root >= F ? 3 : 4);
        Play(s, row, kPad1, root, s->in.pad, padVolume);
        Play(s, row, kPad2, root + chord.third, s->in.pad, padVolume);
        Play(s, row, kPad3, root + chord.fifth, s->in.pad, padVolume);
    }
    if (section == kOutro && row == RowAt(175)) {
        Off(s, row, kPad1);
        Off(s, row, kPad2);
        Off(s, row, kPad3);
    }
}

// Chord tones up over two octaves in sixteenths.
void Arpeggio(Song* s, const RowPlace& at) {
    const int row = at.row, section = at.section;
    bool on = (section == kIntro && row >= RowAt(4)) || section == kVortex || section == kBeam ||
              section == kTori || section == kOrdan || (section == kOutro && row < RowAt(170));
    if (!on) return;
    static const int shape[8] = {0, 1, 2, 3, 4, 3, 2, 1};
    int k = shape[at.step % 8];
    int tones[5] = {0, at.chord.third, at.chord.fifth, 12, 12 + at.chord.third};
    int volume = section == kIntro ? Rise(row, RowAt(4), RowAt(17), 8, 24)
                 : section == kBeam ? 30
                                    : 20;
    Play(s, row, kArpCh, Note(at.chord.root, 4) + tones[k], s->in.arp, volume);
}

// Phrase A then B over four-bar blocks, where the show sings, with its echo. Like the
// bass, it is keyed off where its part stops.
void Lead(Song* s, const RowPlace& at, bool* wasOn) {
    const int row = at.row, section = at.section;
    const int total = static_cast<int>(s->rows.size());
    bool on = (section == kTwister && row >= RowAt(46)) || section == kTorus ||
              (section == kTori && row >= RowAt(116)) ||
              (section == kBeam && row >= RowAt(84) && row < RowAt(96));
    if (*wasOn && !on) {
        Off(s, row, kLeadCh);
        Off(s, row + 3, kEchoCh);
    }
    *wasOn = on;
    if (!on) return;
    int phraseRow = row % 64;
    bool useB = (row / 64) % 2 == 1;
    for (const LeadNote& n : useB ? PhraseB() : PhraseA()) {
        if (n.row == phraseRow) {
            int volume = section == kBeam ? 30 : 42;
            Play(s, row, kLeadCh, n.note, s->in.lead, volume);
            // The echo answers three rows later, softer, from the left.
            if (row + 3 < total) {
                Play(s, row + 3, kEchoCh, n.note, s->in.lead, volume / 3);
                s->rows[row + 3][kEchoCh].Fx(xm::kFxSetPanning, 0x40);
            }
        }
        if (n.row + n.length == phraseRow) {
            Off(s, row, kLeadCh);
            Off(s, row + 3, kEchoCh);
        }
    }
}

// Syncs, on strong beats where the effects kick their cameras.
void Syncs(Song* s) {
    for (int row = RowAt(18); row < RowAt(28); row += 8) Sync(s, row);          // feedback
    for (int row = RowAt(28); row <= RowAt(44); row += kRowsPerBar) Sync(s, row);  // vortex
    for (int row = RowAt(45); row < RowAt(74); row += kRowsPerBar) {            // twister
        Sync(s, row + 4);
        Sync(s, row + 12);
    }
    for (int row = RowAt(102); row < RowAt(113); row += kRowsPerBar) Sync(s, row);  // torus
}

void Arrange(Song* s) {
    const int total = static_cast<int>(s->rows.size());
    bool bassWasOn = false, leadWasOn = false;
    for (int row = 0; row < total; ++row) {
        const RowPlace at = PlaceOf(row);
        Drums(s, at);
        Bass(s, at, &bassWasOn);
        Pad(s, at);
        Arpeggio(s, at);
        Lead(s, at, &leadWasOn);
    }
    Syncs(s);
}

}  // namespace

int RowAt(double seconds) { return static_cast<int>(std::lround(seconds / kRowSeconds)); }

const std::vector<MusicSection>& MusicSections() { return Sections(); }

int MusicTotalRows() { return Sections().back().endRow; }

xm::Module ComposeMusic() {
    Song s;
    s.module.name = "kavlo";
    s.module.channels = kChannels;
    s.module.speed = kMusicSpeed;
    s.module.bpm = kMusicBpm;
    s.in = AddInstruments(&s.module);
    s.rows.assign(static_cast<size_t>(MusicTotalRows()), std::vector<xm::Cell>(kChannels));
    Arrange(&s);

    // Cut into patterns of at most 64 rows that also start at every section.
    int row = 0;
    const int total = MusicTotalRows();
    while (row < total) {
        int end = std::min(total, row + 64);
        for (const MusicSection& sec : Sections())
            if (sec.firstRow > row && sec.firstRow < end) end = sec.firstRow;
        int p = s.module.AddPattern(end - row);
        for (int r = row; r < end; ++r)
            for (int ch = 0; ch < kChannels; ++ch) s.module.patterns[p].At(r - row, ch) = s.rows[r][ch];
        s.module.orders.push_back(p);
        row = end;
    }
    s.module.restart = 0;
    return s.module;
}

std::vector<int> SyncRows(const xm::Module& module) {
    std::vector<int> rows;
    int base = 0;
    for (int p : module.orders) {
        const xm::Pattern& pattern = module.patterns[p];
        for (int r = 0; r < pattern.Rows(); ++r)
            for (int ch = 0; ch < pattern.Channels(); ++ch) {
                const xm::Cell& c = pattern.At(r, ch);
                if (c.effect == xm::kFxSync && c.param == 0) {
                    rows.push_back(base + r);
                    break;
                }
            }
        base += pattern.Rows();
    }
    return rows;
}

}  // namespace showdata
