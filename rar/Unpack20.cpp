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

#if defined(__GNUC__)
#define RAR_NOINLINE __attribute__((noinline))
#define RAR_INLINE __attribute__((always_inline))
#else
#define RAR_NOINLINE
#define RAR_INLINE
#endif

// A decoding step starts only below this byte position; one step reads at most 51
// bits, so its 4-byte peeks stay inside the block.
constexpr unsigned kRefillAbove = kInputSize - 30;

using rar20::kDistBase;
using rar20::kDistBits;
using rar20::kLengthBase;
using rar20::kLengthBits;
using rar20::kShortBase;
using rar20::kShortBits;

// ---------------------------------------------------------------- bit input

// The 16 bits at (addr, bit), most significant first; the caller guarantees 4 bytes.
inline unsigned PeekAt(const uint8_t* in, unsigned addr, unsigned bit) {
    const uint8_t* p = in + addr;
    uint32_t w = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                 (static_cast<uint32_t>(p[2]) << 8) | p[3];
    return (w << bit) >> 16;
}

// Checked peek for table reads and the final peek: on corrupt data the position can
// run past the block there.
inline unsigned Peek16() {
    if (g.inAddr + 4 > sizeof g.input) return 0;
    return PeekAt(g.input, g.inAddr, g.inBit);
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

// Bytes past the valid input read as zeros, whatever an earlier entry or call left.
void ClearInputTail(unsigned from) {
    if (from < sizeof g.input) memset(g.input + from, 0, sizeof g.input - from);
}

void RefillInput(bool first) {
    if (first) {
        g.readTop = ReadPackedInto(g.input, kInputSize, kInputSize);
        g.inputEnd = g.readTop;
        g.inAddr = 0;
        ClearInputTail(g.readTop);
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
    ClearInputTail(32 + n);
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

    // The lookup gives what the limit search gives. Limits of lengths up to kQuickBits
    // are multiples of 2^(16 - kQuickBits) (or 0xFFFF, above every peek), so the top
    // bits of a peek decide both its length and its index.
    constexpr unsigned kShift = 16 - kQuickBits;
    unsigned p = 0;
    for (unsigned n = 1; n <= kQuickBits; ++n) {
        const unsigned limit = table->limits[n];
        const unsigned end = limit >= 0xFFFF ? (1u << kQuickBits) : limit >> kShift;
        for (; p < end; ++p) {
            unsigned index = table->firstIndex[n] + (((p << kShift) - table->limits[n - 1]) >> (16 - n));
            if (index >= table->symbolCount) index = 0;
            table->quick[p] = static_cast<uint16_t>((table->symbols[index] << 4) | n);
        }
    }
    for (; p < (1u << kQuickBits); ++p) table->quick[p] = 0;
}

// A code longer than kQuickBits: the smallest length whose limit lies above the peek.
RAR_NOINLINE unsigned DecodeLong(const HuffmanTable* t, unsigned peek, unsigned* length) {
    const unsigned v = peek & 0xFFFE;
    const uint32_t* L = t->limits;
    unsigned n = kQuickBits + 1;
    while (n < 15 && v >= L[n]) ++n;
    *length = n;
    unsigned index = t->firstIndex[n] + ((v - L[n - 1]) >> (16 - n));
    if (index >= t->symbolCount) index = 0;
    return t->symbols[index];
}

inline unsigned DecodeAt(const HuffmanTable* t, unsigned peek, unsigned* length) {
    const unsigned e = t->quick[peek >> (16 - kQuickBits)];
    if (e & 0xF) {
        *length = e & 0xF;
        return e >> 4;
    }
    return DecodeLong(t, peek, length);
}

unsigned DecodeSymbol(const HuffmanTable* t) {
    unsigned n;
    unsigned s = DecodeAt(t, Peek16(), &n);
    Advance(n);
    return s;
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

    // Positions at and past the table size keep what earlier, larger tables left, so a
    // table that grows again (LZ, then audio with more channels) builds its differences
    // on them, as other RAR 2.0 extractors do.
    unsigned char lengths[kOldTableSize];
    memcpy(lengths, g.oldLengths, sizeof lengths);
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

// Copies `length` bytes from `distance` back to the write position `pos`, byte by byte
// in effect (a distance below the length repeats the pattern); returns the new position.
inline unsigned CopyMatch(uint8_t* w, unsigned pos, unsigned length, unsigned distance) {
    if (pos + length <= kWindowSize && distance <= pos && distance != 0) {
        uint8_t* d = w + pos;
        const uint8_t* s = d - distance;
        if (distance >= length) {  // apart: whole words, the last one may overlap the one before
            if (length >= 8) {
                unsigned n = length;
                for (; n > 8; n -= 8, d += 8, s += 8) memcpy(d, s, 8);
                memcpy(d + n - 8, s + n - 8, 8);
            } else if (length >= 4) {
                uint32_t a, b;
                memcpy(&a, s, 4);
                memcpy(&b, s + length - 4, 4);
                memcpy(d, &a, 4);
                memcpy(d + length - 4, &b, 4);
            } else {
                for (unsigned i = 0; i < length; ++i) d[i] = s[i];
            }
        } else if (distance == 1) {
            memset(d, s[0], length);
        } else if (distance >= 8) {  // each 8-byte step reads only bytes already final
            unsigned n = length;
            for (; n >= 8; n -= 8, d += 8, s += 8) memcpy(d, s, 8);
            for (unsigned i = 0; i < n; ++i) d[i] = s[i];
        } else {
            for (unsigned i = 0; i < length; ++i) d[i] = s[i];
        }
        return (pos + length) & kWindowMask;
    }
    for (unsigned i = 0; i < length; ++i) {
        w[pos] = w[(pos - distance) & kWindowMask];
        pos = (pos + 1) & kWindowMask;
    }
    return pos;
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

inline uint64_t LoadBigEndian64(const uint8_t* p) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t w;
    memcpy(&w, p, 8);
    return __builtin_bswap64(w);
#else
    uint64_t w = 0;
    for (int i = 0; i < 8; ++i) w = (w << 8) | p[i];
    return w;
#endif
}

// The input bits from a position on, most significant first, held in a register:
// decoding a symbol then costs a shift and a table lookup, not a load per peek. Below
// the `count` valid bits the register holds zeros or the input's next bits, so a
// refill can OR whole bytes in.
struct BitWindow {
    const uint8_t* base;  // the input block
    const uint8_t* next;  // the byte that follows the valid bits
    uint64_t bits;
    unsigned count;

    void Start(const uint8_t* block, unsigned pos) {
        base = block;
        next = block + (pos >> 3);
        bits = 0;
        count = 0;
        Refill();
        Skip(pos & 7);
    }
    unsigned Pos() const { return static_cast<unsigned>(next - base) * 8 - count; }
    void Refill() {  // to 56 valid bits or more
        bits |= LoadBigEndian64(next) >> count;
        next += (63 - count) >> 3;
        count |= 56;
    }
    void Ensure(unsigned n) {
        if (count < n) Refill();
    }
    unsigned Peek16() const { return static_cast<unsigned>(bits >> 48); }
    void Skip(unsigned n) {
        bits <<= n;
        count -= n;
    }
    unsigned Take(unsigned n) {  // 1..16 bits
        unsigned v = static_cast<unsigned>(bits >> (64 - n));
        Skip(n);
        return v;
    }
    unsigned Symbol(const HuffmanTable* t) {
        unsigned n;
        unsigned s;
        const unsigned e = t->quick[bits >> (64 - kQuickBits)];
        if (e & 0xF) {
            n = e & 0xF;
            s = e >> 4;
        } else {
            s = DecodeLong(t, Peek16(), &n);
        }
        Skip(n);
        return s;
    }
};

// A run of audio steps that needs no checks: at most `count` of them (the caller bounds
// it by the input, the flush point and the bytes left). Stops after the table-switch
// symbol, setting `switched`. Returns the bytes written. Kept apart from the LZ loop so
// its state fits in registers, and made for each channel count so the channels of one
// round are fixed.
struct AudioRun {
    BitWindow in;
    uint8_t* win;
    unsigned wp;
    int channel, channelDelta;
    AudioChannelState* voice;
    const HuffmanTable* tables;
    bool switched;
};

template <int kChannels>
RAR_NOINLINE unsigned RunAudio(AudioRun& r, unsigned count) {
    BitWindow in = r.in;
    uint8_t* const start = r.win + r.wp;  // the caller keeps the run short of the window's end
    uint8_t* const end = start + count;
    uint8_t* out = start;
    AudioChannelState* const voice = r.voice;
    const HuffmanTable* const tables = r.tables;
    int channel = r.channel, channelDelta = r.channelDelta;
    // A code has at most 15 bits; a refill leaves at least 56.
    auto step = [&](int c) RAR_INLINE {
        const unsigned s = in.Symbol(tables + c);
        if (s == 256) return false;
        *out++ = AudioPredictorStep(voice[c], channelDelta, static_cast<int>(s));
        return true;
    };
    bool switched = false;
    // Up to the first channel, then whole rounds, then the rest.
    while (channel != 0 && out < end) {
        in.Ensure(15);
        if (!step(channel)) {
            switched = true;
            break;
        }
        if (++channel == kChannels) channel = 0;
    }
    // One round: the channel where the table switch came, or -1.
    auto round = [&]() RAR_INLINE -> int {
        in.Ensure(kChannels < 3 ? 15 * kChannels : 45);
        if (!step(0)) return 0;
        if (kChannels > 1 && !step(1)) return 1;
        if (kChannels > 2 && !step(2)) return 2;
        if (kChannels > 3) {
            in.Ensure(15);
            if (!step(3)) return 3;
        }
        return -1;
    };
    if (!switched) {
        while (end - out >= kChannels) {
            const int at = round();
            if (at >= 0) {
                switched = true;
                channel = at;
                break;
            }
        }
        while (!switched && out < end) {
            in.Ensure(15);
            if (!step(channel)) {
                switched = true;
                break;
            }
            if (++channel == kChannels) channel = 0;
        }
    }
    r.in = in;
    r.wp = static_cast<unsigned>(out - r.win) & kWindowMask;
    r.channel = channel;
    r.channelDelta = channelDelta;
    r.switched = switched;
    return static_cast<unsigned>(out - start);
}

// The main loop. Its hot state lives in locals while it runs: every byte stored into
// the window could otherwise alias the module state and force it to be reloaded.
// Everything that leaves the loop (refill, flush, table read) goes through `g`.
// Steps run without input checks while the byte position is below both the refill
// point and the end of the valid input; one step reads at most 51 bits.
void DecodeLoop() {
    uint8_t* const win = g.window;
    BitWindow in{g.input, g.input, 0, 0};
    unsigned wp, flushed, fastEnd;
    int64_t left;
    uint64_t written = 0;
    bool audio;
    int channels, channel;

    auto load = [&] {
        if (g.inAddr + 16 <= sizeof g.input) {
            in.Start(g.input, g.inAddr * 8 + g.inBit);
        } else {  // only corrupt tables get here; the next checkpoint ends the loop
            in.next = g.input + g.inAddr + 1;
            in.bits = 0;
            in.count = 8 - g.inBit;
        }
        wp = g.writePos & kWindowMask;
        flushed = g.flushedPos;
        left = g.unpackedLeft;
        audio = g.audioMode;
        channels = g.channels;
        channel = g.currentChannel;
        fastEnd = g.inputEnd < kRefillAbove + 1 ? g.inputEnd : kRefillAbove + 1;
    };
    auto save = [&] {
        g.inAddr = in.Pos() >> 3;
        g.inBit = in.Pos() & 7;
        g.writePos = wp;
        g.unpackedLeft = left;
        g.currentChannel = channel;
        g.windowDirtyBytes += written;
        written = 0;
    };
    // Refill, end of input and flush; false when the packed data ran out.
    auto checkpoint = [&] {
        if ((in.Pos() >> 3) >= fastEnd) {
            save();
            if (g.inAddr > kRefillAbove) RefillInput(false);
            if (g.inputExhausted || InputExhausted()) return false;
            load();
        }
        // 270 exceeds the most one step writes (260), so unflushed bytes survive.
        if (((flushed - wp) & kWindowMask) - 1u < 269u) {
            save();
            FlushWindow();
            g.flushedPos = g.writePos;
            load();
        }
        return true;
    };
    auto readTables = [&] {
        save();
        ReadCodeTables();
        load();
    };

    unsigned recent[4], counter = g.distCounter, lastDist = g.lastDist, lastLength = g.lastLength;
    memcpy(recent, g.recentDist, sizeof recent);
    int channelDelta = g.channelDelta;
    AudioChannelState voice[4];
    memcpy(voice, g.audio, sizeof voice);
    auto match = [&](unsigned length, unsigned distance) {
        lastLength = length;
        recent[counter & 3] = distance;
        counter++;
        lastDist = distance;
        left -= length;
        written += length;
        wp = CopyMatch(win, wp, length, distance);
    };

    load();
    bool more = true;
    while (more && left >= 0) {
        if (audio) {
            while (left >= 0) {
                if (!(more = checkpoint())) break;
                // A run of steps that needs no checkpoint: an audio code has at most
                // 15 bits and a step writes one byte.
                const unsigned bitEnd = fastEnd * 8;
                const unsigned pos = in.Pos();
                unsigned run = bitEnd > pos ? (bitEnd - pos - 1) / 15 + 1 : 1;
                const unsigned gap = (flushed - wp) & kWindowMask;
                const unsigned beforeFlush = (gap == 0 ? kWindowSize : gap) - 269;
                if (run > beforeFlush) run = beforeFlush;
                if (static_cast<int64_t>(run) > left + 1) run = static_cast<unsigned>(left + 1);
                if (run > kWindowSize - wp) run = kWindowSize - wp;
                AudioRun r{in, win, wp, channel, channelDelta, voice, g.audioTables, false};
                unsigned done;
                switch (channels) {
                    case 1: done = RunAudio<1>(r, run); break;
                    case 2: done = RunAudio<2>(r, run); break;
                    case 3: done = RunAudio<3>(r, run); break;
                    default: done = RunAudio<4>(r, run); break;
                }
                in = r.in;
                wp = r.wp;
                channel = r.channel;
                channelDelta = r.channelDelta;
                const bool switched = r.switched;
                left -= done;
                written += done;
                if (switched) {
                    readTables();
                    if (!audio) break;
                }
            }
            continue;
        }
        while (left >= 0) {
            if (!(more = checkpoint())) break;
            in.Ensure(32);
            unsigned s = in.Symbol(&g.mainTable);
            if (s < 256) {
                win[wp] = static_cast<uint8_t>(s);
                wp = (wp + 1) & kWindowMask;
                ++written;
                --left;
            } else if (s >= 270) {
                unsigned i = s - 270;
                unsigned length = kLengthBase[i] + 3;
                if (kLengthBits[i]) length += in.Take(kLengthBits[i]);
                in.Ensure(32);
                unsigned j = in.Symbol(&g.distTable);
                unsigned distance = kDistBase[j] + 1;
                if (kDistBits[j]) distance += in.Take(kDistBits[j]);
                if (distance >= 0x2000) {
                    ++length;
                    if (distance >= 0x40000) ++length;
                }
                match(length, distance);
            } else if (s == 269) {
                readTables();
                if (audio) break;
            } else if (s == 256) {
                match(lastLength, lastDist);
            } else if (s < 261) {
                unsigned distance = recent[(counter - (s - 256)) & 3];
                in.Ensure(32);
                unsigned k = in.Symbol(&g.repTable);
                unsigned length = kLengthBase[k] + 2;
                if (kLengthBits[k]) length += in.Take(kLengthBits[k]);
                if (distance >= 0x101) {
                    ++length;
                    if (distance >= 0x2000) {
                        ++length;
                        if (distance >= 0x40000) ++length;
                    }
                }
                match(length, distance);
            } else {
                unsigned i = s - 261;
                unsigned distance = kShortBase[i] + 1;
                if (kShortBits[i]) distance += in.Take(kShortBits[i]);
                match(2, distance);
            }
        }
    }
    if (more) save();  // leaving on exhausted input has saved already
    memcpy(g.recentDist, recent, sizeof recent);
    g.distCounter = counter;
    g.lastDist = lastDist;
    g.lastLength = lastLength;
    g.channelDelta = channelDelta;
    memcpy(g.audio, voice, sizeof voice);
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
    DecodeLoop();
    ReadFinalTables();
    FlushWindow();
    g.flushedPos = g.writePos;
}

}  // namespace rar
