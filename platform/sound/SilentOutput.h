// Paces the sound layer's silent output (no device): mixes one buffer each time a
// buffer's worth of time has passed on the steady clock. A file per system: a thread of
// its own where there are threads, the page's own timer on the web.
#pragma once

namespace sound::silent {

// Mixes one buffer of `frames` stereo frames into `buffer` (2 * frames floats).
using MixFunction = void (*)(float* buffer, int frames);

// Starts the pacing at `rate` frames per second; false if it cannot start. Whatever the
// pacing allocates is allocated here, on the caller's thread, so that the sound library
// accounts for it as its own; `mix` accounts for its own work.
bool Start(int rate, int frames, MixFunction mix);
// Stops it; returns once no mix is running. Nothing when it was not started.
void Stop();

// Held around every mix, so that the sound layer's changes to what is mixed never meet
// a mix half-way (what SDL's device lock does for a device).
void Lock();
void Unlock();

}  // namespace sound::silent
