// XM 1.04 writer: header, packed patterns, instruments with delta-coded samples.
#include "XmWriter.h"

#include <cmath>
#include <cstdio>

namespace xm {
namespace {

class Bytes {
public:
    explicit Bytes(std::vector<uint8_t>* out) : out_(out) {}
    void U8(unsigned v) { out_->push_back(static_cast<uint8_t>(v)); }
    void U16(unsigned v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    // Fixed-width text, cut or padded with zeros.
    void Text(const std::string& text, size_t width) {
        for (size_t i = 0; i < width; ++i) U8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    }
    void Zeros(size_t n) { out_->insert(out_->end(), n, 0); }
    void Append(const std::vector<uint8_t>& bytes) { out_->insert(out_->end(), bytes.begin(), bytes.end()); }
    size_t Size() const { return out_->size(); }

private:
    std::vector<uint8_t>* out_;
};

bool Error(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

constexpr uint32_t kInstrumentHeaderWithSamples = 263;
constexpr uint32_t kInstrumentHeaderBare = 29;
constexpr uint32_t kSampleHeaderSize = 40;

void WriteEnvelopePoints(Bytes& b, const Envelope& envelope) {
    for (size_t i = 0; i < 12; ++i) {
        if (i < envelope.points.size()) {
            b.U16(envelope.points[i].first);
            b.U16(envelope.points[i].second);
        } else {
            b.U32(0);
        }
    }
}

unsigned EnvelopeFlags(const Envelope& envelope) {
    if (!envelope.Enabled()) return 0;
    return 1u | (envelope.sustain >= 0 ? 2u : 0u) | (envelope.loopStart >= 0 ? 4u : 0u);
}

bool CheckEnvelope(const Envelope& envelope, const std::string& where, std::string* error) {
    int n = static_cast<int>(envelope.points.size());
    if (n > 12) return Error(error, where + ": more than 12 envelope points");
    if (envelope.sustain >= n || envelope.loopStart >= n || envelope.loopEnd >= n)
        return Error(error, where + ": envelope point index out of range");
    if ((envelope.loopStart >= 0) != (envelope.loopEnd >= 0) || envelope.loopEnd < envelope.loopStart)
        return Error(error, where + ": envelope loop needs a start and an end in order");
    for (int i = 0; i < n; ++i) {
        if (envelope.points[i].second > 64) return Error(error, where + ": envelope value above 64");
        if (i > 0 && envelope.points[i].first <= envelope.points[i - 1].first)
            return Error(error, where + ": envelope ticks must rise");
    }
    return true;
}

bool CheckSample(const Sample& sample, const std::string& where, std::string* error) {
    size_t bytes = sample.frames.size() * (sample.sixteenBit ? 2 : 1);
    if (bytes > 0x7FFFFFFF) return Error(error, where + ": sample too long");
    if (sample.volume > 64) return Error(error, where + ": sample volume above 64");
    if (sample.loop != LoopType::kNone) {
        if (sample.loopLength == 0 ||
            static_cast<uint64_t>(sample.loopStart) + sample.loopLength > sample.frames.size())
            return Error(error, where + ": loop outside the sample");
    }
    return true;
}

void WriteSampleData(Bytes& b, const Sample& sample) {
    if (sample.sixteenBit) {
        int16_t previous = 0;
        for (int16_t v : sample.frames) {
            b.U16(static_cast<uint16_t>(static_cast<uint16_t>(v) - static_cast<uint16_t>(previous)));
            previous = v;
        }
    } else {
        int8_t previous = 0;
        for (int16_t v : sample.frames) {
            int8_t value = static_cast<int8_t>(v >> 8);
            b.U8(static_cast<uint8_t>(static_cast<uint8_t>(value) - static_cast<uint8_t>(previous)));
            previous = value;
        }
    }
}

// The module-wide ranges, checked before anything is written.
bool CheckModule(const Module& m, std::string* error) {
    if (m.channels < 1 || m.channels > 32) return Error(error, "channel count must be 1..32");
    if (m.speed < 1 || m.speed > 31) return Error(error, "speed must be 1..31");
    if (m.bpm < 32 || m.bpm > 255) return Error(error, "bpm must be 32..255");
    if (m.orders.empty() || m.orders.size() > 256) return Error(error, "the order list needs 1..256 entries");
    if (m.patterns.empty() || m.patterns.size() > 256) return Error(error, "a module needs 1..256 patterns");
    if (m.instruments.size() > 128) return Error(error, "at most 128 instruments");
    if (m.restart < 0 || static_cast<size_t>(m.restart) >= m.orders.size())
        return Error(error, "restart position outside the order list");
    for (int order : m.orders)
        if (order < 0 || static_cast<size_t>(order) >= m.patterns.size())
            return Error(error, "order list names a pattern that does not exist");
    return true;
}

void WriteHeader(Bytes& b, const Module& m) {
    b.Text("Extended Module: ", 17);
    b.Text(m.name, 20);
    b.U8(0x1A);
    b.Text(m.tracker, 20);
    b.U16(0x0104);
    b.U32(20 + 256);  // header size from here: fields plus the full order table
    b.U16(static_cast<unsigned>(m.orders.size()));
    b.U16(static_cast<unsigned>(m.restart));
    b.U16(static_cast<unsigned>(m.channels));
    b.U16(static_cast<unsigned>(m.patterns.size()));
    b.U16(static_cast<unsigned>(m.instruments.size()));
    b.U16(m.linearFrequencies ? 1 : 0);
    b.U16(static_cast<unsigned>(m.speed));
    b.U16(static_cast<unsigned>(m.bpm));
    for (size_t i = 0; i < 256; ++i) b.U8(i < m.orders.size() ? static_cast<unsigned>(m.orders[i]) : 0);
}

// One cell: a mask byte ahead of the fields present; with all five present the plain
// five bytes are shorter, and the mask is left out.
void PackCell(Bytes& data, const Cell& cell) {
    unsigned mask = (cell.note ? 1u : 0u) | (cell.instrument ? 2u : 0u) | (cell.volume ? 4u : 0u) |
                    (cell.effect ? 8u : 0u) | (cell.param ? 16u : 0u);
    if (mask != 0x1F) data.U8(0x80 | mask);
    if (mask & 1) data.U8(cell.note);
    if (mask & 2) data.U8(cell.instrument);
    if (mask & 4) data.U8(cell.volume);
    if (mask & 8) data.U8(cell.effect);
    if (mask & 16) data.U8(cell.param);
}

// Pattern `p`: its header, then its cells packed row by row.
bool WritePattern(Bytes& b, const Module& m, size_t p, std::string* error) {
    const Pattern& pattern = m.patterns[p];
    const std::string where = "pattern " + std::to_string(p);
    if (pattern.Misused()) return Error(error, where + ": a cell outside the pattern was set");
    if (pattern.Channels() != m.channels) return Error(error, where + ": channel count differs from the module's");
    if (pattern.Rows() < 1 || pattern.Rows() > 256) return Error(error, where + ": rows must be 1..256");
    std::vector<uint8_t> packed;
    Bytes data(&packed);
    for (int row = 0; row < pattern.Rows(); ++row) {
        for (int channel = 0; channel < m.channels; ++channel) {
            const Cell& cell = pattern.At(row, channel);
            if (cell.note > kKeyOff) return Error(error, where + ": note number above 97");
            if (cell.instrument > m.instruments.size())
                return Error(error, where + ": cell names an instrument that does not exist");
            PackCell(data, cell);
        }
    }
    if (packed.size() > 0xFFFF) return Error(error, where + ": packed data above 65535 bytes");
    b.U32(9);
    b.U8(0);
    b.U16(static_cast<unsigned>(pattern.Rows()));
    b.U16(static_cast<unsigned>(packed.size()));
    b.Append(packed);
    return true;
}

bool CheckInstrument(const Instrument& instrument, const std::string& where, std::string* error) {
    if (instrument.samples.size() > 16) return Error(error, where + ": more than 16 samples");
    if (!CheckEnvelope(instrument.volumeEnvelope, where, error) ||
        !CheckEnvelope(instrument.panningEnvelope, where, error))
        return false;
    for (uint8_t index : instrument.keymap)
        if (!instrument.samples.empty() && index >= instrument.samples.size())
            return Error(error, where + ": keymap names a sample that does not exist");
    for (size_t s = 0; s < instrument.samples.size(); ++s)
        if (!CheckSample(instrument.samples[s], where + " sample " + std::to_string(s), error))
            return false;
    return true;
}

// The instrument's header: bare without samples, else the full one with keymap and envelopes.
void WriteInstrumentHeader(Bytes& b, const Instrument& instrument) {
    const size_t start = b.Size();
    b.U32(instrument.samples.empty() ? kInstrumentHeaderBare : kInstrumentHeaderWithSamples);
    b.Text(instrument.name, 22);
    b.U8(0);
    b.U16(static_cast<unsigned>(instrument.samples.size()));
    if (instrument.samples.empty()) return;
    b.U32(kSampleHeaderSize);
    for (uint8_t index : instrument.keymap) b.U8(index);
    WriteEnvelopePoints(b, instrument.volumeEnvelope);
    WriteEnvelopePoints(b, instrument.panningEnvelope);
    b.U8(static_cast<unsigned>(instrument.volumeEnvelope.points.size()));
    b.U8(static_cast<unsigned>(instrument.panningEnvelope.points.size()));
    for (const Envelope* e : {&instrument.volumeEnvelope, &instrument.panningEnvelope}) {
        b.U8(e->sustain < 0 ? 0 : static_cast<unsigned>(e->sustain));
        b.U8(e->loopStart < 0 ? 0 : static_cast<unsigned>(e->loopStart));
        b.U8(e->loopEnd < 0 ? 0 : static_cast<unsigned>(e->loopEnd));
    }
    b.U8(EnvelopeFlags(instrument.volumeEnvelope));
    b.U8(EnvelopeFlags(instrument.panningEnvelope));
    b.U8(instrument.vibratoType);
    b.U8(instrument.vibratoSweep);
    b.U8(instrument.vibratoDepth);
    b.U8(instrument.vibratoRate);
    b.U16(instrument.fadeout);
    b.Zeros(start + kInstrumentHeaderWithSamples - b.Size());
}

void WriteSampleHeader(Bytes& b, const Sample& sample) {
    const uint32_t width = sample.sixteenBit ? 2 : 1;
    const bool looped = sample.loop != LoopType::kNone;
    b.U32(static_cast<uint32_t>(sample.frames.size()) * width);
    b.U32(looped ? sample.loopStart * width : 0);
    b.U32(looped ? sample.loopLength * width : 0);
    b.U8(sample.volume);
    b.U8(static_cast<uint8_t>(sample.finetune));
    b.U8(static_cast<unsigned>(sample.loop) | (sample.sixteenBit ? 0x10u : 0u));
    b.U8(sample.panning);
    b.U8(static_cast<uint8_t>(sample.relativeNote));
    b.U8(0);
    b.Text(sample.name, 22);
}

}  // namespace

uint8_t NoteNumber(const char* name) {
    if (!name || !name[0] || !name[1] || !name[2] || name[3]) return 0;
    static const int kSemitones[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    char letter = name[0];
    if (letter >= 'a' && letter <= 'g') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'G') return 0;
    int semitone = kSemitones[letter - 'A'];
    if (name[1] == '#') ++semitone;
    else if (name[1] == 'b') --semitone;
    else if (name[1] != '-') return 0;
    if (name[2] < '0' || name[2] > '7') return 0;
    int note = (name[2] - '0') * 12 + semitone + 1;
    return note >= 1 && note <= 96 ? static_cast<uint8_t>(note) : 0;
}

Cell& Cell::Play(const char* noteName, int instrumentNumber) {
    return Play(NoteNumber(noteName), instrumentNumber);
}

Cell& Cell::Play(uint8_t noteNumber, int instrumentNumber) {
    note = noteNumber;
    instrument = static_cast<uint8_t>(instrumentNumber < 0 || instrumentNumber > 255 ? 0 : instrumentNumber);
    return *this;
}

Cell& Cell::Off() {
    note = kKeyOff;
    return *this;
}

Cell& Cell::Volume(int level) {
    volume = static_cast<uint8_t>(0x10 + (level < 0 ? 0 : level > 64 ? 64 : level));
    return *this;
}

Cell& Cell::Fx(uint8_t effectNumber, uint8_t parameter) {
    effect = effectNumber;
    param = parameter;
    return *this;
}

Pattern::Pattern(int rows, int channels)
    : rows_(rows < 0 ? 0 : rows), channels_(channels < 0 ? 0 : channels),
      cells_(static_cast<size_t>(rows_) * static_cast<size_t>(channels_)) {}

Cell& Pattern::At(int row, int channel) {
    if (row < 0 || row >= rows_ || channel < 0 || channel >= channels_) {
        misused_ = true;
        spare_ = Cell();
        return spare_;
    }
    return cells_[static_cast<size_t>(row) * static_cast<size_t>(channels_) + static_cast<size_t>(channel)];
}

const Cell& Pattern::At(int row, int channel) const {
    static const Cell kBlank;
    if (row < 0 || row >= rows_ || channel < 0 || channel >= channels_) return kBlank;
    return cells_[static_cast<size_t>(row) * static_cast<size_t>(channels_) + static_cast<size_t>(channel)];
}

Sample Sample::Wave(Waveform shape, int framesPerCycle, int cycles, float amplitude) {
    Sample sample;
    if (framesPerCycle < 1 || cycles < 1) return sample;
    if (amplitude < 0) amplitude = 0;
    if (amplitude > 1) amplitude = 1;
    const double pi = 3.14159265358979323846;
    size_t count = static_cast<size_t>(framesPerCycle) * static_cast<size_t>(cycles);
    sample.frames.resize(count);
    uint32_t noise = 0x12345678u;
    for (size_t i = 0; i < count; ++i) {
        double phase = static_cast<double>(i % static_cast<size_t>(framesPerCycle)) / framesPerCycle;
        double v = 0;
        switch (shape) {
            case Waveform::kSine: v = std::sin(2 * pi * phase); break;
            case Waveform::kSquare: v = phase < 0.5 ? 1 : -1; break;
            case Waveform::kSaw: v = 2 * phase - 1; break;
            case Waveform::kTriangle: v = phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase; break;
            case Waveform::kNoise:
                noise = noise * 1664525u + 1013904223u;
                v = static_cast<double>(noise >> 8) / (1u << 23) - 1;
                break;
        }
        sample.frames[i] = static_cast<int16_t>(std::lround(v * amplitude * 32767));
    }
    sample.loop = LoopType::kForward;
    sample.loopStart = 0;
    sample.loopLength = static_cast<uint32_t>(count);
    return sample;
}

Instrument Instrument::FromSample(std::string name, Sample sample) {
    Instrument instrument;
    instrument.name = std::move(name);
    if (sample.name.empty()) sample.name = instrument.name;
    instrument.samples.push_back(std::move(sample));
    return instrument;
}

int Module::AddPattern(int rows) {
    patterns.emplace_back(rows, channels);
    return static_cast<int>(patterns.size()) - 1;
}

int Module::AddInstrument(Instrument instrument) {
    instruments.push_back(std::move(instrument));
    return static_cast<int>(instruments.size());
}

double Module::RowFrames(int rate) const { return speed * rate * 2.5 / bpm; }

bool Module::Write(std::vector<uint8_t>* out, std::string* error) const {
    if (!out) return Error(error, "no output given");
    out->clear();
    if (!CheckModule(*this, error)) return false;
    Bytes b(out);
    WriteHeader(b, *this);
    for (size_t p = 0; p < patterns.size(); ++p)
        if (!WritePattern(b, *this, p, error)) return false;
    for (size_t i = 0; i < instruments.size(); ++i) {
        const Instrument& instrument = instruments[i];
        const std::string where = "instrument " + std::to_string(i + 1);
        if (!CheckInstrument(instrument, where, error)) return false;
        WriteInstrumentHeader(b, instrument);
        for (const Sample& sample : instrument.samples) WriteSampleHeader(b, sample);
        for (const Sample& sample : instrument.samples) WriteSampleData(b, sample);
    }
    return true;
}

bool Module::WriteFile(const std::string& path, std::string* error) const {
    std::vector<uint8_t> image;
    if (!Write(&image, error)) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return Error(error, "cannot create " + path);
    bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    written = std::fclose(file) == 0 && written;
    if (!written) return Error(error, "cannot write " + path);
    return true;
}

}  // namespace xm
