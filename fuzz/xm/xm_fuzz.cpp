// Fuzz target for the XM pattern scan alone (no libopenmpt, so every execution stays in
// our code). Whatever the scan accepts must agree with itself: the stripped copy keeps
// the file's size and differs only at the Z commands, every sync lies inside its
// pattern, and scanning the stripped copy finds no sync left.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/XmScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sound::XmScan scan;
    std::vector<uint8_t> stripped;
    std::string error;
    if (!sound::ScanXm(data, size, &scan, &stripped, &error)) {
        if (error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    if (stripped.size() != size) std::abort();
    if (scan.channels <= 0 || scan.channels > 256 || scan.patterns.size() > 256) std::abort();
    for (const sound::XmPattern& p : scan.patterns)
        if (p.rows <= 0 || p.cells.size() > static_cast<size_t>(p.rows) * scan.channels) std::abort();
    for (const sound::XmSync& s : scan.syncs) {
        if (s.pattern < 0 || static_cast<size_t>(s.pattern) >= scan.patterns.size()) std::abort();
        const sound::XmPattern& p = scan.patterns[s.pattern];
        if (s.row < 0 || s.row >= p.rows || s.channel < 0 || s.channel >= scan.channels) std::abort();
        size_t cell = static_cast<size_t>(s.row) * scan.channels + s.channel;
        if (cell >= p.cells.size() || p.cells[cell].effect != sound::kXmEffectSync) std::abort();
    }
    size_t changed = 0;
    for (size_t i = 0; i < size; ++i) changed += stripped[i] != data[i];
    if (changed > 2 * scan.syncs.size()) std::abort();

    // The copy that libopenmpt gets must carry no Z command and read the same otherwise.
    sound::XmScan again;
    if (!sound::ScanXm(stripped.data(), stripped.size(), &again, nullptr, &error)) std::abort();
    if (!again.syncs.empty() || again.patterns.size() != scan.patterns.size() ||
        again.orders != scan.orders)
        std::abort();
    // Without a copy asked for, the scan must give the same result.
    sound::XmScan bare;
    if (!sound::ScanXm(data, size, &bare, nullptr, nullptr) || bare.syncs.size() != scan.syncs.size())
        std::abort();
    return 0;
}
