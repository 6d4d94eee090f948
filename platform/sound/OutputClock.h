// When the sound handed to the output is heard, where the output can say it better than
// its buffer's length: a browser's audio engine knows when each buffer it asks for
// plays, and how long its own path to the speakers takes. A file per system.
#pragma once

#include <cstdint>

namespace sound::output {

// Once the device is open: starts following what the output plays. False where there is
// nothing to follow (a desktop: its sound server is asked instead).
bool Watch();

// Called in the device callback: ns from now until the first frame of the buffer being
// filled is heard, given the frames (at `mixRate`) handed to the output before it since
// it opened. Negative where the output cannot say.
int64_t HeardAfterNs(uint64_t framesBefore, int mixRate);

}  // namespace sound::output
