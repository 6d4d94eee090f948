// libFuzzer target: stream decoding of any bytes through libsndfile's virtual I/O,
// looping and resampling.
#include "audio/StreamDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sound::StreamDecoder decoder;
    if (!decoder.Open(data, size, nullptr)) return 0;
    decoder.SetLooping(true);
    float out[2 * 256];
    for (int i = 0; i < 8; ++i) decoder.Read(out, 256, 44100);
    return 0;
}
