// libFuzzer target: the XM pattern scanner and the module renderer on any bytes.
#include "audio/ModuleRenderer.h"
#include "audio/XmScan.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sound::XmScan scan;
    std::vector<uint8_t> stripped;
    if (sound::ScanXm(data, size, &scan, &stripped, nullptr) && stripped.size() != size) __builtin_trap();
    // The renderer's row tracking over whatever libopenmpt makes of the bytes.
    if (size < 200000) {
        sound::ModuleRenderer renderer;
        if (renderer.Load(data, size, nullptr)) {
            float out[2 * 512];
            renderer.Render(out, 512, nullptr, nullptr);
        }
    }
    return 0;
}
