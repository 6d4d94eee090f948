// The RAR 2.0 unpacker: LZ77 over the 1 MB window with four Huffman tables and repeat
// distances, the multimedia (audio) mode with its adaptive predictor, solid
// continuation and the window flush into the caller's buffer.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "Rar20Tables.h"
#include "RarState.h"

namespace rar {

unsigned ReadPackedInto(unsigned char* buffer, unsigned count, unsigned capacity);

namespace {

constexpr const char* kSource = "Unpack20.cpp";

using rar20::kDistBase;
using rar20::kDistBits;
using rar20::kLengthBase;
using rar20::kLengthBits;
using rar20::kShortBase;
using rar20::kShortBits;

// ---------------------------------------------------------------- bit input

inline unsigned Peek16() {
    unsigned p = g.inAddr;
    if (p + 2 >= sizeof g.input) return 0;  // only reachable on corrupt data
    unsigned v = (static_cast<unsigned>(g.input[p]) << 16) | (static_cast<unsigned>(g.input[p + 1]) << 8) |
                 g.input[p + 2];
    return (v >> (8 - g.inBit)) & 0xFFFF;
}

inline void Advance(unsigned bits) {
    unsigned b = g.inBit + bits;
    g.inAddr += b >> 3;
    g.inBit = b & 7;
}

inline unsigned ReadBits(unsigned n) {
    unsigned v = Peek16() >> (16 - n);
    Advance(n);
    return v;
}

inline bool InputExhausted() {
    return g.inAddr > g.inputEnd || (g.inAddr == g.inputEnd && g.inBit > 0);
}

void RefillInput(bool first) {
    if (first) {
        g.readTop = ReadPackedInto(g.input, kInputSize, kInputSize);
        g.inputEnd = g.readTop;
        g.inAddr = 0;
        return;
    }
    if (g.inAddr < kInputSize - 32 || g.inAddr >= kInputSize) {
        g.inputExhausted = true;  // positions only corrupt data can reach
        return;
    }
    memmove(g.input, g.input + kInputSize - 32, 32);
    g.inAddr -= kInputSize - 32;
    unsigned carried = g.inputEnd > kInputSize - 32 ? g.inputEnd - (kInputSize - 32) : 0;
    unsigned n = ReadPackedInto(g.input + 32, kInputSize - 32, kInputSize - 32);
    g.readTop = n > 0 ? n + 32 : g.inAddr;
    g.inputEnd = carried + n;
}

// ---------------------------------------------------------------- Huffman tables

void BuildDecodeTable(const unsigned char* lengths, HuffmanTable* table, int symbolCount) {
    unsigned count[16] = {};
    for (int i = 0; i < symbolCount; ++i) count[lengths[i] & 0xF]++;
    count[0] = 0;
    unsigned next[16] = {};
    table->limits[0] = 0;
    table->firstIndex[0] = 0;
    unsigned N = 0;
    for (int n = 1; n < 16; ++n) {
        N = 2 * (N + count[n]);
        unsigned limit = N << (15 - n);
        table->limits[n] = limit > 0xFFFF ? 0xFFFF : limit;
        table->firstIndex[n] = table->firstIndex[n - 1] + count[n - 1];
        next[n] = table->firstIndex[n];
    }
    for (int s = 0; s < symbolCount; ++s) {
        unsigned len = lengths[s] & 0xF;
        if (len != 0) table->symbols[next[len]++] = static_cast<unsigned>(s);
    }
    table->symbolCount = static_cast<unsigned>(symbolCount);
}

unsigned DecodeSymbol(const HuffmanTable* t) {
    unsigned v = Peek16() & 0xFFFE;
    const uint32_t* L = t->limits;
    unsigned n;
    if (v < L[8]) {
        if (v < L[4]) {
            if (v < L[2]) n = v < L[1] ? 1 : 2;
            else n = v < L[3] ? 3 : 4;
        } else {
            if (v < L[6]) n = v < L[5] ? 5 : 6;
            else n = v < L[7] ? 7 : 8;
        }
    } else {
        if (v < L[12]) {
            if (v < L[10]) n = v < L[9] ? 9 : 10;
            else n = v < L[11] ? 11 : 12;
        } else {
            if (v < L[14]) n = v < L[13] ? 13 : 14;
            else n = 15;
        }
    }
    Advance(n);
    unsigned index = t->firstIndex[n] + ((v - L[n - 1]) >> (16 - n));
    if (index >= t->symbolCount) index = 0;
    return t->symbols[index];
}

void ReadCodeTables() {
    if (g.inAddr > kInputSize - 25) RefillInput(false);
    unsigned h = Peek16();
    g.audioMode = (h & 0x8000) != 0;
    if (!(h & 0x4000)) memset(g.oldLengths, 0, sizeof g.oldLengths);
    Advance(2);
    unsigned tableSize;
    if (g.audioMode) {
        g.channels = static_cast<int>(((h >> 12) & 3) + 1);
        if (g.currentChannel >= g.channels) g.currentChannel = 0;
        Advance(2);
        tableSize = kAudioSymbols * static_cast<unsigned>(g.channels);
    } else {
        tableSize = kLzTableSize;
    }
    unsigned char levelLengths[kLevelSymbols];
    for (unsigned i = 0; i < kLevelSymbols; ++i) levelLengths[i] = static_cast<unsigned char>(ReadBits(4));
    BuildDecodeTable(levelLengths, &g.levelTable, kLevelSymbols);

    // Positions past the table size stay zero, so a later table read as differences
    // never builds on undefined lengths.
    unsigned char lengths[kOldTableSize] = {};
    unsigned i = 0;
    while (i < tableSize) {
        if (g.inAddr > kInputSize - 5) RefillInput(false);
        unsigned c = DecodeSymbol(&g.levelTable);
        if (c < 16) {
            lengths[i] = static_cast<unsigned char>((c + g.oldLengths[i]) & 0xF);
            ++i;
        } else if (c == 16) {
            unsigned n = ReadBits(2) + 3;
            // A repeat at the very first position has nothing before it: it repeats 0.
            for (; n > 0 && i < tableSize; --n, ++i) lengths[i] = i > 0 ? lengths[i - 1] : 0;
        } else {
            unsigned n = c == 17 ? ReadBits(3) + 3 : ReadBits(7) + 11;
            for (; n > 0 && i < tableSize; --n, ++i) lengths[i] = 0;
        }
    }
    if (g.audioMode) {
        for (int k = 0; k < g.channels; ++k)
            BuildDecodeTable(lengths + kAudioSymbols * k, &g.audioTables[k], kAudioSymbols);
    } else {
        BuildDecodeTable(lengths, &g.mainTable, kMainSymbols);
        BuildDecodeTable(lengths + kMainSymbols, &g.distTable, kDistSymbols);
        BuildDecodeTable(lengths + kMainSymbols + kDistSymbols, &g.repTable, kRepSymbols);
    }
    memcpy(g.oldLengths, lengths, sizeof g.oldLengths);
}

void ReadFinalTables() {
    if (g.readTop < g.inAddr + 5) return;
    if (g.audioMode) {
        if (DecodeSymbol(&g.audioTables[g.currentChannel]) == 256) ReadCodeTables();
    } else if (DecodeSymbol(&g.mainTable) == 269) {
        ReadCodeTables();
    }
}

// ---------------------------------------------------------------- output

void FlushWindow() {
    if (!g.found || !g.output) return;
    unsigned long out = *g.outSize;
    unsigned amount = (g.writePos - g.flushedPos) & kWindowMask;
    if (out + amount > g.fileHeader.unpSize) {
        RAR_LOG(kSource, "Fatal! Buffer overrun during decompression!");
        g.unpackedLeft = -1;
        return;
    }
    unsigned from = g.flushedPos & kWindowMask;
    if (from + amount > kWindowSize) {
        unsigned first = kWindowSize - from;
        memcpy(g.output + out, g.window + from, first);
        memcpy(g.output + out + first, g.window, amount - first);
    } else {
        memcpy(g.output + out, g.window + from, amount);
    }
    *g.outSize = out + amount;
}

inline void CopyMatch(unsigned length, unsigned distance) {
    g.lastLength = length;
    g.recentDist[g.distCounter & 3] = distance;
    g.distCounter++;
    g.lastDist = distance;
    g.unpackedLeft -= static_cast<int32_t>(length);
    g.windowDirtyBytes += length;
    uint8_t* w = g.window;
    unsigned pos = g.writePos & kWindowMask;
    if (distance >= length && distance <= pos && pos + length <= kWindowSize) {
        memcpy(w + pos, w + pos - distance, length);  // common case: no wrap, no overlap
        g.writePos = (pos + length) & kWindowMask;
        return;
    }
    for (unsigned i = 0; i < length; ++i) {
        w[pos] = w[(pos - distance) & kWindowMask];
        pos = (pos + 1) & kWindowMask;
    }
    g.writePos = pos;
}

// ---------------------------------------------------------------- audio predictor

unsigned char PredictAudioByte(int delta) {
    return rar::AudioPredictorStep(g.audio[g.currentChannel], g.channelDelta, delta);
}

void ResetUnpackState() {
    g.inAddr = 0;
    g.inBit = 0;
    g.inputExhausted = false;
    if (g.fileHeader.flags & 0x0010) return;
    g.currentChannel = 0;
    g.channelDelta = 0;
    memset(g.audio, 0, sizeof g.audio);
    memset(g.recentDist, 0, sizeof g.recentDist);
    memset(g.oldLengths, 0, sizeof g.oldLengths);
    g.distCounter = 0;
    g.lastDist = 0;
    g.lastLength = 0;
    g.writePos = 0;
    g.flushedPos = 0;
    // Only what was written since the last reset needs zeroing: a run of many tiny
    // entries must not clear the whole window for each.
    if (g.windowDirtyBytes > 0)
        memset(g.window, 0, g.windowDirtyBytes < kWindowSize ? static_cast<size_t>(g.windowDirtyBytes) : kWindowSize);
    g.windowDirtyBytes = 0;
    // A non-solid entry always starts with its own tables; these defaults only matter
    // for a forged first entry that claims to continue a solid state.
    g.audioMode = false;
    g.channels = 1;
}

}  // namespace

void UnpackNewArchive(unsigned char* window) {
    g.window = window;
    g.windowDirtyBytes = 0;  // the window comes zeroed
    g.writePos = g.flushedPos = 0;
    g.currentChannel = 0;
    g.channelDelta = 0;
    memset(g.audio, 0, sizeof g.audio);
    memset(g.recentDist, 0, sizeof g.recentDist);
    memset(g.oldLengths, 0, sizeof g.oldLengths);
    g.distCounter = g.lastDist = g.lastLength = 0;
    g.audioMode = false;
    g.channels = 1;
    for (HuffmanTable* t : {&g.mainTable, &g.distTable, &g.repTable, &g.levelTable, &g.audioTables[0],
                            &g.audioTables[1], &g.audioTables[2], &g.audioTables[3]})
        *t = HuffmanTable();
}

void Unpack(unsigned char* window) {
    g.window = window;
    ResetUnpackState();
    RefillInput(true);
    if (!(g.fileHeader.flags & 0x0010)) ReadCodeTables();
    --g.unpackedLeft;
    while (g.unpackedLeft >= 0) {
        g.writePos &= kWindowMask;
        if (g.inAddr > kInputSize - 30) RefillInput(false);
        if (g.inputExhausted || InputExhausted()) break;  // the packed data ran out
        if (((g.flushedPos - g.writePos) & kWindowMask) < 270 && g.flushedPos != g.writePos) {
            FlushWindow();
            g.flushedPos = g.writePos;
        }
        if (g.audioMode) {
            unsigned s = DecodeSymbol(&g.audioTables[g.currentChannel]);
            if (s == 256) {
                ReadCodeTables();
                continue;
            }
            g.window[g.writePos] = PredictAudioByte(static_cast<int>(s));
            g.writePos = (g.writePos + 1) & kWindowMask;
            g.windowDirtyBytes++;
            if (++g.currentChannel == g.channels) g.currentChannel = 0;
            --g.unpackedLeft;
            continue;
        }
        unsigned s = DecodeSymbol(&g.mainTable);
        if (s < 256) {
            g.window[g.writePos] = static_cast<uint8_t>(s);
            g.writePos = (g.writePos + 1) & kWindowMask;
            g.windowDirtyBytes++;
            --g.unpackedLeft;
        } else if (s >= 270) {
            unsigned i = s - 270;
            unsigned length = kLengthBase[i] + 3;
            if (kLengthBits[i]) length += ReadBits(kLengthBits[i]);
            unsigned j = DecodeSymbol(&g.distTable);
            unsigned distance = kDistBase[j] + 1;
            if (kDistBits[j]) distance += ReadBits(kDistBits[j]);
            if (distance >= 0x2000) {
                ++length;
                if (distance >= 0x40000) ++length;
            }
            CopyMatch(length, distance);
        } else if (s == 269) {
            ReadCodeTables();
        } else if (s == 256) {
            CopyMatch(g.lastLength, g.lastDist);
        } else if (s < 261) {
            unsigned distance = g.recentDist[(g.distCounter - (s - 256)) & 3];
            unsigned k = DecodeSymbol(&g.repTable);
            unsigned length = kLengthBase[k] + 2;
            if (kLengthBits[k]) length += ReadBits(kLengthBits[k]);
            if (distance >= 0x101) {
                ++length;
                if (distance >= 0x2000) {
                    ++length;
                    if (distance >= 0x40000) ++length;
                }
            }
            CopyMatch(length, distance);
        } else {
            unsigned i = s - 261;
            unsigned distance = kShortBase[i] + 1;
            if (kShortBits[i]) distance += ReadBits(kShortBits[i]);
            CopyMatch(2, distance);
        }
    }
    ReadFinalTables();
    FlushWindow();
    g.flushedPos = g.writePos;
}

}  // namespace rar
