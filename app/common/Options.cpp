// The command-line values the programs share.
#include "Options.h"

#include <cctype>

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
