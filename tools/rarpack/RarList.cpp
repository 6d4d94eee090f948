// Lists the entries of a RAR archive held in memory.
#include "RarList.h"

#include "kavlo/rar/RarState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace rarpack {

// Walks the headers of an archive held in memory; every read is bounds-checked.
bool ListArchive(const std::vector<uint8_t>& a, bool* solid, std::vector<ListedEntry>* out,
                 std::string* error) {
    static const uint8_t kRar[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    if (a.size() < 20 || (memcmp(a.data(), kRar, 7) != 0 && memcmp(a.data(), "Kolvar!", 7) != 0)) {
        *error = "not a RAR archive";
        return false;
    }
    rar::ByteCursor mh(a.data() + 7, 13);
    uint16_t crc = 0, flags = 0, size = 0;
    uint8_t type = 0;
    mh.U16(&crc);
    mh.U8(&type);
    mh.U16(&flags);
    mh.U16(&size);
    *solid = (flags & 0x0008) != 0;
    uint64_t pos = 7 + std::max<uint16_t>(size, 13);
    while (pos + 7 <= a.size()) {
        rar::ByteCursor c(a.data() + pos, a.size() - pos);
        uint16_t bflags = 0, bsize = 0;
        uint8_t btype = 0;
        c.U16(&crc);
        c.U8(&btype);
        c.U16(&bflags);
        c.U16(&bsize);
        uint32_t dataSize = 0;
        if (bflags & 0x8000) c.U32(&dataSize);
        if (bsize < 7) break;
        if (btype == 0x74) {
            ListedEntry e;
            uint32_t unp, fcrc, ftime, attr;
            uint8_t host, ver, method;
            uint16_t nameSize;
            e.packed = dataSize;
            if (!(c.U32(&unp) && c.U8(&host) && c.U32(&fcrc) && c.U32(&ftime) && c.U8(&ver) &&
                  c.U8(&method) && c.U16(&nameSize) && c.U32(&attr))) {
                *error = "truncated file header";
                return false;
            }
            if (pos + 32 + nameSize > a.size()) {
                *error = "truncated file name";
                return false;
            }
            e.name.assign(reinterpret_cast<const char*>(a.data() + pos + 32), nameSize);
            e.unpacked = unp;
            e.crc = fcrc;
            e.method = method;
            e.version = ver;
            e.flags = bflags;
            out->push_back(e);
        }
        uint64_t next = pos + bsize + ((bflags & 0x8000) ? dataSize : 0);
        if (next <= pos) break;
        pos = next;
    }
    return true;
}


std::string MethodName(const ListedEntry& e) {
    char method[8];
    std::snprintf(method, sizeof method, "m%d%s", e.method >= 0x30 ? e.method - 0x30 : 0,
                  (e.flags & 4) ? "*" : "");
    return method;
}

}  // namespace rarpack
