// Streams that switch between LZ and audio mode with tables sent as differences (bit
// 0x4000), from a small encoder of their own: in one entry and across the entries of
// a solid archive, read byte-exact by our reader and, where installed, by unar.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "RarTestUtil.h"
#include "rar/ArchiveInternal.h"
#include "rar/ArchiveReader.h"
#include "rar/RarState.h"

using namespace rartest;

namespace {

// Writes RAR 2.0 symbols with fixed, complete codes: in LZ mode the 256 literals take
// 9 bits ("1" + the byte) and the table switch (269) one bit ("0"); in audio mode the
// same for the 256 deltas and the switch (256). Level codes are 4 bits, one per length.
// It mirrors the unpacker's state: previous lengths (kept past a smaller table),
// current channel and predictor.
class ModeStream {
public:
    // A table read: LZ (channels 0) or audio with 1..4 channels; `delta` sends each
    // length as its difference to the previous one at that position.
    void Table(int channels, bool delta) {
        bits_.Put((channels ? 2u : 0u) | (delta ? 1u : 0u), 2);
        if (channels) bits_.Put(static_cast<uint32_t>(channels - 1), 2);
        for (int i = 0; i < 19; ++i) bits_.Put(i < 16 ? 4 : 0, 4);
        if (!delta)
            for (uint8_t& l : old_) l = 0;
        uint8_t lengths[1028] = {};
        unsigned size;
        if (channels) {
            size = 257u * static_cast<unsigned>(channels);
            for (unsigned i = 0; i < size; ++i) lengths[i] = (i % 257) < 256 ? 9 : 1;
            if (channel_ >= channels) channel_ = 0;
        } else {
            size = 374;
            for (unsigned i = 0; i < 256; ++i) lengths[i] = 9;
            lengths[269] = 1;
            lengths[298] = lengths[299] = 1;  // distances
            lengths[346] = lengths[347] = 1;  // repeat lengths
        }
        for (unsigned i = 0; i < size; ++i) {
            bits_.Put((lengths[i] - old_[i]) & 15, 4);
            old_[i] = lengths[i];
        }
        channels_ = channels;
    }
    void Switch() { bits_.Code("0"); }
    void Bytes(const std::string& s) {
        for (unsigned char b : s) {
            bits_.Code("1");
            if (channels_) {
                rar::AudioChannelState& v = voice_[channel_];
                int delta = (rar::AudioPrediction(v, rar::NextNeighbours(v), channelDelta_) - b) & 0xFF;
                rar::AudioPredictorStep(v, channelDelta_, delta);
                bits_.Put(static_cast<uint32_t>(delta), 8);
                if (++channel_ == channels_) channel_ = 0;
            } else {
                bits_.Put(b, 8);
            }
        }
    }
    // Ends the packed data of an entry: a literal nobody reads (never a table switch)
    // and the zero bytes other readers peek at.
    rartest::Bytes Finish() {
        bits_.Code("1");
        bits_.Put(0, 8);
        rartest::Bytes out = bits_.Finish();
        bits_ = Bits();
        return out;
    }

private:
    Bits bits_;
    uint8_t old_[1028] = {};
    int channels_ = 0;
    int channel_ = 0;
    int channelDelta_ = 0;
    rar::AudioChannelState voice_[4] = {};
};

std::string Wave(size_t n, int phase) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>((i * 3 + phase) % 200 + (i % 4) * 10);
    return s;
}

bool HaveUnar() { return system("unar -v >/dev/null 2>&1") == 0; }

struct Part {
    std::string name;
    rartest::Bytes packed;
    std::string data;
};

// Writes the entries as one archive and checks every one through ArchiveGetFile, the
// walk and unar.
void CheckArchive(const std::string& file, const std::vector<Part>& parts, bool solid) {
    rartest::Bytes a = Concat({Marker(), MainHeader(solid ? 0x0008 : 0)});
    for (size_t i = 0; i < parts.size(); ++i) {
        FileBlock f;
        f.name = parts[i].name;
        f.packed = parts[i].packed;
        f.unpackedSize = static_cast<uint32_t>(parts[i].data.size());
        f.crc = FileCrc(rartest::Bytes(parts[i].data.begin(), parts[i].data.end()));
        f.method = 0x33;
        f.flags = static_cast<uint16_t>(0x8000 | (solid && i > 0 ? 0x0010 : 0));
        rartest::Bytes b = Block(f);
        a.insert(a.end(), b.begin(), b.end());
    }
    ASSERT_TRUE(WriteFile(file, a));
    for (const Part& p : parts) {
        void* out = nullptr;
        unsigned long size = 0;
        ASSERT_TRUE(ArchiveGetFile(&out, &size, p.name.c_str(), file.c_str(), "")) << file << " " << p.name;
        EXPECT_TRUE(std::string(static_cast<char*>(out), size) == p.data) << p.name;
        free(out);
    }
    if (!HaveUnar()) return;
    const std::string dir = file + ".unar";
    const std::string cmd = "rm -rf '" + dir + "' && unar -q -D -o '" + dir + "' '" + file + "' >/dev/null 2>&1";
    ASSERT_EQ(system(cmd.c_str()), 0) << "unar fails on " << file;
    for (const Part& p : parts) {
        rartest::Bytes got = ReadFile(dir + "/" + p.name);
        EXPECT_TRUE(std::string(got.begin(), got.end()) == p.data) << "unar: " << p.name;
    }
}

// In one entry: audio(4) -> LZ -> audio(4), the later tables as differences. The
// second audio table builds on the lengths the first left past the LZ table's 374.
TEST(ModeSwitch, AudioLzAudioInOneEntry) {
    ModeStream m;
    std::string data;
    m.Table(4, false);
    m.Bytes(Wave(3000, 0));
    m.Switch();
    m.Table(0, true);
    m.Bytes("literal text between two audio runs");
    m.Switch();
    m.Table(4, true);
    m.Bytes(Wave(2001, 7));
    data = Wave(3000, 0) + "literal text between two audio runs" + Wave(2001, 7);
    CheckArchive("switch1.rar", {{"one.raw", m.Finish(), data}}, false);
}

// LZ -> audio(2) -> audio(4) in one entry, and the same growth across solid entries
// after an audio(4) table: each table is differences to what the one before left.
TEST(ModeSwitch, GrowingTablesInOneEntryAndAcrossSolidEntries) {
    ModeStream m;
    m.Table(0, false);
    m.Bytes("lz first");
    m.Switch();
    m.Table(2, true);
    m.Bytes(Wave(999, 3));
    m.Switch();
    m.Table(4, true);
    m.Bytes(Wave(1500, 5));
    CheckArchive("switch2.rar", {{"grow.raw", m.Finish(), "lz first" + Wave(999, 3) + Wave(1500, 5)}}, false);

    ModeStream s;
    std::vector<Part> parts;
    s.Table(4, false);
    s.Bytes(Wave(1200, 1));
    parts.push_back({"a.raw", s.Finish(), Wave(1200, 1)});
    s.Switch();
    s.Table(0, true);
    s.Bytes("the LZ entry");
    parts.push_back({"b.txt", s.Finish(), "the LZ entry"});
    s.Switch();
    s.Table(2, true);
    s.Bytes(Wave(777, 2));
    parts.push_back({"c.raw", s.Finish(), Wave(777, 2)});
    s.Switch();
    s.Table(4, true);
    s.Bytes(Wave(1001, 4));
    s.Switch();
    s.Table(0, true);
    s.Bytes("and LZ again");
    parts.push_back({"d.raw", s.Finish(), Wave(1001, 4) + "and LZ again"});
    CheckArchive("switch3.rar", parts, true);
}

}  // namespace
