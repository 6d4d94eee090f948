// Reads the pattern data of an XM module: finds its Zxx sync commands and the row
// timing hints the sync tracker needs, and makes a copy with the Z commands removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sound {

// The XM effect number of Zxx (digits 0-9, then letters from A = 10).
constexpr uint8_t kXmEffectSync = 0x23;

struct XmCell {
    uint8_t note = 0;        // 1..96 notes from C-0, 97 key off, 0 none
    uint8_t instrument = 0;  // 1-based, 0 none
    uint8_t volume = 0;      // volume column byte
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct XmPattern {
    int rows = 0;
    std::vector<XmCell> cells;  // rows * channels, row-major; blank past a short data block
};

struct XmSync {
    int pattern = 0;
    int row = 0;
    int channel = 0;
    uint8_t param = 0;
};

struct XmScan {
    int channels = 0;
    int speed = 0;  // the header's initial ticks per row and tempo (a tick is 2.5 / tempo s)
    int tempo = 0;
    std::vector<int> orders;           // the song's order list (pattern numbers)
    std::vector<XmPattern> patterns;
    std::vector<XmSync> syncs;         // pattern, then row, then channel order
};

// True when the data starts like an XM module.
bool LooksLikeXm(const void* data, size_t size);

// Decodes the header and every pattern of an XM module of version 1.04. Instruments
// are not read. False with a reason in `error` on data it cannot read; every length and
// count is checked against the bytes present, so any input is safe. When `stripped` is
// given it receives a copy of the file with each Z command (and its parameter) zeroed,
// which leaves the file's layout and sizes unchanged.
bool ScanXm(const void* data, size_t size, XmScan* scan, std::vector<uint8_t>* stripped,
            std::string* error);

}  // namespace sound
