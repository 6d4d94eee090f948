// XM pattern reader: header, order list and packed pattern data, bounds-checked.
#include "XmScan.h"

namespace sound {
namespace {

// Little-endian reads that never pass the end: a short read sets `failed` and yields 0.
struct Cursor {
    const uint8_t* data;
    size_t size;
    size_t pos;
    bool failed = false;

    bool Has(size_t n) const { return pos <= size && size - pos >= n; }
    uint8_t U8() {
        if (!Has(1)) return Fail();
        return data[pos++];
    }
    uint16_t U16() {
        if (!Has(2)) return Fail();
        uint16_t v = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        pos += 2;
        return v;
    }
    uint32_t U32() {
        if (!Has(4)) return Fail();
        uint32_t v = static_cast<uint32_t>(data[pos]) | (static_cast<uint32_t>(data[pos + 1]) << 8) |
                     (static_cast<uint32_t>(data[pos + 2]) << 16) |
                     (static_cast<uint32_t>(data[pos + 3]) << 24);
        pos += 4;
        return v;
    }
    uint8_t Fail() {
        failed = true;
        pos = size;
        return 0;
    }
};

const char kSignature[] = "Extended Module: ";
constexpr size_t kSignatureLength = 17;
constexpr size_t kHeaderSizeOffset = 60;
constexpr int kMaxChannels = 256;
constexpr int kMaxPatterns = 256;

bool SetError(std::string* error, const char* text) {
    if (error) *error = text;
    return false;
}

// Where the bytes of one Z command sit in the file, so the copy can be cleared.
struct SyncBytes {
    size_t effect;
    size_t param;  // 0 when the cell had no parameter byte
};

// The header from its version on and the order list; leaves `in` at the first pattern.
bool ReadHeader(Cursor& in, XmScan* scan, int* patternCount, std::string* error) {
    uint16_t version = in.U16();
    if (in.failed) return SetError(error, "XM header is cut short");
    if (version != 0x0104) return SetError(error, "XM version other than 1.04");

    uint32_t headerSize = in.U32();
    uint16_t songLength = in.U16();
    in.U16();  // restart position
    uint16_t channels = in.U16();
    uint16_t patterns = in.U16();
    in.U16();  // instruments
    in.U16();  // flags
    uint16_t speed = in.U16();
    uint16_t tempo = in.U16();
    if (in.failed) return SetError(error, "XM header is cut short");
    if (headerSize < 20) return SetError(error, "XM header size too small");
    if (channels == 0 || channels > kMaxChannels) return SetError(error, "XM channel count out of range");
    if (patterns > kMaxPatterns) return SetError(error, "XM pattern count out of range");

    // The order table fills the rest of the header, at most 256 entries.
    size_t orderBytes = headerSize - 20 < 256 ? headerSize - 20 : 256;
    size_t orderCount = songLength < orderBytes ? songLength : orderBytes;
    for (size_t i = 0; i < orderCount; ++i) scan->orders.push_back(in.U8());
    if (in.failed) return SetError(error, "XM order table is cut short");
    scan->channels = channels;
    scan->speed = speed;
    scan->tempo = tempo;
    *patternCount = patterns;

    if (kHeaderSizeOffset + static_cast<uint64_t>(headerSize) > in.size)
        return SetError(error, "XM header runs past the end of the file");
    in.pos = kHeaderSizeOffset + headerSize;
    return true;
}

// One packed cell; `at` gets where its effect and parameter bytes sit (0 when absent).
XmCell ReadCell(Cursor& cells, SyncBytes* at) {
    XmCell cell;
    *at = SyncBytes{0, 0};
    uint8_t first = cells.U8();
    if (first & 0x80) {
        if (first & 0x01) cell.note = cells.U8();
        if (first & 0x02) cell.instrument = cells.U8();
        if (first & 0x04) cell.volume = cells.U8();
        if (first & 0x08) {
            at->effect = cells.pos;
            cell.effect = cells.U8();
        }
        if (first & 0x10) {
            at->param = cells.pos;
            cell.param = cells.U8();
        }
    } else {
        cell.note = first;
        cell.instrument = cells.U8();
        cell.volume = cells.U8();
        at->effect = cells.pos;
        cell.effect = cells.U8();
        at->param = cells.pos;
        cell.param = cells.U8();
    }
    return cell;
}

// The cells of pattern `p` from its data block, with the Z commands among them noted.
void ReadCells(Cursor& cells, int p, XmPattern* pattern, XmScan* scan,
               std::vector<SyncBytes>* syncBytes) {
    const size_t channels = static_cast<size_t>(scan->channels);
    const size_t total = static_cast<size_t>(pattern->rows) * channels;
    for (size_t i = 0; i < total && cells.Has(1); ++i) {
        SyncBytes at;
        const XmCell cell = ReadCell(cells, &at);
        if (cells.failed) break;  // a cell cut off at the end of the block is not played
        if (at.effect && cell.effect == kXmEffectSync) {
            int row = static_cast<int>(i / channels);
            int channel = static_cast<int>(i % channels);
            scan->syncs.push_back(XmSync{p, row, channel, cell.param});
            syncBytes->push_back(at);
        }
        pattern->cells.push_back(cell);
    }
}

// Every pattern from `in` on. A file that ends early leaves the later patterns out;
// only a pattern header too small to be one fails.
bool ReadPatterns(Cursor& in, int patternCount, XmScan* scan, std::vector<SyncBytes>* syncBytes,
                  std::string* error) {
    for (int p = 0; p < patternCount; ++p) {
        size_t patternStart = in.pos;
        uint32_t patternHeaderLength = in.U32();
        in.U8();  // packing type, always 0
        uint16_t rows = in.U16();
        uint16_t packedSize = in.U16();
        if (in.failed) break;  // the file ends early: later patterns are blank
        if (patternHeaderLength < 9) return SetError(error, "XM pattern header too small");
        if (rows == 0 || rows > 1024) rows = 64;

        XmPattern pattern;
        pattern.rows = rows;
        uint64_t dataStart = static_cast<uint64_t>(patternStart) + patternHeaderLength;
        if (dataStart > in.size) {
            scan->patterns.push_back(pattern);
            break;
        }
        size_t available = in.size - static_cast<size_t>(dataStart);
        size_t dataSize = packedSize < available ? packedSize : available;
        Cursor cells{in.data, static_cast<size_t>(dataStart) + dataSize, static_cast<size_t>(dataStart)};
        ReadCells(cells, p, &pattern, scan, syncBytes);
        scan->patterns.push_back(std::move(pattern));
        in.pos = static_cast<size_t>(dataStart) + dataSize;
        if (dataSize < packedSize) break;
    }
    return true;
}

}  // namespace

bool LooksLikeXm(const void* data, size_t size) {
    if (!data || size < kSignatureLength) return false;
    const char* text = static_cast<const char*>(data);
    // Some trackers wrote the signature in other letter cases.
    for (size_t i = 0; i < kSignatureLength; ++i) {
        char a = text[i], b = kSignature[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

bool ScanXm(const void* data, size_t size, XmScan* scan, std::vector<uint8_t>* stripped,
            std::string* error) {
    if (!scan) return SetError(error, "no result given");
    *scan = XmScan();
    if (!LooksLikeXm(data, size)) return SetError(error, "not an XM module");
    Cursor in{static_cast<const uint8_t*>(data), size, 58};
    int patternCount = 0;
    if (!ReadHeader(in, scan, &patternCount, error)) return false;
    std::vector<SyncBytes> syncBytes;
    if (!ReadPatterns(in, patternCount, scan, &syncBytes, error)) return false;
    if (stripped) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        stripped->assign(bytes, bytes + size);
        for (const SyncBytes& at : syncBytes) {
            (*stripped)[at.effect] = 0;
            if (at.param) (*stripped)[at.param] = 0;
        }
    }
    return true;
}

}  // namespace sound
