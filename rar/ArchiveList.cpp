// The listing of an archive and the escaping of its names, for the tools.
#include "ArchiveList.h"

#include <cstdio>

#include "ArchiveInternal.h"

namespace {

struct Lister : ArchiveVisitor {
    ArchiveListing* out;
    explicit Lister(ArchiveListing* listing) : out(listing) {}
    bool Wants(const ArchiveEntryInfo&) override { return false; }
    bool Take(const ArchiveEntryInfo& e, const uint8_t*, unsigned long, bool) override {
        ArchiveListedEntry l;
        l.name = e.name;
        l.packed = e.packedSize;
        l.unpacked = e.unpackedSize;
        l.crc = e.crc;
        l.method = e.method;
        l.version = e.version;
        l.flags = e.flags;
        l.offset = e.offset;
        l.headerOk = e.headerOk;
        out->entries.push_back(l);
        return true;
    }
    void Damaged(const char* what, uint64_t offset) override { out->damage = ArchiveDamageText(what, offset); }
};

}  // namespace

// The reader's own walk over the headers, so that listing, testing and extracting agree
// on what is damaged.
bool ArchiveList(const uint8_t* data, size_t size, ArchiveListing* out, std::string* error) {
    *out = ArchiveListing();
    Lister lister(out);
    switch (ArchiveListMemory(data, size, &out->solid, lister)) {
        case ArchiveWalkResult::kComplete:
        case ArchiveWalkResult::kStopped:
        case ArchiveWalkResult::kDamaged:
        case ArchiveWalkResult::kCutShort:
            return true;
        case ArchiveWalkResult::kNotRar:
        case ArchiveWalkResult::kCannotOpen:
            *error = "not a RAR archive";
            return false;
        case ArchiveWalkResult::kNoMemory:
            *error = "out of memory";
            return false;
        case ArchiveWalkResult::kBusy:
            *error = "the archive reader is already in use";
            return false;
    }
    return false;
}

std::vector<std::string> ArchiveListingProblems(const ArchiveListing& listing, const std::string& archive) {
    std::vector<std::string> lines;
    for (const ArchiveListedEntry& e : listing.entries) {
        if (e.headerOk) continue;
        lines.push_back(ArchiveEscapeText(e.name) + ": damaged header at offset " + std::to_string(e.offset));
    }
    if (!listing.damage.empty()) lines.push_back(ArchiveEscapeText(archive + ": damaged: " + listing.damage));
    return lines;
}

std::string ArchiveDamageText(const char* what, uint64_t offset) {
    char text[200];
    std::snprintf(text, sizeof text, "%s (at offset %llu)", what, static_cast<unsigned long long>(offset));
    return text;
}

std::string ArchiveMethodName(const ArchiveListedEntry& e) {
    char method[8];
    std::snprintf(method, sizeof method, "m%d%s", e.method >= 0x30 ? e.method - 0x30 : 0, (e.flags & 4) ? "*" : "");
    return method;
}

std::string ArchiveEscapeText(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        uint32_t code = len > 1 ? c & (0x7Fu >> len) : c;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char more = i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
            if ((more & 0xC0) != 0x80) {
                len = 0;
                break;
            }
            code = code << 6 | (more & 0x3Fu);
        }
        static const uint32_t kLeast[5] = {0, 0x20, 0xA0, 0x800, 0x10000};  // no controls, no overlong forms
        const bool printable = len > 0 && code >= kLeast[len] && code != 0x7F && code <= 0x10FFFF &&
                               (code < 0xD800 || code > 0xDFFF);
        if (printable) {
            out.append(s, i, len);
            i += len;
            continue;
        }
        const size_t bytes = len > 0 ? len : 1;
        for (size_t k = 0; k < bytes; ++k, ++i) {
            const unsigned char b = static_cast<unsigned char>(s[i]);
            char text[8];
            if (b == '\n') std::snprintf(text, sizeof text, "\\n");
            else if (b == '\r') std::snprintf(text, sizeof text, "\\r");
            else if (b == '\t') std::snprintf(text, sizeof text, "\\t");
            else std::snprintf(text, sizeof text, "\\x%02x", b);
            out += text;
        }
    }
    return out;
}
