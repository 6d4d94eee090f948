// GL errors, for the runs that look for them (test runs, the page's GL check).
#pragma once

#include <cstdint>

namespace platform::gl {

// Takes the GL errors pending and says each on stderr ("kavlo: GL error 0x0502 (show
// time 1234 ms)"). A lost context answers every call with an error, so a few at most.
void ReportGLErrors(uint32_t showTimeMs);

}  // namespace platform::gl
