// The RAR 2.0 packer: LZ77 over the 1 MB window with length-limited Huffman tables,
// repeat and short distances, the multimedia mode with its predictor, solid chains,
// the RAR 2.0 cipher and the archive headers.
//
// Sections: constants, bit output, Huffman codes, code-table output, match finder,
// audio predictor, the stream encoder, archive assembly.
#include "RarWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "rar/Rar20Tables.h"
#include "rar/RarState.h"

namespace rarpack {
namespace {

// ---------------------------------------------------------------- constants

constexpr unsigned kMain = 298, kDist = 48, kRep = 28, kLevel = 19, kAudio = 257;
constexpr unsigned kLzTable = kMain + kDist + kRep;
constexpr unsigned kWindowMask = 0xFFFFF;
constexpr unsigned kMaxDistance = 0xFFFFF;
constexpr unsigned kMaxMatch = 257;
constexpr size_t kChunk = 64 * 1024;
constexpr int kMaxCodeLength = 15;

using rar20::kDistBase;
using rar20::kDistBits;
using rar20::kLengthBase;
using rar20::kLengthBits;
using rar20::kShortBase;
using rar20::kShortBits;

unsigned LengthSlot(unsigned v) {  // v in 0..255
    unsigned i = 27;
    while (kLengthBase[i] > v) --i;
    return i;
}
unsigned DistSlot(unsigned v) {  // v = distance - 1
    unsigned i = 47;
    while (kDistBase[i] > v) --i;
    return i;
}
unsigned ShortSlot(unsigned v) {  // v in 0..255
    unsigned i = 7;
    while (kShortBase[i] > v) --i;
    return i;
}

// ---------------------------------------------------------------- bit output

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}
    void Put(uint32_t value, unsigned bits) {
        if (bits == 0) return;
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        n_ += bits;
        while (n_ >= 8) {
            n_ -= 8;
            out_->push_back(static_cast<uint8_t>(acc_ >> n_));
        }
        acc_ &= (1u << n_) - 1;
    }
    void Flush() {
        if (n_ > 0) out_->push_back(static_cast<uint8_t>(acc_ << (8 - n_)));
        n_ = 0;
        acc_ = 0;
    }

private:
    std::vector<uint8_t>* out_;
    uint32_t acc_ = 0;
    unsigned n_ = 0;
};

// ---------------------------------------------------------------- Huffman codes

// Code lengths for `freq`, at most kMaxCodeLength bits, complete whenever two or more
// symbols are used. Symbols with frequency 0 get length 0.
void BuildLengths(const uint32_t* freq, unsigned n, uint8_t* lengths) {
    struct Node {
        uint64_t weight;
        int left, right;
    };
    std::vector<Node> nodes;
    std::vector<int> leaves;
    for (unsigned s = 0; s < n; ++s) {
        lengths[s] = 0;
        if (freq[s]) {
            leaves.push_back(static_cast<int>(nodes.size()));
            nodes.push_back({freq[s], -1, static_cast<int>(s)});
        }
    }
    if (leaves.empty()) return;
    if (leaves.size() == 1) {
        lengths[nodes[leaves[0]].right] = 1;
        return;
    }
    std::vector<int> heap = leaves;
    auto cmp = [&](int a, int b) { return nodes[a].weight > nodes[b].weight; };
    std::make_heap(heap.begin(), heap.end(), cmp);
    while (heap.size() > 1) {
        std::pop_heap(heap.begin(), heap.end(), cmp);
        int a = heap.back();
        heap.pop_back();
        std::pop_heap(heap.begin(), heap.end(), cmp);
        int b = heap.back();
        heap.pop_back();
        nodes.push_back({nodes[a].weight + nodes[b].weight, a, b});
        heap.push_back(static_cast<int>(nodes.size()) - 1);
        std::push_heap(heap.begin(), heap.end(), cmp);
    }
    // Depths by walking from the root.
    std::vector<int> depth(nodes.size(), 0);
    for (int i = static_cast<int>(nodes.size()) - 1; i >= 0; --i) {
        if (nodes[i].left >= 0) {
            depth[nodes[i].left] = depth[i] + 1;
            depth[nodes[i].right] = depth[i] + 1;
        }
    }
    for (int leaf : leaves) lengths[nodes[leaf].right] = static_cast<uint8_t>(std::min(depth[leaf], 63));

    // Limit to kMaxCodeLength: clamp, then lengthen the deepest short codes until the
    // Kraft sum fits, then shorten where room is left so the code stays complete.
    const uint64_t target = 1ull << kMaxCodeLength;
    uint64_t kraft = 0;
    for (unsigned s = 0; s < n; ++s) {
        if (lengths[s] > kMaxCodeLength) lengths[s] = kMaxCodeLength;
        if (lengths[s]) kraft += 1ull << (kMaxCodeLength - lengths[s]);
    }
    while (kraft > target) {
        int pick = -1;
        for (unsigned s = 0; s < n; ++s) {
            if (lengths[s] == 0 || lengths[s] >= kMaxCodeLength) continue;
            if (pick < 0 || lengths[s] > lengths[pick] ||
                (lengths[s] == lengths[pick] && freq[s] < freq[pick]))
                pick = static_cast<int>(s);
        }
        if (pick < 0) break;
        lengths[pick]++;
        kraft -= 1ull << (kMaxCodeLength - lengths[pick]);
    }
    for (;;) {
        int pick = -1;
        for (unsigned s = 0; s < n; ++s) {
            if (lengths[s] <= 1) continue;
            uint64_t gain = 1ull << (kMaxCodeLength - lengths[s]);
            if (kraft + gain > target) continue;
            if (pick < 0 || freq[s] > freq[pick]) pick = static_cast<int>(s);
        }
        if (pick < 0) break;
        kraft += 1ull << (kMaxCodeLength - lengths[pick]);
        lengths[pick]--;
    }
}

// Canonical codes in the order the unpacker assigns them: by length, then symbol.
void MakeCodes(const uint8_t* lengths, unsigned n, uint16_t* codes) {
    unsigned count[16] = {};
    for (unsigned s = 0; s < n; ++s) count[lengths[s] & 15]++;
    count[0] = 0;
    unsigned next[16] = {};
    unsigned code = 0;
    for (int b = 1; b < 16; ++b) {
        code = (code + count[b - 1]) << 1;
        next[b] = code;
    }
    for (unsigned s = 0; s < n; ++s)
        codes[s] = lengths[s] ? static_cast<uint16_t>(next[lengths[s]]++) : 0;
}

struct Code {
    uint8_t len[kAudio > kMain ? kAudio : kMain] = {};
    uint16_t code[kAudio > kMain ? kAudio : kMain] = {};
    unsigned n = 0;
    void Set(const uint8_t* lengths, unsigned count) {
        n = count;
        memcpy(len, lengths, count);
        MakeCodes(len, n, code);
    }
    void Put(BitWriter& w, unsigned s) const { w.Put(code[s], len[s]); }
};

// ---------------------------------------------------------------- code-table output

struct LevelToken {
    uint8_t sym;
    uint8_t bits;
    uint8_t extra;
};

std::vector<LevelToken> LevelTokens(const uint8_t* lengths, const uint8_t* old, unsigned size) {
    std::vector<LevelToken> t;
    unsigned i = 0;
    while (i < size) {
        unsigned L = lengths[i];
        unsigned run = 1;
        if (L == 0) {
            while (i + run < size && lengths[i + run] == 0 && run < 138) ++run;
            if (run >= 11) {
                t.push_back({18, 7, static_cast<uint8_t>(run - 11)});
                i += run;
                continue;
            }
            if (run >= 3) {
                run = std::min(run, 10u);
                t.push_back({17, 3, static_cast<uint8_t>(run - 3)});
                i += run;
                continue;
            }
        } else if (i > 0 && L == lengths[i - 1]) {
            while (i + run < size && lengths[i + run] == L && run < 6) ++run;
            if (run >= 3) {
                t.push_back({16, 2, static_cast<uint8_t>(run - 3)});
                i += run;
                continue;
            }
        }
        t.push_back({static_cast<uint8_t>((L - old[i]) & 15), 0, 0});
        ++i;
    }
    return t;
}

struct TablePlan {
    bool delta = false;
    std::vector<LevelToken> tokens;
    uint8_t levelLen[kLevel] = {};
    uint64_t bits = 0;
};

TablePlan PlanTable(const uint8_t* lengths, unsigned size, const uint8_t* old, bool deltaAllowed,
                    bool audio) {
    static const uint8_t kZero[4 * kAudio] = {};
    TablePlan best;
    for (int mode = 0; mode < (deltaAllowed ? 2 : 1); ++mode) {
        TablePlan p;
        p.delta = mode == 1;
        p.tokens = LevelTokens(lengths, p.delta ? old : kZero, size);
        uint32_t freq[kLevel] = {};
        for (const LevelToken& t : p.tokens) freq[t.sym]++;
        unsigned used = 0;
        for (unsigned s = 0; s < kLevel; ++s) used += freq[s] != 0;
        for (unsigned s = 0; used < 2 && s < kLevel; ++s) {
            if (!freq[s]) {
                freq[s] = 1;
                ++used;
            }
        }
        BuildLengths(freq, kLevel, p.levelLen);
        p.bits = 2 + (audio ? 2 : 0) + 4 * kLevel;
        for (const LevelToken& t : p.tokens) p.bits += p.levelLen[t.sym] + t.bits;
        if (mode == 0 || p.bits < best.bits) best = std::move(p);
    }
    return best;
}

void WriteTable(BitWriter& w, const TablePlan& p, bool audio, int channels) {
    unsigned h = (audio ? 2u : 0u) | (p.delta ? 1u : 0u);
    w.Put(h, 2);
    if (audio) w.Put(static_cast<unsigned>(channels - 1), 2);
    for (unsigned i = 0; i < kLevel; ++i) w.Put(p.levelLen[i], 4);
    Code level;
    level.Set(p.levelLen, kLevel);
    for (const LevelToken& t : p.tokens) {
        level.Put(w, t.sym);
        w.Put(t.extra, t.bits);
    }
}

// ---------------------------------------------------------------- match finder

unsigned LongAdjustOf(size_t d) { return (d >= 0x2000) + (d >= 0x40000); }

class MatchFinder {
public:
    MatchFinder() : head_(1u << 16, 0), prev_(kWindowMask + 1, 0) {}
    void Reset(const uint8_t* data, size_t size) {
        data_ = data;
        size_ = size;
        inserted_ = 0;
        std::fill(head_.begin(), head_.end(), 0);
    }
    void Extend(const uint8_t* data, size_t size) {  // same stream, more bytes known
        data_ = data;
        size_ = size;
    }
    void InsertUpTo(size_t pos) {
        while (inserted_ < pos && inserted_ + 3 <= size_) {
            unsigned h = Hash(inserted_);
            prev_[inserted_ & kWindowMask] = head_[h];
            head_[h] = static_cast<uint32_t>(inserted_ + 1);
            ++inserted_;
        }
        if (inserted_ < pos) inserted_ = pos;
    }
    // Longest match at `pos` (up to maxLen) among earlier positions; 0 when none of 3+.
    unsigned Find(size_t pos, unsigned maxLen, unsigned chain, unsigned* distance) const {
        if (maxLen < 3 || pos + 3 > size_) return 0;
        unsigned best = 0;
        uint32_t cand = head_[Hash(pos)];
        const uint8_t* cur = data_ + pos;
        while (cand && chain--) {
            size_t c = cand - 1;
            if (c >= pos) break;
            size_t dist = pos - c;
            if (dist > kMaxDistance) break;
            const uint8_t* m = data_ + c;
            if (m[best] == cur[best] && m[0] == cur[0]) {
                unsigned l = 0;
                while (l < maxLen && m[l] == cur[l]) ++l;
                if (l > best && l >= 3u + LongAdjustOf(dist)) {
                    best = l;
                    *distance = static_cast<unsigned>(dist);
                    if (l == maxLen) break;
                }
            }
            uint32_t next = prev_[c & kWindowMask];
            if (next == 0 || next - 1 >= c) break;
            cand = next;
        }
        return best;
    }

private:
    unsigned Hash(size_t p) const {
        return ((data_[p] << 8) ^ (data_[p + 1] << 4) ^ data_[p + 2]) * 2654435761u >> 16 & 0xFFFF;
    }
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t inserted_ = 0;
    std::vector<uint32_t> head_, prev_;
};

// ---------------------------------------------------------------- audio predictor

struct Predictor {
    rar::AudioChannelState ch[4] = {};
    int channelDelta = 0;

    int Prediction(int c) const { return rar::AudioPrediction(ch[c], rar::NextNeighbours(ch[c]), channelDelta); }
    // The unpacker's step, run with the delta the encoder chose.
    void Step(int c, int delta) { rar::AudioPredictorStep(ch[c], channelDelta, delta); }
};

// ---------------------------------------------------------------- the stream encoder

struct Token {
    uint16_t sym;    // main-table symbol, or audio delta
    uint8_t sub;     // distance / repeat-length symbol, audio channel, or 0xFF
    uint8_t bits1;   // extra bits after sym
    uint8_t bits2;   // extra bits after sub
    uint32_t extra1;
    uint32_t extra2;
};

struct LzHistory {
    unsigned recent[4] = {};
    unsigned counter = 0;
    unsigned lastDist = 0;
    unsigned lastLen = 0;
};

unsigned RepAdjust(unsigned d) { return (d >= 0x101) + (d >= 0x2000) + (d >= 0x40000); }
unsigned LongAdjust(unsigned d) { return (d >= 0x2000) + (d >= 0x40000); }

// Encoder state that a solid successor continues, mirroring the unpacker's.
class StreamEncoder {
public:
    StreamEncoder(int method, bool multimedia) : method_(method), multimedia_(multimedia) {
        static const unsigned kChains[6] = {0, 4, 16, 48, 160, 640};
        chain_ = kChains[std::clamp(method, 1, 5)];
        lazy_ = method >= 3;
    }

    // Starts a non-solid entry (everything reset) or continues a solid one.
    void BeginEntry(bool continueSolid) {
        if (!continueSolid) {
            haveTables_ = false;
            audio_ = false;
            channels_ = 1;
            curChannel_ = 0;
            memset(oldLengths_, 0, sizeof oldLengths_);
            lz_ = LzHistory();
            pred_ = Predictor();
            stream_.clear();
            streamBase_ = 0;
            finder_.Reset(stream_.data(), 0);
        }
    }

    // Encodes `size` bytes as the data of the current entry into `out`.
    void EncodeEntry(const uint8_t* data, size_t size, std::vector<uint8_t>* out,
                     const std::function<void(size_t)>& progress) {
        // The match finder sees the whole solid stream; drop what lies beyond the
        // window's reach so long chains do not hold every byte.
        size_t start = stream_.size();
        if (start > 2 * (kWindowMask + 1)) {
            size_t drop = start - (kWindowMask + 1);
            drop -= drop % (kWindowMask + 1);  // keep the ring indexes aligned
            RebaseStream(drop);
            start = stream_.size();
        }
        stream_.insert(stream_.end(), data, data + size);
        finder_.Extend(stream_.data(), stream_.size());
        BitWriter w(out);
        for (size_t off = 0; off < size; off += kChunk) {
            size_t n = std::min(kChunk, size - off);
            EncodeChunk(w, start + off, n);
            if (progress) progress(off + n);
        }
        WritePadding(w);
        w.Flush();
        // unar reads past the last symbol and fails at the very end of the data.
        out->push_back(0);
        out->push_back(0);
    }

private:
    void RebaseStream(size_t drop) {
        // Positions in the finder are absolute in stream_; rebuilding is simplest and
        // happens at most once per window of input.
        stream_.erase(stream_.begin(), stream_.begin() + static_cast<long>(drop));
        streamBase_ += drop;
        finder_.Reset(stream_.data(), stream_.size());
        finder_.InsertUpTo(stream_.size());
    }

    void EncodeChunk(BitWriter& w, size_t pos, size_t n) {
        std::vector<Token> lzTokens;
        LzHistory lzBefore = lz_;
        ParseLz(pos, n, &lzTokens);
        if (!multimedia_) {
            EmitBlock(w, lzTokens, false, 1);
            return;
        }
        double lzBits = EstimateLz(lzTokens) + (audio_ ? 700.0 : 0.0);
        double bestBits = lzBits;
        int bestChannels = 0;
        for (int c = 1; c <= 4; ++c) {
            double bits = EstimateAudio(pos, n, c) + ((audio_ && channels_ == c) ? 0.0 : 300.0 * c);
            if (bits < bestBits) {
                bestBits = bits;
                bestChannels = c;
            }
        }
        if (bestChannels == 0) {
            EmitBlock(w, lzTokens, false, 1);
            return;
        }
        lz_ = lzBefore;  // the LZ parse is discarded
        std::vector<Token> tokens;
        AudioTokens(pos, n, bestChannels, &pred_, &curChannelAfter_, &tokens);
        EmitBlock(w, tokens, true, bestChannels);
        curChannel_ = curChannelAfter_;
    }

    // ---- LZ parse

    unsigned RepLength(size_t pos, unsigned dist, unsigned maxLen) const {
        if (dist == 0 || dist > pos + streamBase_ || dist > pos) return 0;
        const uint8_t* cur = stream_.data() + pos;
        const uint8_t* m = cur - dist;
        unsigned l = 0;
        while (l < maxLen && m[l] == cur[l]) ++l;
        return l;
    }

    struct Choice {
        unsigned len = 0;
        unsigned dist = 0;
        int score = 0;
    };

    Choice BestAt(size_t pos, unsigned maxLen) {
        Choice best;
        finder_.InsertUpTo(pos);
        unsigned dist = 0;
        unsigned len = finder_.Find(pos, maxLen, chain_, &dist);
        if (len) {
            best.len = len;
            best.dist = dist;
            best.score = static_cast<int>(len * 8) - MatchCostGuess(len, dist, false);
        }
        for (unsigned r = 0; r < 4; ++r) {
            unsigned d = lz_.recent[(lz_.counter - 1 - r) & 3];
            unsigned l = RepLength(pos, d, maxLen);
            if (l < 2 + RepAdjust(d) || l - 2 - RepAdjust(d) > 255) continue;
            int score = static_cast<int>(l * 8) - MatchCostGuess(l, d, true);
            if (score > best.score) {
                best.len = l;
                best.dist = d;
                best.score = score;
            }
        }
        return best;
    }

    static int MatchCostGuess(unsigned len, unsigned dist, bool rep) {
        if (rep) return 9 + (len > 10 ? 3 : 0);
        unsigned slot = DistSlot(dist - 1);
        return 8 + static_cast<int>(kDistBits[slot]) + 5 + (len > 10 ? 3 : 0);
    }

    void ParseLz(size_t pos, size_t n, std::vector<Token>* tokens) {
        size_t end = pos + n;
        size_t p = pos;
        while (p < end) {
            unsigned maxLen = static_cast<unsigned>(std::min<size_t>(kMaxMatch, end - p));
            Choice c = BestAt(p, maxLen);
            if (lazy_ && c.len >= 2 && c.len < 64 && p + 1 < end) {
                unsigned maxLen1 = static_cast<unsigned>(std::min<size_t>(kMaxMatch, end - p - 1));
                Choice next = BestAt(p + 1, maxLen1);
                if (next.score > c.score + 8) c = Choice();
            }
            if (c.score <= 0 || c.len < 2) {
                tokens->push_back({stream_[p], 0xFF, 0, 0, 0, 0});
                ++p;
                continue;
            }
            tokens->push_back(MatchToken(c.len, c.dist));
            p += c.len;
        }
    }

    Token MatchToken(unsigned len, unsigned dist) {
        Token t{0, 0xFF, 0, 0, 0, 0};
        int rep = -1;
        for (unsigned r = 0; r < 4; ++r)
            if (lz_.recent[(lz_.counter - 1 - r) & 3] == dist) {
                rep = static_cast<int>(r);
                break;
            }
        if (lz_.lastLen != 0 && dist == lz_.lastDist && len == lz_.lastLen) {
            t.sym = 256;
        } else if (rep >= 0 && len >= 2 + RepAdjust(dist) && len - 2 - RepAdjust(dist) <= 255) {
            t.sym = static_cast<uint16_t>(257 + rep);
            unsigned v = len - 2 - RepAdjust(dist);
            unsigned k = LengthSlot(v);
            t.sub = static_cast<uint8_t>(k);
            t.bits2 = static_cast<uint8_t>(kLengthBits[k]);
            t.extra2 = v - kLengthBase[k];
        } else if (len == 2 && dist <= 256) {
            unsigned i = ShortSlot(dist - 1);
            t.sym = static_cast<uint16_t>(261 + i);
            t.bits1 = static_cast<uint8_t>(kShortBits[i]);
            t.extra1 = dist - 1 - kShortBase[i];
        } else {
            unsigned v = len - 3 - LongAdjust(dist);
            unsigned i = LengthSlot(v);
            t.sym = static_cast<uint16_t>(270 + i);
            t.bits1 = static_cast<uint8_t>(kLengthBits[i]);
            t.extra1 = v - kLengthBase[i];
            unsigned j = DistSlot(dist - 1);
            t.sub = static_cast<uint8_t>(j);
            t.bits2 = static_cast<uint8_t>(kDistBits[j]);
            t.extra2 = dist - 1 - kDistBase[j];
        }
        lz_.lastLen = len;
        lz_.recent[lz_.counter & 3] = dist;
        lz_.counter++;
        lz_.lastDist = dist;
        return t;
    }

    // ---- audio

    void AudioTokens(size_t pos, size_t n, int channels, Predictor* pred, int* channelOut,
                     std::vector<Token>* tokens) const {
        int c = curChannel_ < channels ? curChannel_ : 0;
        for (size_t i = 0; i < n; ++i) {
            int delta = (pred->Prediction(c) - stream_[pos + i]) & 0xFF;
            pred->Step(c, delta);
            if (tokens) tokens->push_back({static_cast<uint16_t>(delta), static_cast<uint8_t>(c), 0, 0, 0, 0});
            if (++c == channels) c = 0;
        }
        *channelOut = c;
    }

    static double Entropy(const uint32_t* freq, unsigned n) {
        double total = 0, bits = 0;
        for (unsigned i = 0; i < n; ++i) total += freq[i];
        for (unsigned i = 0; i < n; ++i)
            if (freq[i]) bits += freq[i] * std::log2(total / freq[i]);
        return bits;
    }

    double EstimateAudio(size_t pos, size_t n, int channels) const {
        Predictor trial = pred_;
        std::vector<Token> tokens;
        tokens.reserve(n);
        int end = 0;
        AudioTokens(pos, n, channels, &trial, &end, &tokens);
        std::vector<uint32_t> freq(4 * kAudio, 0);
        for (const Token& t : tokens) freq[t.sub * kAudio + t.sym]++;
        double bits = 0;
        for (int c = 0; c < channels; ++c) bits += Entropy(&freq[c * kAudio], kAudio);
        return bits;
    }

    static double EstimateLz(const std::vector<Token>& tokens) {
        std::vector<uint32_t> main(kMain, 0), dist(kDist, 0), rep(kRep, 0);
        double extra = 0;
        for (const Token& t : tokens) {
            main[t.sym]++;
            extra += t.bits1 + t.bits2;
            if (t.sym >= 270) dist[t.sub]++;
            else if (t.sym >= 257 && t.sym <= 260) rep[t.sub]++;
        }
        return Entropy(main.data(), kMain) + Entropy(dist.data(), kDist) + Entropy(rep.data(), kRep) +
               extra;
    }

    // ---- block output

    static void EnsureUsable(uint32_t* freq, unsigned n, unsigned forced) {
        if (!freq[forced]) freq[forced] = 1;
        unsigned used = 0;
        for (unsigned s = 0; s < n; ++s) used += freq[s] != 0;
        for (unsigned s = 0; used < 2 && s < n; ++s)
            if (!freq[s]) {
                freq[s] = 1;
                ++used;
            }
    }

    void EmitBlock(BitWriter& w, const std::vector<Token>& tokens, bool audio, int channels) {
        const unsigned size = audio ? kAudio * static_cast<unsigned>(channels) : kLzTable;
        std::vector<uint32_t> freq(4 * kAudio, 0);
        if (audio) {
            for (const Token& t : tokens) freq[t.sub * kAudio + t.sym]++;
        } else {
            for (const Token& t : tokens) {
                freq[t.sym]++;
                if (t.sym >= 270) freq[kMain + t.sub]++;
                else if (t.sym >= 257 && t.sym <= 260) freq[kMain + kDist + t.sub]++;
            }
        }
        // Lengths of the candidate tables (the table-switch symbol always has a code,
        // so the next block or a solid successor can switch again).
        std::vector<uint8_t> lengths(4 * kAudio, 0);
        std::vector<uint32_t> f = freq;
        if (audio) {
            for (int c = 0; c < channels; ++c) {
                EnsureUsable(&f[c * kAudio], kAudio, 256);
                BuildLengths(&f[c * kAudio], kAudio, &lengths[c * kAudio]);
            }
        } else {
            EnsureUsable(&f[0], kMain, 269);
            EnsureUsable(&f[kMain], kDist, 0);
            EnsureUsable(&f[kMain + kDist], kRep, 0);
            BuildLengths(&f[0], kMain, &lengths[0]);
            BuildLengths(&f[kMain], kDist, &lengths[kMain]);
            BuildLengths(&f[kMain + kDist], kRep, &lengths[kMain + kDist]);
        }
        const bool sameShape = haveTables_ && audio == audio_ && (!audio || channels == channels_);
        bool useOld = false;
        // Differences work across shapes too: past the end of a smaller table the
        // unpacker keeps the lengths of the larger one before it, as oldLengths_ does.
        TablePlan plan = PlanTable(lengths.data(), size, oldLengths_, haveTables_, audio);
        if (sameShape) {
            uint64_t oldBits = 0, newBits = plan.bits + SwitchBits();
            bool fits = true;
            for (unsigned s = 0; s < size; ++s) {
                if (!freq[s]) continue;
                if (!oldLengths_[s]) {
                    fits = false;
                    break;
                }
                oldBits += static_cast<uint64_t>(freq[s]) * oldLengths_[s];
                newBits += static_cast<uint64_t>(freq[s]) * lengths[s];
            }
            useOld = fits && oldBits <= newBits;
        }
        if (!useOld) {
            if (haveTables_) PutSwitch(w);
            WriteTable(w, plan, audio, channels);
            if (!plan.delta) memset(oldLengths_, 0, sizeof oldLengths_);
            memcpy(oldLengths_, lengths.data(), size);
            audio_ = audio;
            channels_ = audio ? channels : channels_;
            if (audio && curChannel_ >= channels) curChannel_ = 0;
            haveTables_ = true;
            SetCodes();
        }
        for (const Token& t : tokens) {
            if (audio) {
                audioCodes_[t.sub].Put(w, t.sym);
                continue;
            }
            mainCode_.Put(w, t.sym);
            w.Put(t.extra1, t.bits1);
            if (t.sym >= 270) distCode_.Put(w, t.sub);
            else if (t.sym >= 257 && t.sym <= 260) repCode_.Put(w, t.sub);
            w.Put(t.extra2, t.bits2);
        }
    }

    void SetCodes() {
        if (audio_) {
            for (int c = 0; c < channels_; ++c) audioCodes_[c].Set(oldLengths_ + c * kAudio, kAudio);
        } else {
            mainCode_.Set(oldLengths_, kMain);
            distCode_.Set(oldLengths_ + kMain, kDist);
            repCode_.Set(oldLengths_ + kMain + kDist, kRep);
        }
    }

    unsigned SwitchBits() const {
        return audio_ ? audioCodes_[curChannel_].len[256] : mainCode_.len[269];
    }

    void PutSwitch(BitWriter& w) const {
        if (audio_) audioCodes_[curChannel_].Put(w, 256);
        else mainCode_.Put(w, 269);
    }

    // Bits after the last symbol that decode to anything but a table switch, so an
    // unpacker peeking one symbol past the end (and cipher padding) changes nothing.
    void WritePadding(BitWriter& w) const {
        if (!haveTables_) return;
        const Code& c = audio_ ? audioCodes_[curChannel_] : mainCode_;
        unsigned avoid = audio_ ? 256 : 269;
        for (unsigned s = 0; s < c.n; ++s)
            if (s != avoid && c.len[s]) {
                c.Put(w, s);
                return;
            }
    }

    int method_;
    bool multimedia_;
    unsigned chain_ = 16;
    bool lazy_ = false;
    bool haveTables_ = false;
    bool audio_ = false;
    int channels_ = 1;
    int curChannel_ = 0;
    int curChannelAfter_ = 0;
    uint8_t oldLengths_[4 * kAudio] = {};
    Code mainCode_, distCode_, repCode_;
    Code audioCodes_[4];
    LzHistory lz_;
    Predictor pred_;
    std::vector<uint8_t> stream_;
    size_t streamBase_ = 0;
    MatchFinder finder_;
};

// ---------------------------------------------------------------- archive assembly

void Put16(std::vector<uint8_t>& v, unsigned x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0xFFFFFFFFu) {
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (unsigned i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

void Encrypt(std::vector<uint8_t>* data, const std::string& password) {
    // The cipher works on whole 16-byte blocks; the padding is part of the packed size.
    while (data->size() % 16) data->push_back(0);
    rar::Crc32Init();
    rar::SetupCryptKey(password.c_str());
    for (size_t i = 0; i < data->size(); i += 16) rar::EncryptBlock(data->data() + i);
}

// The marker block and the archive header.
void PutArchiveStart(std::vector<uint8_t>* out, bool solid) {
    static const uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    out->insert(out->end(), kMarker, kMarker + 7);
    std::vector<uint8_t> main;
    main.push_back(0x73);
    Put16(main, solid ? 0x0008 : 0x0000);
    Put16(main, 13);
    Put16(main, 0);
    Put32(main, 0);
    Put16(*out, ~Crc32(main.data(), main.size()) & 0xFFFF);
    out->insert(out->end(), main.begin(), main.end());
}

bool CheckEntry(const std::string& name, size_t size, std::string* error) {
    if (size > 0xFFFFFFF0u) {
        if (error) *error = "entry too large for RAR 2.0: " + name;
        return false;
    }
    if (name.empty() || name.size() > 259) {
        if (error) *error = "entry name empty or longer than 259 bytes: " + name;
        return false;
    }
    return true;
}

// A solid archive's chain: one encoder carries the window, tables and predictor from
// entry to entry; its effort and mode come from the first compressed entry.
struct SolidChain {
    std::unique_ptr<StreamEncoder> encoder;
    int method = -1;
    bool started = false;
};

struct PackedData {
    std::vector<uint8_t> bytes;
    bool stored = false;
    bool continues = false;  // continues the solid chain's window
};

// An entry's data compressed (along `chain` in a solid archive, else on its own), or
// stored where that is asked for or compressing does not pay.
PackedData Pack(const std::vector<uint8_t>& data, const EntryOptions& options, SolidChain* chain,
                const std::function<void(size_t)>& progress) {
    PackedData packed;
    packed.stored = options.method == 0 || data.empty();
    // Stored data never enters the window, so a stored entry inside the chain would
    // leave extractors with different windows: once the chain has begun, every
    // entry continues it compressed.
    if (chain && chain->started) packed.stored = false;
    if (!packed.stored) {
        if (chain) {
            if (!chain->encoder) {
                chain->method = options.method;
                chain->encoder = std::make_unique<StreamEncoder>(chain->method, options.multimedia);
            }
            packed.continues = chain->started;
            chain->encoder->BeginEntry(packed.continues);
            chain->encoder->EncodeEntry(data.data(), data.size(), &packed.bytes, progress);
            chain->started = true;
        } else {
            StreamEncoder enc(options.method, options.multimedia);
            enc.BeginEntry(false);
            enc.EncodeEntry(data.data(), data.size(), &packed.bytes, progress);
            if (packed.bytes.size() >= data.size()) packed.stored = true;  // not worth it
        }
    }
    if (packed.stored) packed.bytes = data;
    return packed;
}

// One file block: its header, with the CRC of the unpacked data, then the packed data.
void PutFileBlock(std::vector<uint8_t>* out, const std::string& name, const std::vector<uint8_t>& data,
                  uint32_t dosTime, uint16_t flags, uint8_t method, const std::vector<uint8_t>& packed) {
    std::vector<uint8_t> h;
    h.push_back(0x74);
    Put16(h, flags);
    Put16(h, static_cast<unsigned>(32 + name.size()));
    Put32(h, static_cast<uint32_t>(packed.size()));
    Put32(h, static_cast<uint32_t>(data.size()));
    h.push_back(2);  // host: Win32
    Put32(h, ~Crc32(data.data(), data.size()));
    Put32(h, dosTime);
    h.push_back(20);
    h.push_back(method);
    Put16(h, static_cast<unsigned>(name.size()));
    Put32(h, 0x20);  // archive attribute
    h.insert(h.end(), name.begin(), name.end());
    Put16(*out, ~Crc32(h.data(), h.size()) & 0xFFFF);
    out->insert(out->end(), h.begin(), h.end());
    out->insert(out->end(), packed.begin(), packed.end());
}

}  // namespace

void RarWriter::Add(const std::string& name, const void* data, size_t size,
                    const EntryOptions& options, uint32_t dosTime) {
    Entry e;
    e.name = name;
    std::replace(e.name.begin(), e.name.end(), '/', '\\');
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (size) e.data.assign(p, p + size);
    e.options = options;
    e.dosTime = dosTime;
    entries_.push_back(std::move(e));
}

std::vector<const RarWriter::Entry*> RarWriter::PackOrder() const {
    // unar loses a solid chain at an empty entry inside it, so a solid archive lists
    // its empty entries first, stored, ahead of the chain.
    std::vector<const Entry*> order;
    for (const Entry& e : entries_)
        if (!options_.solid || e.data.empty()) order.push_back(&e);
    if (options_.solid)
        for (const Entry& e : entries_)
            if (!e.data.empty()) order.push_back(&e);
    return order;
}

bool RarWriter::Build(std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    PutArchiveStart(out, options_.solid);

    uint64_t total = 0, done = 0;
    for (const Entry& e : entries_) total += e.data.size();

    SolidChain chain;
    for (const Entry* entry : PackOrder()) {
        const Entry& e = *entry;
        if (!CheckEntry(e.name, e.data.size(), error)) return false;
        auto progress = [&](size_t n) {
            if (options_.progress) options_.progress(done + n, total);
        };
        PackedData packed = Pack(e.data, e.options, options_.solid ? &chain : nullptr, progress);
        done += e.data.size();
        if (options_.progress) options_.progress(done, total);
        const bool encrypted = !e.options.password.empty();
        if (encrypted) Encrypt(&packed.bytes, e.options.password);
        if (packed.bytes.size() > 0xFFFFFFFFu) {
            if (error) *error = "packed data too large for RAR 2.0: " + e.name;
            return false;
        }

        uint16_t flags = 0x8000 | 0x0080;  // data follows; 1 MB dictionary
        if (encrypted) flags |= 0x0004;
        if (packed.continues) flags |= 0x0010;
        const int effort = options_.solid ? chain.method : e.options.method;
        const uint8_t method = static_cast<uint8_t>(packed.stored ? 0x30 : 0x30 + std::clamp(effort, 1, 5));
        PutFileBlock(out, e.name, e.data, e.dosTime, flags, method, packed.bytes);
    }
    static const uint8_t kEnd[7] = {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00};
    out->insert(out->end(), kEnd, kEnd + 7);
    return true;
}

bool RarWriter::WriteFile(const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!Build(&bytes, error)) return false;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fclose(f) == 0 && ok;
    if (!ok && error) *error = "cannot write " + path;
    return ok;
}

std::vector<uint8_t> CompressRaw(const uint8_t* data, size_t size, int method, bool multimedia) {
    std::vector<uint8_t> out;
    StreamEncoder enc(std::clamp(method, 1, 5), multimedia);
    enc.BeginEntry(false);
    enc.EncodeEntry(data, size, &out, nullptr);
    return out;
}

}  // namespace rarpack
