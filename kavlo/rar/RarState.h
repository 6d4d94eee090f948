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
// Zeroed bytes behind the input block: a 16-bit peek reads two bytes past the byte
// position, which may sit at the last byte of the block.
constexpr unsigned kInputSlack = 8;

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

struct HuffmanTable {
    uint32_t symbolCount = 0;
    uint32_t limits[16] = {};
    uint32_t firstIndex[16] = {};
    uint32_t symbols[kMainSymbols] = {};
};

struct AudioChannelState {
    int32_t K1, K2, K3, K4, K5;
    int32_t D1, D2, D3, D4;
    int32_t lastDelta;
    uint32_t dif[11];
    uint32_t byteCount;
    int32_t lastValue;
};

// One step of the multimedia-mode predictor for channel state V: turns the coded
// `delta` into the output byte and adapts the channel's weights every 32 bytes.
// `channelDelta` is the last delta of whichever channel ran before. The unpacker runs
// it to decode and the packer to stay in step with the unpacker, so both share it.
inline unsigned char AudioPredictorStep(AudioChannelState& V, int& channelDelta, int delta) {
    V.byteCount++;
    V.D4 = V.D3;
    V.D3 = V.D2;
    V.D2 = V.lastDelta - V.D1;
    V.D1 = V.lastDelta;
    int p = 8 * V.lastValue + V.K1 * V.D1 + V.K2 * V.D2 + V.K3 * V.D3 + V.K4 * V.D4 +
            V.K5 * channelDelta;
    p = (p >> 3) & 0xFF;
    const int value = p - delta;
    const int d = static_cast<signed char>(delta) * 8;
    const int neighbours[5] = {V.D1, V.D2, V.D3, V.D4, channelDelta};
    V.dif[0] += static_cast<unsigned>(std::abs(d));
    for (int i = 0; i < 5; ++i) {
        V.dif[1 + 2 * i] += static_cast<unsigned>(std::abs(d - neighbours[i]));
        V.dif[2 + 2 * i] += static_cast<unsigned>(std::abs(d + neighbours[i]));
    }
    channelDelta = V.lastDelta = static_cast<signed char>(value - V.lastValue);
    V.lastValue = value;
    if ((V.byteCount & 0x1F) == 0) {
        unsigned best = V.dif[0];
        int index = 0;
        for (int i = 1; i < 11; ++i) {
            if (V.dif[i] < best) {
                best = V.dif[i];
                index = i;
            }
        }
        std::memset(V.dif, 0, sizeof V.dif);
        int32_t* K[5] = {&V.K1, &V.K2, &V.K3, &V.K4, &V.K5};
        if (index > 0) {
            int32_t& k = *K[(index - 1) / 2];
            if (index & 1) {
                if (k >= -16) --k;
            } else if (k < 16) {
                ++k;
            }
        }
    }
    return static_cast<unsigned char>(value & 0xFF);
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
    int32_t unpackedLeft = 0;
    int encryptionVersion = 0;
    uint32_t crcTable[256] = {};
    uint32_t headerCrc = 0;

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
