// Shared internals of the archive reader, the RAR 2.0 unpacker and the RAR 2.0 cipher:
// the one module-state record, the bounds-checked byte cursor and the private entry
// points the three sources call in each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rar {

constexpr unsigned kWindowSize = 0x100000;
constexpr unsigned kWindowMask = kWindowSize - 1;
constexpr unsigned kInputSize = 8192;
// Zeroed bytes behind the input block: peeks read whole words past the byte position,
// which may sit near the last byte of the block.
constexpr unsigned kInputSlack = 16;

constexpr unsigned kMainSymbols = 298;
constexpr unsigned kDistSymbols = 48;
constexpr unsigned kRepSymbols = 28;
constexpr unsigned kLevelSymbols = 19;
constexpr unsigned kAudioSymbols = 257;
constexpr unsigned kLzTableSize = kMainSymbols + kDistSymbols + kRepSymbols;  // 374
constexpr unsigned kOldTableSize = 4 * kAudioSymbols;                        // 1028

// Reads little-endian fields from a byte range; every read past the end fails and
// leaves the output untouched, so callers need not check lengths themselves.
class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool U8(uint8_t* v) {
        if (pos_ + 1 > size_) return false;
        *v = data_[pos_++];
        return true;
    }
    bool U16(uint16_t* v) {
        if (pos_ + 2 > size_) return false;
        *v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool U32(uint32_t* v) {
        if (pos_ + 4 > size_) return false;
        *v = static_cast<uint32_t>(data_[pos_]) | (static_cast<uint32_t>(data_[pos_ + 1]) << 8) |
             (static_cast<uint32_t>(data_[pos_ + 2]) << 16) |
             (static_cast<uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return true;
    }
    size_t Position() const { return pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// The archive bytes: a C stream opened "rb", or (for the fuzz and test entry point) a
// caller's memory range. Positions are absolute; reads past the end return fewer bytes.
struct ArchiveStream {
    FILE* file = nullptr;
    const uint8_t* memory = nullptr;
    size_t memorySize = 0;
    size_t memoryPos = 0;
    bool open = false;

    bool IsOpen() const { return open; }
    size_t Read(void* dst, size_t count);
    bool SeekAbsolute(uint64_t pos);
    bool SeekForward(uint64_t delta);
    uint64_t Tell() const;
    uint64_t Size() const;
    void Close();
};

struct MainHeader {
    uint16_t crc = 0;
    uint8_t type = 0;
    uint16_t flags = 0;
    uint16_t size = 0;
    uint16_t reserved1 = 0;
    uint32_t reserved2 = 0;
};

struct FileHeader {
    uint16_t crc = 0;
    uint8_t type = 0;
    uint16_t flags = 0;
    uint16_t size = 0;
    uint32_t packSize = 0;
    uint32_t unpSize = 0;
    uint8_t hostOS = 0;
    uint32_t fileCrc = 0;
    uint32_t fileTime = 0;
    uint8_t unpVer = 0;
    uint8_t method = 0;
    uint16_t nameSize = 0;
    uint32_t attributes = 0;
    char name[260] = {};
};

struct BlockHeader {
    uint16_t crc = 0;
    uint8_t type = 0;
    uint16_t flags = 0;
    uint16_t size = 0;
    uint32_t dataSize = 0;
};

// Codes of up to kQuickBits bits resolve with one lookup of the peek's top bits.
constexpr unsigned kQuickBits = 10;

struct HuffmanTable {
    uint32_t symbolCount = 0;
    uint32_t limits[16] = {};
    uint32_t firstIndex[16] = {};
    uint32_t symbols[kMainSymbols] = {};
    // By the top kQuickBits bits of a peek: symbol << 4 | code length, or 0 when the
    // code is longer and the limits decide.
    uint16_t quick[1u << kQuickBits] = {};
};

struct AudioChannelState {
    int32_t K1, K2, K3, K4, K5;
    int32_t lastDelta;
    uint32_t byteCount;
    int32_t lastValue;
    // The channel's last 32 steps, by byte counter modulo 32: the scaled delta and the
    // neighbours D1..D4 and channel delta each step saw. The eleven error sums of 32
    // bytes are taken from them in one pass each when the 32 bytes are complete, and
    // a step's D1..D4 follow from the step before it.
    int16_t errDelta[32], errD1[32], errD2[32], errD3[32], errD4[32], errChannel[32];
};

// The neighbours of the next step: D1 the last delta, D2 its change since the step
// before, D3 and D4 the D2 and D3 of the step before (all 0 before the first step).
struct AudioNeighbours {
    int D1, D2, D3, D4;
};

inline AudioNeighbours NextNeighbours(const AudioChannelState& V) {
    const unsigned prev = (V.byteCount - 1) & 31;
    return {V.lastDelta, V.lastDelta - V.errD1[prev], V.errD2[prev], V.errD3[prev]};
}

// The predicted byte (0..255) for the next step.
inline int AudioPrediction(const AudioChannelState& V, const AudioNeighbours& n, int channelDelta) {
    return ((8 * V.lastValue + V.K1 * n.D1 + V.K2 * n.D2 + V.K3 * n.D3 + V.K4 * n.D4 + V.K5 * channelDelta) >> 3) &
           0xFF;
}

// The sum over the 32 bytes of |a + sign * b| (b null: of |a|). No sum can pass 16 bits:
// |a| <= 1024 and |b| <= 255, so each term stays below 1280.
template <int sign>
inline unsigned AudioErrorSum(const int16_t* a, const int16_t* b) {
    uint16_t sum = 0;
    for (int j = 0; j < 32; ++j) {
        const int16_t t = static_cast<int16_t>(b ? a[j] + sign * b[j] : a[j]);
        sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(t < 0 ? -t : t));
    }
    return sum;
}

// Every 32 bytes: the weight whose change would have given the smallest error sum moves
// by one (a later sum wins only when strictly smaller).
inline void AdaptAudioWeights(AudioChannelState& V) {
    const int16_t* d = V.errDelta;
    const unsigned dif[11] = {
        AudioErrorSum<1>(d, nullptr),
        AudioErrorSum<-1>(d, V.errD1), AudioErrorSum<1>(d, V.errD1),
        AudioErrorSum<-1>(d, V.errD2), AudioErrorSum<1>(d, V.errD2),
        AudioErrorSum<-1>(d, V.errD3), AudioErrorSum<1>(d, V.errD3),
        AudioErrorSum<-1>(d, V.errD4), AudioErrorSum<1>(d, V.errD4),
        AudioErrorSum<-1>(d, V.errChannel), AudioErrorSum<1>(d, V.errChannel),
    };
    unsigned best = dif[0];
    int index = 0;
    for (int i = 1; i < 11; ++i) {
        if (dif[i] < best) {
            best = dif[i];
            index = i;
        }
    }
    if (index == 0) return;
    int32_t* K[5] = {&V.K1, &V.K2, &V.K3, &V.K4, &V.K5};
    int32_t& k = *K[(index - 1) / 2];
    if (index & 1) {
        if (k >= -16) --k;
    } else if (k < 16) {
        ++k;
    }
}

// One step of the multimedia-mode predictor for channel state V: turns the coded
// `delta` into the output byte and adapts the channel's weights every 32 bytes.
// `channelDelta` is the last delta of whichever channel ran before. The unpacker runs
// it to decode and the packer to stay in step with the unpacker, so both share it.
inline unsigned char AudioPredictorStep(AudioChannelState& V, int& channelDelta, int delta) {
    const AudioNeighbours n = NextNeighbours(V);
    const int cd = channelDelta;
    const int value = AudioPrediction(V, n, cd) - delta;
    const unsigned j = V.byteCount & 31;
    V.errDelta[j] = static_cast<int16_t>(static_cast<signed char>(delta) * 8);
    V.errD1[j] = static_cast<int16_t>(n.D1);
    V.errD2[j] = static_cast<int16_t>(n.D2);
    V.errD3[j] = static_cast<int16_t>(n.D3);
    V.errD4[j] = static_cast<int16_t>(n.D4);
    V.errChannel[j] = static_cast<int16_t>(cd);
    channelDelta = V.lastDelta = static_cast<signed char>(value - V.lastValue);
    V.lastValue = value;
    if ((++V.byteCount & 31) == 0) AdaptAudioWeights(V);
    return static_cast<unsigned char>(value);
}

// Everything the reader, the unpacker and the cipher share, in one record.
struct ReaderState {
    // Reader
    char requestedName[256] = {};
    char archiveName[256] = {};
    char password[256] = {};
    ArchiveStream archive;
    uint8_t* output = nullptr;
    unsigned long* outSize = nullptr;
    uint8_t* window = nullptr;
    MainHeader mainHeader;
    FileHeader fileHeader;
    BlockHeader blockHeader;
    uint64_t blockStart = 0;
    uint64_t nextBlockStart = 0;
    bool found = false;
    uint32_t packedLeft = 0;
    // Bytes still to unpack. 64 bits: an entry may claim up to 4 GB, and the count
    // goes one below zero before the loop ends.
    int64_t unpackedLeft = 0;
    uint64_t archiveSize = 0;
    int encryptionVersion = 0;
    uint32_t crcTable[256] = {};
    uint32_t headerCrc = 0;
    // The walk's own checks, which ArchiveGetFile does not make: whether the last file
    // header is sound, its name's size as stored (the name above is cut to 259 bytes),
    // the first sub-block met (0: none), and the damage that ended it.
    bool headerOk = true;
    unsigned storedNameSize = 0;
    uint64_t subBlockAt = 0;
    const char* damage = nullptr;
    char damageText[96] = {};  // for damage whose text names a value
    uint64_t damageAt = 0;
    bool busy = false;  // a call is running; a nested one is refused

    // Debug log
    bool logFirstCall = true;
    bool logActive = false;
    bool logDisabled = false;  // set by tools and fuzzers that want no log at all
    char logPath[260] = {};
    uint32_t logStartTick = 0;

    // Unpacker
    uint8_t input[kInputSize + kInputSlack] = {};
    unsigned inAddr = 0;
    unsigned inBit = 0;
    unsigned readTop = 0;
    unsigned inputEnd = 0;  // valid bytes in the input block; past them the data ran out
    bool inputExhausted = false;
    unsigned writePos = 0;
    unsigned flushedPos = 0;
    uint64_t windowDirtyBytes = 0;  // bytes written since the window was last zeroed
    HuffmanTable mainTable, distTable, repTable, levelTable;
    HuffmanTable audioTables[4];
    uint8_t oldLengths[kOldTableSize] = {};
    unsigned recentDist[4] = {};
    unsigned distCounter = 0;
    unsigned lastDist = 0;
    unsigned lastLength = 0;
    bool audioMode = false;
    int channels = 1;
    int currentChannel = 0;
    int channelDelta = 0;
    AudioChannelState audio[4] = {};

    // Cipher
    uint32_t key[4] = {};
    uint8_t subst[256] = {};
};

extern ReaderState g;

// Reader services used by the unpacker and the cipher.
unsigned ReadPacked(unsigned char* buffer, unsigned count);
void DebugLogWrite(const char* message, const char* sourceFile, unsigned line);
void Crc32Init();
unsigned Crc32Update(unsigned crc, const void* data, unsigned length);

// Unpacker. UnpackNewArchive starts a call's state over a zeroed window, so even a
// first entry that claims to continue a solid state decodes the same every time.
void UnpackNewArchive(unsigned char* window);
void Unpack(unsigned char* window);

// Cipher.
void SetupCryptKey(const char* password);
void DecryptBlock(unsigned char* block);
void EncryptBlock(unsigned char* block);

}  // namespace rar

#define RAR_LOG(file, msg) ::rar::DebugLogWrite((msg), (file), __LINE__)
