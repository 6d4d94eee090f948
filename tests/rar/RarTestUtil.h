// Helpers of the archive tests: hand-built archive blocks with correct CRCs, files in
// the test's working directory, the debug log's text and a small MSB-first bit writer
// for hand-made packed streams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "System.h"

namespace rartest {

using Bytes = std::vector<uint8_t>;

inline uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0xFFFFFFFFu) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}
inline uint32_t FileCrc(const Bytes& b) { return ~Crc32(b.data(), b.size()); }

inline void Put16(Bytes& v, unsigned x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(Bytes& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

inline Bytes Marker() { return {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00}; }

inline Bytes MainHeader(uint16_t flags, uint16_t size = 13) {
    Bytes body;
    body.push_back(0x73);
    Put16(body, flags);
    Put16(body, size);
    Put16(body, 0);
    Put32(body, 0);
    Bytes h;
    Put16(h, ~Crc32(body.data(), body.size()) & 0xFFFF);
    h.insert(h.end(), body.begin(), body.end());
    while (h.size() < size) h.push_back(0);  // fields a newer archiver might add
    return h;
}

struct FileBlock {
    std::string name;
    Bytes packed;
    uint32_t unpackedSize = 0;
    uint32_t crc = 0;
    uint16_t flags = 0x8000;
    uint8_t version = 20;
    uint8_t method = 0x30;
    Bytes extra;             // fields between the name and the data
    bool breakCrc = false;   // store a wrong header CRC
};

inline Bytes Block(const FileBlock& f) {
    Bytes body;
    body.push_back(0x74);
    Put16(body, f.flags);
    Put16(body, static_cast<unsigned>(32 + f.name.size() + f.extra.size()));
    Put32(body, static_cast<uint32_t>(f.packed.size()));
    Put32(body, f.unpackedSize);
    body.push_back(2);
    Put32(body, f.crc);
    Put32(body, 0x21000000u);
    body.push_back(f.version);
    body.push_back(f.method);
    Put16(body, static_cast<unsigned>(f.name.size()));
    Put32(body, 0x20);
    body.insert(body.end(), f.name.begin(), f.name.end());
    uint16_t crc = ~Crc32(body.data(), body.size()) & 0xFFFF;
    if (f.breakCrc) crc ^= 0x5A5A;
    Bytes h;
    Put16(h, crc);
    h.insert(h.end(), body.begin(), body.end());
    h.insert(h.end(), f.extra.begin(), f.extra.end());
    h.insert(h.end(), f.packed.begin(), f.packed.end());
    return h;
}

inline FileBlock StoredEntry(const std::string& name, const std::string& text) {
    FileBlock f;
    f.name = name;
    f.packed.assign(text.begin(), text.end());
    f.unpackedSize = static_cast<uint32_t>(text.size());
    f.crc = FileCrc(f.packed);
    return f;
}

// Any other block: type, flags, and `data` after a 7-byte (or 11-byte long) header,
// with the CRC over what RAR 2.0 archivers cover: the header, and for a sub-block (0x77)
// the added data too.
inline Bytes OtherBlock(uint8_t type, const Bytes& data, bool longBlock) {
    Bytes h;
    Put16(h, 0);
    h.push_back(type);
    Put16(h, longBlock ? 0x8000 : 0);
    Put16(h, longBlock ? 11 : static_cast<unsigned>(7 + data.size()));
    if (longBlock) Put32(h, static_cast<uint32_t>(data.size()));
    h.insert(h.end(), data.begin(), data.end());
    const size_t covered = longBlock && type != 0x77 ? 11 : h.size();
    const uint16_t crc = ~Crc32(h.data() + 2, covered - 2) & 0xFFFF;
    h[0] = static_cast<uint8_t>(crc);
    h[1] = static_cast<uint8_t>(crc >> 8);
    return h;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline bool WriteFile(const std::string& path, const Bytes& b) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    return fclose(f) == 0 && ok;
}

inline Bytes ReadFile(const std::string& path) {
    Bytes b;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return b;
    int c;
    while ((c = fgetc(f)) != EOF) b.push_back(static_cast<uint8_t>(c));
    fclose(f);
    return b;
}

inline std::string ReadLog() {
    Bytes b = ReadFile("debug_unrar.txt");
    return testsystem::TextLines(std::string(b.begin(), b.end()));
}

// MSB-first bits, as the unpacker reads them.
class Bits {
public:
    void Put(uint32_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) {
            acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
            if (++n_ == 8) {
                bytes_.push_back(acc_);
                acc_ = 0;
                n_ = 0;
            }
        }
    }
    // Puts a code given as a string of '0' and '1'.
    void Code(const char* bits) {
        for (; *bits; ++bits) Put(*bits == '1', 1);
    }
    Bytes Finish() {
        Bytes out = bytes_;
        if (n_) out.push_back(static_cast<uint8_t>(acc_ << (8 - n_)));
        out.push_back(0);
        out.push_back(0);
        return out;
    }

private:
    Bytes bytes_;
    uint8_t acc_ = 0;
    unsigned n_ = 0;
};

}  // namespace rartest
