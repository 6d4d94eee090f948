// A desktop's output says nothing of its own: a sound server is asked (ServerLatency.h).
#include "OutputClock.h"

namespace sound::output {

bool Watch() { return false; }
int64_t HeardAfterNs(uint64_t, int) { return -1; }

}  // namespace sound::output
