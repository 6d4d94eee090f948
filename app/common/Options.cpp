// The command-line values the programs share.
#include "Options.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

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

bool OptionReader::Is(const char* name, const char* alias) const {
    const char* arg = argv_[at_];
    return std::strcmp(arg, name) == 0 || (alias && std::strcmp(arg, alias) == 0);
}

// The option quoted, so that whoever shows the message (the web page) can tell which
// argument it was.
bool OptionReader::Refuse(const char* needs) const {
    std::fprintf(stderr, "%s: '%s' needs %s\n", program_, argv_[at_], needs);
    return false;
}

bool OptionReader::Size(RenderSize* out) {
    const int option = at_;
    if (ParseRenderSize(Value(), out)) return true;
    at_ = option;
    const std::string needs = "WxH, each side " + std::to_string(kMinRenderSide) + " to " +
                              std::to_string(kMaxRenderSide);
    return Refuse(needs.c_str());
}

bool OptionReader::Time(uint32_t max, uint32_t* out) {
    const int option = at_;
    if (ParseNumber(Value(), max, out)) return true;
    at_ = option;
    const std::string needs = "a time in ms, 0 to " + std::to_string(max);
    return Refuse(needs.c_str());
}

bool OptionReader::Times(std::vector<uint32_t>* out) {
    const int option = at_;
    if (ParseTimes(Value(), out)) return true;
    at_ = option;
    return Refuse("times in ms, MS[,MS...]");
}

bool OptionReader::FrameRate(uint32_t* fps) {
    const int option = at_;
    uint32_t number = 0;
    if (ParseNumber(Value(), 1000, &number) && number >= 1) {
        *fps = number;
        return true;
    }
    at_ = option;
    return Refuse("a frame rate, 1 to 1000");
}

bool OptionReader::Number(uint32_t max, uint32_t* out, const char* what) {
    const int option = at_;
    if (ParseNumber(Value(), max, out)) return true;
    at_ = option;
    return Refuse(what);
}

bool OptionReader::Text(const char** out, const char* what) {
    const int option = at_;
    if ((*out = Value())) return true;
    at_ = option;
    return Refuse(what);
}

bool OptionReader::Choice(const char* const* choices, int* out, const char* what) {
    const int option = at_;
    const char* value = Value();
    for (int i = 0; value && choices[i]; ++i)
        if (std::strcmp(value, choices[i]) == 0) {
            *out = i;
            return true;
        }
    at_ = option;
    return Refuse(what);
}

void OptionReader::Unknown(const char* usage) const {
    std::fprintf(stderr, "%s: unknown option '%s'\n%s", program_, argv_[at_], usage);
}
