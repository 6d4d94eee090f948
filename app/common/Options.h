// The command lines of the programs: the values they share, read and refused the same
// way in each.
#pragma once

#include "kavlo/main.h"  // RenderSize

#include <cstdint>
#include <vector>

// Reads "WxH" (for example "1440x1080"); false for anything else or a side outside
// kMinRenderSide..kMaxRenderSide.
constexpr int kMinRenderSide = 64;
constexpr int kMaxRenderSide = 16384;
bool ParseRenderSize(const char* text, RenderSize* size);

// The command lines' numbers, the same in every program: decimal digits and nothing
// else (no sign, space or unit), at most `max`. False for anything else, `out` then
// untouched.
bool ParseNumber(const char* text, uint32_t max, uint32_t* out);
// Times in ms, "MS[,MS...]", each a number as above up to 2^32 - 1, appended to `out`
// when all are; false for anything else (an empty list too).
bool ParseTimes(const char* text, std::vector<uint32_t>* out);

// One program's command line, read option by option. The values the programs share are
// checked the same way in each; a bad or missing value is said on stderr, after the
// program's name, and the reader's call returns false (the program then exits with 2).
class OptionReader {
public:
    OptionReader(const char* program, int argc, char** argv)
        : program_(program), argc_(argc), argv_(argv) {}

    // Moves to the next argument; false past the last.
    bool Next() { return ++at_ < argc_; }
    // Whether the argument is `name` or `alias`.
    bool Is(const char* name, const char* alias = nullptr) const;

    // The value after the option, as each kind.
    bool Size(RenderSize* out);                   // WxH
    bool Time(uint32_t max, uint32_t* out);       // ms, 0 to max
    bool Times(std::vector<uint32_t>* out);       // MS[,MS...], appended
    bool FrameRate(uint32_t* fps);                // frames per second, 1 to 1000
    bool Number(uint32_t max, uint32_t* out, const char* what);
    bool Text(const char** out, const char* what);
    // One of `choices` (a list ending in nullptr), its index in `out`.
    bool Choice(const char* const* choices, int* out, const char* what);

    // Says that the argument is no option of the program, followed by its usage.
    void Unknown(const char* usage) const;

private:
    const char* Value() { return at_ + 1 < argc_ ? argv_[++at_] : nullptr; }
    bool Refuse(const char* needs) const;

    const char* program_;
    int argc_;
    char** argv_;
    int at_ = 0;
};
