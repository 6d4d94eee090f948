// Placeholder sound layer until the real one lands: the library starts but finds no
// output device, so the music player reports "Error initializing output device.".
#include "Sound.h"

namespace sound {
namespace {
int lastError = kErrNone;
}

float GetVersion() { return 3.33f; }
bool SetOutput(int) { return true; }
bool SetDriver(int) { return true; }
bool Init(int, int, unsigned) {
    lastError = kErrInit;
    return false;
}
int GetError() { return lastError; }
void Close() {}
Module* LoadSong(const char*) {
    lastError = kErrUninitialized;
    return nullptr;
}
bool SetZxxCallback(Module*, ZxxCallback) { return false; }
bool PlaySong(Module*) { return false; }
bool SetMasterVolume(Module*, int) { return false; }
Stream* StreamOpen(const void*, unsigned, int) {
    lastError = kErrUninitialized;
    return nullptr;
}
int StreamPlay(int, Stream*) {
    lastError = kErrUninitialized;
    return -1;
}
bool SetPan(int, int) { return false; }
int StreamGetPosition(Stream*) { return 0; }

}  // namespace sound
