// The command-line values the programs share.
#include "Options.h"

#include <cctype>
#include <cstring>

bool ParseRenderSize(const char* text, RenderSize* size) {
    // Digits, one 'x', digits: nothing else.
    int sides[2] = {0, 0};
    const char* p = text;
    for (int k = 0; k < 2; ++k) {
        if (!p || !std::isdigit(static_cast<unsigned char>(*p))) return false;
        long value = 0;
        while (std::isdigit(static_cast<unsigned char>(*p))) {
            value = value * 10 + (*p++ - '0');
            if (value > kMaxRenderSide) return false;
        }
        sides[k] = static_cast<int>(value);
        if (k == 0 && *p++ != 'x') return false;
    }
    if (*p != '\0' || sides[0] < kMinRenderSide || sides[1] < kMinRenderSide) return false;
    size->width = sides[0];
    size->height = sides[1];
    return true;
}

namespace {

// Decimal digits from `p` up to `end`, at least one, at most `max`.
bool ParseDigits(const char* p, const char* end, uint32_t max, uint32_t* out) {
    if (p == end) return false;
    uint64_t value = 0;
    for (; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > max) return false;
    }
    *out = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

bool ParseNumber(const char* text, uint32_t max, uint32_t* out) {
    return text && ParseDigits(text, text + std::strlen(text), max, out);
}

bool ParseTimes(const char* text, std::vector<uint32_t>* out) {
    if (!text) return false;
    std::vector<uint32_t> times;
    for (const char* p = text;;) {
        const char* comma = std::strchr(p, ',');
        uint32_t ms = 0;
        if (!ParseDigits(p, comma ? comma : p + std::strlen(p), UINT32_MAX, &ms)) return false;
        times.push_back(ms);
        if (!comma) break;
        p = comma + 1;
    }
    out->insert(out->end(), times.begin(), times.end());
    return true;
}
