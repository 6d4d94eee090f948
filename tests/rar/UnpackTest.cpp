// The RAR 2.0 unpacker and cipher: hand-made code tables (runs, differences, a repeat
// at the first position), matches, the window wrap, audio mode with 1 to 4 channels,
// and the cipher's block inverse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "RarTestUtil.h"
#include "RarWriter.h"
#include "rar/ArchiveInternal.h"
#include "rar/RarState.h"

using namespace rartest;

namespace {

std::string Unpack(const Bytes& packed, uint32_t size, unsigned long* delivered = nullptr) {
    std::string out(size, '\0');
    unsigned long n = ArchiveUnpackRaw(packed.data(), packed.size(), reinterpret_cast<uint8_t*>(&out[0]), size);
    if (delivered) *delivered = n;
    out.resize(n);
    return out;
}

// Level-table lengths: 19 four-bit fields.
void PutLevelLengths(Bits& b, std::initializer_list<std::pair<int, int>> lengths) {
    int len[19] = {};
    for (auto [sym, l] : lengths) len[sym] = l;
    for (int l : len) b.Put(static_cast<uint32_t>(l), 4);
}

// A first table whose first code is a repeat (16): there is no length before it, so it
// must repeat 0 rather than read before the table. Main table: 'A' and 'B', 1 bit each.
TEST(Unpack20, RepeatCodeAtTablePositionZero) {
    Bits b;
    b.Code("00");                                    // LZ, lengths absolute
    PutLevelLengths(b, {{1, 1}, {16, 2}, {18, 2}});  // 1:"0" 16:"10" 18:"11"
    b.Code("10"); b.Put(0, 2);                       // positions 0..2 repeat
    b.Code("11"); b.Put(62 - 11, 7);                 // 3..64 zero
    b.Code("0"); b.Code("0");                        // 65, 66 = 1
    b.Code("11"); b.Put(127, 7);                     // 67..204
    b.Code("11"); b.Put(127, 7);                     // 205..342
    b.Code("11"); b.Put(31 - 11, 7);                 // 343..373
    b.Code("0110");                                  // A B B A
    EXPECT_EQ(Unpack(b.Finish(), 4), "ABBA");
}

// A second table sent as differences (bit 0x4000) with every difference 0 keeps the
// codes; the switch symbol 269 comes from the first table.
TEST(Unpack20, TableSentAsDifferencesKeepsTheLengths) {
    Bits b;
    b.Code("00");
    PutLevelLengths(b, {{1, 2}, {2, 2}, {16, 2}, {18, 2}});  // 1:00 2:01 16:10 18:11
    b.Code("11"); b.Put(65 - 11, 7);                         // 0..64 zero
    b.Code("01"); b.Code("01");                              // 65, 66 = 2
    b.Code("11"); b.Put(127, 7);                             // 67..204
    b.Code("11"); b.Put(64 - 11, 7);                         // 205..268
    b.Code("00");                                            // 269 = 1
    b.Code("11"); b.Put(104 - 11, 7);                        // 270..373
    b.Code("10"); b.Code("11");                              // A B   (269:"0" 65:"10" 66:"11")
    b.Code("0");                                             // 269: new tables
    b.Code("01");                                            // LZ, differences
    PutLevelLengths(b, {{0, 1}, {1, 1}});
    for (int i = 0; i < 374; ++i) b.Code("0");
    b.Code("11"); b.Code("10");                              // B A
    EXPECT_EQ(Unpack(b.Finish(), 4), "ABBA");
}

TEST(Unpack20, MatchesAndLiteralsRoundTrip) {
    std::string runs = "x" + std::string(1000, 'y') + "xyz" + std::string(300, 'z');
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "abcdefghij"[(i * 7 + i / 100) % 10];
    std::string literals;
    uint32_t s = 1;
    for (int i = 0; i < 3000; ++i) {
        s = s * 1664525u + 1013904223u;
        literals += static_cast<char>(s >> 24);
    }
    for (const std::string& data : {runs, text, literals, std::string("q")}) {
        for (int method : {1, 3, 5}) {
            Bytes packed = rarpack::CompressRaw(reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                                                method, false);
            EXPECT_EQ(Unpack(packed, static_cast<uint32_t>(data.size())), data) << method;
            if (&data == &runs) {
                EXPECT_LT(packed.size(), 60u);  // distance-1 matches, not literals
            }
        }
    }
}

TEST(Unpack20, EntriesLongerThanTheWindowWrap) {
    std::string data;
    data.reserve(2600000);
    uint32_t s = 7;
    while (data.size() < 2600000) {
        s = s * 1664525u + 1013904223u;
        if ((s >> 28) < 4) {
            data += std::string(1 + (s >> 20) % 40, static_cast<char>(s >> 8));
        } else {
            size_t back = 1 + (s >> 4) % 1500000;
            if (back < data.size()) data += data.substr(data.size() - back, 50);
            else data += static_cast<char>(s >> 16);
        }
    }
    Bytes packed = rarpack::CompressRaw(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 1, false);
    EXPECT_EQ(Unpack(packed, static_cast<uint32_t>(data.size())), data);
}

// Interleaved smooth channels: the packer picks the audio mode; the weights the
// predictor adapts stay within their range.
TEST(Unpack20, AudioModeWithOneToFourChannels) {
    for (int channels = 1; channels <= 4; ++channels) {
        std::string data;
        uint32_t s = 5;
        for (int i = 0; i < 60000; ++i) {
            int c = i % channels, t = i / channels;
            s = s * 1664525u + 1013904223u;
            double v = 60 * std::sin(t / (15.0 + 7 * c)) + 40 * c + static_cast<int>(s >> 30);
            data += static_cast<char>(static_cast<int>(v));
        }
        Bytes packed = rarpack::CompressRaw(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 3, true);
        EXPECT_EQ(Unpack(packed, static_cast<uint32_t>(data.size())), data) << channels;
        EXPECT_TRUE(rar::g.audioMode) << channels;
        for (int k = 0; k < 4; ++k) {
            const rar::AudioChannelState& v = rar::g.audio[k];
            for (int w : {v.K1, v.K2, v.K3, v.K4, v.K5}) {
                EXPECT_GE(w, -17);
                EXPECT_LE(w, 16);
            }
        }
        EXPECT_LT(packed.size(), data.size() / 2) << channels;
        EXPECT_EQ(rar::g.channels, channels);
    }
}

TEST(Unpack20, OverrunningDataStopsAtTheBuffer) {
    std::string data(5000, 'k');
    Bytes packed = rarpack::CompressRaw(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 3, false);
    unsigned long delivered = 0;
    // Told the entry is shorter than the data: never more than the buffer is written.
    std::string out = Unpack(packed, 1000, &delivered);
    EXPECT_LE(delivered, 1000u);
    // Told it is longer: the data runs out and decoding stops.
    out = Unpack(packed, 9000, &delivered);
    EXPECT_LE(delivered, 9000u);
    // Garbage never loops forever nor writes outside the window or buffer.
    Bytes junk(3000);
    uint32_t s = 99;
    for (uint8_t& b : junk) {
        s = s * 1103515245u + 12345u;
        b = static_cast<uint8_t>(s >> 16);
    }
    for (int i = 0; i < 50; ++i) {
        junk[i * 37 % junk.size()] ^= 0xFF;
        Unpack(junk, 70000, &delivered);
        EXPECT_LE(delivered, 70000u);
    }
    Unpack(Bytes{}, 10, &delivered);
    EXPECT_EQ(delivered, 0u);
}

TEST(Crypt20, EncryptUndoesDecryptUnderTheSameKey) {
    rar::Crc32Init();
    rar::SetupCryptKey("kavlo");
    uint32_t key[4];
    memcpy(key, rar::g.key, sizeof key);
    unsigned char block[16], original[16];
    for (int i = 0; i < 16; ++i) original[i] = block[i] = static_cast<unsigned char>(i * 17 + 3);
    rar::DecryptBlock(block);
    EXPECT_NE(memcmp(block, original, 16), 0);
    memcpy(rar::g.key, key, sizeof key);
    rar::EncryptBlock(block);
    EXPECT_EQ(memcmp(block, original, 16), 0);
    // The key moves on after each block: the same block encrypts differently next time.
    unsigned char again[16];
    memcpy(again, original, 16);
    rar::EncryptBlock(again);
    EXPECT_NE(memcmp(again, block, 16), 0);
}

TEST(Crypt20, SubstitutionTableStaysAPermutation) {
    rar::Crc32Init();
    for (const char* pw : {"a", "pw", "a much longer password of many words, 48 chars!"}) {
        rar::SetupCryptKey(pw);
        bool seen[256] = {};
        for (int i = 0; i < 256; ++i) seen[rar::g.subst[i]] = true;
        for (int i = 0; i < 256; ++i) EXPECT_TRUE(seen[i]) << pw << " " << i;
    }
}

}  // namespace
