// The sound layer over SDL2 audio: one output device whose callback mixes the playing
// modules (libopenmpt, with their Zxx syncs) and the streams on their channels.
#include "Sound.h"

#include "ModuleRenderer.h"
#include "StreamDecoder.h"
#include "platform/sound/OutputClock.h"
#include "platform/sound/ServerLatency.h"
#include "platform/sound/SilentOutput.h"
#include "platform/sound/Threads.h"
// Each entry point that may allocate holds a LibraryScope: this layer stands in for the
// closed sound library, whose memory (a loaded song is kept to the end) is not the
// demo's to report as leaked.
#include "memory/MemoryTracker.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace sound {

struct Module {
    ModuleRenderer renderer;
    std::atomic<ZxxCallback> callback{nullptr};
    std::atomic<bool> playing{false};
    std::atomic<int> volume{255};
    // Steady-clock time at which the song's first frame is due at the output; 0 until
    // the audio thread has begun rendering it.
    std::atomic<int64_t> startNs{0};
    // Bumped when the song stops or moves: syncs rendered before are no longer heard.
    std::atomic<uint64_t> generation{0};
};

struct Stream {
    StreamDecoder decoder;
    const void* image = nullptr;  // the caller's file image, read for the stream's lifetime
    void* ownedImage = nullptr;   // the file's bytes when the stream was opened by name
    std::atomic<int> position{0};
    std::atomic<bool> playing{false};
    int channel = -1;

    ~Stream() { std::free(ownedImage); }
};

namespace {

constexpr float kVersion = 3.33f;
constexpr int kDeviceBufferFrames = 512;  // 11.6 ms at 44100 Hz
// A sound server (PulseAudio, PipeWire) mixes in a process of its own and takes a
// client's buffer as the stream's whole latency: 11.6 ms leaves no slack on a busy
// machine (the show rendered in software fills every core), and each late callback is
// heard as a gap. 93 ms is about what the original's sound library buffered. A browser
// calls back on the page's own thread, between frames that can take tens of
// milliseconds to draw: it needs the same slack.
constexpr int kServerBufferFrames = 4096;

bool ThroughSoundServer() {
    const char* driver = SDL_GetCurrentAudioDriver();
    return driver &&
           (std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0);
}

int DeviceBufferFrames() {
    const char* driver = SDL_GetCurrentAudioDriver();
    const bool browser = driver && std::strcmp(driver, "emscripten") == 0;
    return ThroughSoundServer() || browser ? kServerBufferFrames : kDeviceBufferFrames;
}

struct Channel {
    Stream* stream = nullptr;
    std::atomic<int> pan{128};
};

// Everything below is touched by main-thread calls; the audio callback reads the mixing
// part (active, channels, scratch) while SDL holds the device lock, so main-thread
// changes to it are made under that lock.
struct State {
    bool initialised = false;
    int output = kOutputDefaultDevice;
    int driver = 0;
    SDL_AudioDeviceID device = 0;
    // The silent output: asked for before Init, running between Init and Close, paced
    // by SilentOutput.h or, when asked, by MixSilentOutput's caller alone.
    bool silentAsked = false;
    bool silentByHand = false;
    bool silent = false;
    uint64_t silentMixed = 0;  // frames, where paced by hand
    std::vector<float> handBuffer;
    int mixRate = 44100;
    int maxChannels = 0;
    std::unique_ptr<Channel[]> channels;
    std::vector<Module*> active;
    std::vector<float> scratch;
    std::set<Module*> modules;  // every live handle, so a stale pointer is refused
    std::set<Stream*> streams;
    ServerLatency server;  // asked only through a sound server
    bool outputClock = false;  // the output says when its buffers are heard (a browser)
    bool syncsByHandAsked = false;
};

// Never destroyed: an audio thread still running at process exit must find it intact.
State& S() {
    static State* state = [] {
        const MemoryTracker::LibraryScope libraryScope;
        return new State;
    }();
    return *state;
}

std::atomic<int> lastError{kErrNone};
std::atomic<float> versionOverride{0.0f};

struct Stats {
    std::atomic<uint64_t> callbacks{0};
    std::atomic<uint64_t> framesMixed{0};
    std::atomic<int64_t> busyNs{0};
    std::atomic<uint64_t> syncs{0};
    std::atomic<int64_t> latencyTotalNs{0};
    std::atomic<int64_t> latencyMaxNs{0};
    std::atomic<int> deviceRate{0};
    std::atomic<int> bufferFrames{0};
    std::atomic<uint64_t> lastSyncFrame{0};
    std::atomic<int64_t> songStartNs{0};

    void Reset() {
        callbacks = 0;
        framesMixed = 0;
        busyNs = 0;
        syncs = 0;
        latencyTotalNs = 0;
        latencyMaxNs = 0;
        lastSyncFrame = 0;
        songStartNs = 0;
    }
} stats;

// The thread SDL runs the audio callback on, once it has run.
std::atomic<SDL_threadID> audioThread{0};

// Syncs rendered but not yet heard: the audio thread queues each with the time its
// row's first frame reaches the ear, and a thread of the layer's own hands it to the
// Zxx callback then. Rows are rendered a device buffer or more ahead of the sound
// (through a sound server, 93 ms and the server's own buffering), and a picture drawn
// on a sync as it is rendered runs that far ahead of the beat.
struct HeardSync {
    Module* module;
    SyncEvent event;
    int64_t dueNs;
    uint64_t generation;
};
struct SyncDelivery {
    static constexpr size_t kCapacity = 256;
    std::mutex mutex;  // the ring and `stop`
    std::condition_variable changed;
    std::mutex delivering;  // held while a callback runs, so that a song is not freed under it
    HeardSync ring[kCapacity];
    size_t first = 0, count = 0;
    bool stop = false;
    std::thread thread;
    bool byHand = false;  // queued for DeliverHeardSyncs rather than for the thread
};
SyncDelivery& Delivery() {
    static SyncDelivery* delivery = [] {
        const MemoryTracker::LibraryScope libraryScope;
        return new SyncDelivery;
    }();
    return *delivery;
}

bool Fail(int code) {
    lastError.store(code);
    return false;
}

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Holds the device lock, so the audio callback is not inside the mix meanwhile.
class DeviceLock {
public:
    DeviceLock() : device_(S().device), silent_(S().silent) {
        if (device_) SDL_LockAudioDevice(device_);
        if (silent_) silent::Lock();
    }
    ~DeviceLock() {
        if (device_) SDL_UnlockAudioDevice(device_);
        if (silent_) silent::Unlock();
    }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

private:
    SDL_AudioDeviceID device_;
    bool silent_;
};

void DeliverSync(Module* module, const SyncEvent& event) {
    ZxxCallback callback = module->callback.load(std::memory_order_acquire);
    if (!callback) return;
    int64_t latency = NowNs() - event.renderStartNs;
    stats.lastSyncFrame.store(event.frame, std::memory_order_relaxed);
    callback(module, event.param);
    stats.syncs.fetch_add(1, std::memory_order_relaxed);
    stats.latencyTotalNs.fetch_add(latency, std::memory_order_relaxed);
    int64_t max = stats.latencyMaxNs.load(std::memory_order_relaxed);
    while (latency > max && !stats.latencyMaxNs.compare_exchange_weak(max, latency)) {
    }
}

void PanGains(int pan, float* left, float* right) {
    if (pan < 0) {
        *left = *right = 1.0f;
        return;
    }
    *left = pan <= 128 ? 1.0f : (255 - pan) / 127.0f;
    *right = pan >= 128 ? 1.0f : pan / 128.0f;
}

// The delivery thread: each queued sync at its time, in order.
void RunSyncDelivery() {
    const MemoryTracker::LibraryScope libraryScope;
    SyncDelivery& d = Delivery();
    std::unique_lock<std::mutex> lock(d.mutex);
    while (!d.stop) {
        if (d.count == 0) {
            d.changed.wait(lock);
            continue;
        }
        const HeardSync next = d.ring[d.first];
        if (NowNs() < next.dueNs) {
            d.changed.wait_until(lock, std::chrono::steady_clock::time_point(
                                           std::chrono::nanoseconds(next.dueNs)));
            continue;
        }
        d.first = (d.first + 1) % SyncDelivery::kCapacity;
        --d.count;
        std::lock_guard<std::mutex> delivering(d.delivering);
        lock.unlock();
        if (next.module->generation.load(std::memory_order_acquire) == next.generation)
            DeliverSync(next.module, next.event);
        lock.lock();
    }
}

// A page has no threads: there the program hands the syncs over between its frames.
void StartSyncDelivery() {
    SyncDelivery& d = Delivery();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.thread.joinable() || d.byHand) return;
    d.stop = false;
    d.count = 0;
    if (!kOwnThreads || S().syncsByHandAsked)
        d.byHand = true;
    else
        d.thread = std::thread(RunSyncDelivery);
}

void StopSyncDelivery() {
    SyncDelivery& d = Delivery();
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.stop = true;
        d.count = 0;
        d.byHand = false;
    }
    d.changed.notify_all();
    if (d.thread.joinable()) d.thread.join();
}

// A song stopped, moved or about to be freed: its queued syncs go, and one being
// delivered is waited for.
void DropSyncs(Module* module) {
    module->generation.fetch_add(1, std::memory_order_acq_rel);
    SyncDelivery& d = Delivery();
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        size_t kept = 0;
        for (size_t i = 0; i < d.count; ++i) {
            const HeardSync& s = d.ring[(d.first + i) % SyncDelivery::kCapacity];
            if (s.module != module) d.ring[(d.first + kept++) % SyncDelivery::kCapacity] = s;
        }
        d.count = kept;
    }
    std::lock_guard<std::mutex> delivering(d.delivering);
}

// What the renderer's sync handler needs to time a sync: the chunk being rendered.
struct ChunkTiming {
    Module* module;
    uint64_t firstFrame;  // the song frame the chunk starts at
    int64_t dueNs;        // when that frame is heard
    double frameNs;
};

// On the audio thread: queued for when its row is heard. Only a full queue (a song
// raising hundreds of syncs within the output's latency) hands one over at once.
void QueueSync(void* user, const SyncEvent& event) {
    const ChunkTiming& chunk = *static_cast<const ChunkTiming*>(user);
    const int64_t frames =
        static_cast<int64_t>(event.frame) - static_cast<int64_t>(chunk.firstFrame);
    const int64_t dueNs =
        chunk.dueNs + static_cast<int64_t>(static_cast<double>(frames) * chunk.frameNs);
    const HeardSync sync {chunk.module, event, dueNs,
                          chunk.module->generation.load(std::memory_order_acquire)};
    SyncDelivery& d = Delivery();
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (d.count < SyncDelivery::kCapacity && (d.thread.joinable() || d.byHand)) {
            d.ring[(d.first + d.count++) % SyncDelivery::kCapacity] = sync;
            d.changed.notify_one();
            return;
        }
    }
    DeliverSync(chunk.module, event);
}

// `dueNs`: when the first of these frames is heard.
void MixInto(State& s, float* out, size_t frames, int64_t dueNs) {
    float* scratch = s.scratch.data();
    for (Module* module : s.active) {
        if (!module->playing.load(std::memory_order_acquire)) continue;
        if (module->startNs.load() == 0) {
            module->startNs.store(dueNs, std::memory_order_release);
            stats.songStartNs.store(dueNs, std::memory_order_relaxed);
        }
        ChunkTiming chunk {module, module->renderer.FramesRendered(), dueNs, 1e9 / s.mixRate};
        size_t got = module->renderer.Render(scratch, frames, QueueSync, &chunk);
        float gain = module->volume.load(std::memory_order_relaxed) / 255.0f;
        for (size_t i = 0; i < 2 * got; ++i) out[i] += scratch[i] * gain;
        if (got < frames) module->playing.store(false);
    }
    for (int c = 0; c < s.maxChannels; ++c) {
        Channel& channel = s.channels[c];
        Stream* stream = channel.stream;
        if (!stream) continue;
        size_t got = stream->decoder.Read(scratch, frames, s.mixRate);
        float left, right;
        PanGains(channel.pan.load(std::memory_order_relaxed), &left, &right);
        for (size_t i = 0; i < got; ++i) {
            out[2 * i] += scratch[2 * i] * left;
            out[2 * i + 1] += scratch[2 * i + 1] * right;
        }
        int64_t position = stream->decoder.Position();
        stream->position.store(position > INT_MAX ? INT_MAX : static_cast<int>(position),
                               std::memory_order_release);
        if (got < frames) {
            stream->playing.store(false);
            stream->channel = -1;
            channel.stream = nullptr;
        }
    }
}

void SDLCALL AudioCallback(void*, Uint8* bytes, int length) {
    const MemoryTracker::LibraryScope libraryScope;
    int64_t start = NowNs();
    audioThread.store(SDL_ThreadID(), std::memory_order_relaxed);
    State& s = S();
    float* out = reinterpret_cast<float*>(bytes);
    size_t frames = static_cast<size_t>(length) / (2 * sizeof(float));
    std::fill(out, out + 2 * frames, 0.0f);
    // The buffer filled now waits behind the one playing: its first frame is heard about
    // one buffer from now. A sound server says how long what it is handed waits there; a
    // browser's output says when it plays this very buffer.
    const double frameNs = 1e9 / s.mixRate;
    int64_t heardAfter = static_cast<int64_t>(frames * frameNs);
    const int64_t reported = s.outputClock
                                 ? output::HeardAfterNs(stats.framesMixed.load(), s.mixRate)
                                 : s.server.LatencyNs();
    if (reported > 0 || (reported == 0 && s.outputClock)) heardAfter = reported;
    const int64_t dueNs = start + heardAfter;
    size_t step = s.scratch.size() / 2;
    for (size_t done = 0; step > 0 && done < frames; done += step)
        MixInto(s, out + 2 * done, std::min(step, frames - done),
                dueNs + static_cast<int64_t>(done * frameNs));
    for (size_t i = 0; i < 2 * frames; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
    stats.callbacks.fetch_add(1, std::memory_order_relaxed);
    stats.framesMixed.fetch_add(frames, std::memory_order_relaxed);
    stats.busyNs.fetch_add(NowNs() - start, std::memory_order_relaxed);
}

// Reads a whole file into a malloc'd block the caller frees; null with the error set.
void* ReadWholeFile(const char* fileName, size_t* size) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) {
        Fail(kErrFileNotFound);
        return nullptr;
    }
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
    if (length <= 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        Fail(length == 0 ? kErrFormat : kErrFileLoad);
        return nullptr;
    }
    void* data = std::malloc(static_cast<size_t>(length));
    if (!data) {
        std::fclose(file);
        Fail(kErrMemory);
        return nullptr;
    }
    bool read = std::fread(data, static_cast<size_t>(length), 1, file) == 1;
    std::fclose(file);
    if (!read) {
        std::free(data);
        Fail(kErrFileLoad);
        return nullptr;
    }
    *size = static_cast<size_t>(length);
    return data;
}

bool LiveModule(Module* module) { return module && S().modules.count(module) != 0; }
bool LiveStream(Stream* stream) { return stream && S().streams.count(stream) != 0; }

// One buffer of the silent output: the device callback's own work, with the sound dropped.
void MixSilent(float* buffer, int frames) {
    AudioCallback(nullptr, reinterpret_cast<Uint8*>(buffer),
                  static_cast<int>(2 * sizeof(float)) * frames);
}

// Stops the silent output's pace; also at exit, where nobody closes the layer.
void StopSilentOutput() {
    State& s = S();
    if (!s.silent) return;
    silent::Stop();
    s.silent = false;
}

bool StartSilentOutput(int mixRate) {
    State& s = S();
    static const bool stopAtExit = std::atexit(StopSilentOutput) == 0;
    if (!stopAtExit) return false;
    s.silent = true;
    s.silentMixed = 0;
    if (s.silentByHand) return true;
    if (!silent::Start(mixRate, kDeviceBufferFrames, MixSilent)) {
        s.silent = false;
        return false;
    }
    return true;
}

}  // namespace

float GetVersion() {
    float version = versionOverride.load();
    return version != 0.0f ? version : kVersion;
}

void OverrideVersion(float version) { versionOverride.store(version); }

void UseSilentOutput(bool silent) {
    const MemoryTracker::LibraryScope libraryScope;
    S().silentAsked = silent;
}

void PaceSilentOutputByHand(bool byHand) {
    const MemoryTracker::LibraryScope libraryScope;
    S().silentByHand = byHand;
}

void DeliverSyncsByHand(bool byHand) {
    const MemoryTracker::LibraryScope libraryScope;
    S().syncsByHandAsked = byHand;
}

void DeliverHeardSyncs(int64_t aheadNs) {
    SyncDelivery& d = Delivery();
    const int64_t by = NowNs() + aheadNs;
    for (;;) {
        HeardSync next {};
        {
            std::lock_guard<std::mutex> lock(d.mutex);
            if (!d.byHand || d.count == 0 || d.ring[d.first].dueNs > by) return;
            next = d.ring[d.first];
            d.first = (d.first + 1) % SyncDelivery::kCapacity;
            --d.count;
        }
        if (next.module->generation.load(std::memory_order_acquire) == next.generation)
            DeliverSync(next.module, next.event);
    }
}

void MixSilentOutput(uint64_t frames) {
    State& s = S();
    if (!s.silent || !s.silentByHand) return;
    std::vector<float>& buffer = s.handBuffer;
    while (s.silentMixed < frames) {
        const int n = static_cast<int>(std::min<uint64_t>(frames - s.silentMixed, kDeviceBufferFrames));
        buffer.resize(2 * static_cast<size_t>(n));
        MixSilent(buffer.data(), n);
        s.silentMixed += static_cast<uint64_t>(n);
    }
}

bool SetOutput(int outputType) {
    if (S().initialised) return Fail(kErrAlreadyInitialized);
    if (outputType != kOutputDefaultDevice) return Fail(kErrInvalidParam);
    S().output = outputType;
    return true;
}

bool SetDriver(int driver) {
    if (S().initialised) return Fail(kErrAlreadyInitialized);
    if (driver < 0) return Fail(kErrInvalidParam);
    S().driver = driver;
    return true;
}

bool Init(int mixRate, int maxChannels, unsigned) {
    const MemoryTracker::LibraryScope libraryScope;
    State& s = S();
    if (s.initialised) return Fail(kErrAlreadyInitialized);
    if (mixRate < 8000 || mixRate > 192000 || maxChannels < 1 || maxChannels > 1024)
        return Fail(kErrInvalidParam);
    if (s.silentAsked) {
        s.mixRate = mixRate;
        s.maxChannels = maxChannels;
        s.channels.reset(new Channel[static_cast<size_t>(maxChannels)]);
        s.scratch.assign(2 * static_cast<size_t>(kDeviceBufferFrames), 0.0f);
        s.active.clear();
        s.active.reserve(16);
        stats.Reset();
        stats.deviceRate = mixRate;
        stats.bufferFrames = kDeviceBufferFrames;
        s.initialised = true;
        lastError.store(kErrNone);
        if (!StartSilentOutput(mixRate)) {
            s.initialised = false;
            return Fail(kErrInit);
        }
        // Paced by hand, mixing is the clock: a sync is due as its row is mixed, unless
        // the syncs are handed over by hand too.
        if (!s.silentByHand || s.syncsByHandAsked) StartSyncDelivery();
        return true;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Fail(kErrInit);
    const char* deviceName = nullptr;
    if (s.driver > 0) {
        deviceName = SDL_GetAudioDeviceName(s.driver - 1, 0);
        if (!deviceName) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return Fail(kErrInit);
        }
    }
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = mixRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(DeviceBufferFrames());
    want.callback = AudioCallback;
    SDL_AudioSpec have;
    // SDL converts to whatever the device wants, so the mix is always float stereo.
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(deviceName, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return Fail(kErrInit);
    }
    s.mixRate = mixRate;
    s.maxChannels = maxChannels;
    s.channels.reset(new Channel[static_cast<size_t>(maxChannels)]);
    s.scratch.assign(2 * static_cast<size_t>(std::max<int>(have.samples, want.samples)), 0.0f);
    s.active.clear();
    s.active.reserve(16);
    stats.Reset();
    stats.deviceRate = have.freq;
    stats.bufferFrames = have.samples;
    s.device = device;
    s.initialised = true;
    lastError.store(kErrNone);
    if (ThroughSoundServer()) s.server.Start();
    s.outputClock = output::Watch();
    StartSyncDelivery();
    SDL_PauseAudioDevice(device, 0);
    return true;
}

int GetError() { return lastError.load(); }

void Close() {
    const MemoryTracker::LibraryScope libraryScope;
    State& s = S();
    if (!s.initialised) return;
    const bool silent = s.silent;
    StopSilentOutput();
    if (!silent) SDL_CloseAudioDevice(s.device);  // returns once the audio thread has stopped
    s.device = 0;
    StopSyncDelivery();
    s.server.Stop();
    s.outputClock = false;
    for (Module* module : s.active) module->playing.store(false);
    s.active.clear();
    for (int c = 0; c < s.maxChannels; ++c) {
        if (Stream* stream = s.channels[c].stream) {
            stream->playing.store(false);
            stream->channel = -1;
        }
    }
    s.channels.reset();
    s.maxChannels = 0;
    s.scratch.clear();
    if (!silent) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    s.initialised = false;
}

Module* LoadSong(const char* fileName) {
    const MemoryTracker::LibraryScope libraryScope;
    State& s = S();
    if (!s.initialised) {
        Fail(kErrUninitialized);
        return nullptr;
    }
    if (!fileName) {
        Fail(kErrInvalidParam);
        return nullptr;
    }
    size_t size = 0;
    void* data = ReadWholeFile(fileName, &size);
    if (!data) return nullptr;
    Module* module = new Module;
    module->renderer.SetSampleRate(s.mixRate);
    bool loaded = module->renderer.Load(data, size, nullptr);
    std::free(data);
    if (!loaded) {
        delete module;
        Fail(kErrFormat);
        return nullptr;
    }
    s.modules.insert(module);
    return module;
}

bool SetZxxCallback(Module* module, ZxxCallback callback) {
    if (!module) return Fail(kErrInvalidParam);
    module->callback.store(callback, std::memory_order_release);
    return true;
}

bool PlaySong(Module* module) { return PlaySongFrom(module, 0); }

bool PlaySongFrom(Module* module, uint32_t ms) {
    const MemoryTracker::LibraryScope libraryScope;
    State& s = S();
    if (!s.initialised) return Fail(kErrUninitialized);
    if (!LiveModule(module)) return Fail(kErrInvalidParam);
    {
        DeviceLock lock;
        module->playing.store(false);
        s.active.erase(std::remove(s.active.begin(), s.active.end(), module), s.active.end());
    }
    DropSyncs(module);
    // Out of the mix, the seek (up to a row of rendering) holds up no device callback.
    const uint64_t frame = static_cast<uint64_t>(ms) * static_cast<uint64_t>(s.mixRate) / 1000;
    if (!module->renderer.Seek(frame)) return Fail(kErrInvalidParam);
    {
        DeviceLock lock;
        module->startNs.store(0);
        module->playing.store(true);
        s.active.push_back(module);
    }
    // Returns when the song's first frame is due at the output, so that a clock read
    // right after this call runs with what is heard. A device that does not call back
    // within a few buffers (or a call from the audio thread) is not waited for.
    // Without threads (a browser) SDL_ThreadID is 0 for every caller, so this returns at
    // once there: the callback runs between the page's frames, never during a wait here.
    if (audioThread.load() == SDL_ThreadID()) return true;
    const int rate = std::max(1, stats.deviceRate.load());
    const int64_t bufferNs =
        static_cast<int64_t>(1e9 * std::max(1, stats.bufferFrames.load()) / rate);
    const int64_t giveUp = NowNs() + 8 * bufferNs + 20000000;
    int64_t due = 0;
    while ((due = module->startNs.load(std::memory_order_acquire)) == 0 && NowNs() < giveUp)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    using Clock = std::chrono::steady_clock;
    if (due != 0 && due - NowNs() < 4 * bufferNs)
        std::this_thread::sleep_until(Clock::time_point(std::chrono::nanoseconds(due)));
    return true;
}

bool GetSongSyncs(Module* module, std::vector<SongSync>* syncs) {
    if (!LiveModule(module) || !syncs) return Fail(kErrInvalidParam);
    syncs->clear();
    for (const SyncEvent& event : module->renderer.Syncs())
        syncs->push_back({event.frame * 1000.0 / S().mixRate, event.param});
    return true;
}

bool StopSong(Module* module) {
    State& s = S();
    if (!LiveModule(module)) return Fail(kErrInvalidParam);
    {
        DeviceLock lock;
        module->playing.store(false);
        s.active.erase(std::remove(s.active.begin(), s.active.end(), module), s.active.end());
    }
    DropSyncs(module);
    return true;
}

bool IsSongPlaying(Module* module) { return module && module->playing.load(); }

bool SetMasterVolume(Module* module, int volume) {
    if (!LiveModule(module) || volume < 0 || volume > 255) return Fail(kErrInvalidParam);
    module->volume.store(volume);
    return true;
}

void FreeSong(Module* module) {
    const MemoryTracker::LibraryScope libraryScope;
    if (!LiveModule(module)) return;
    StopSong(module);
    S().modules.erase(module);
    delete module;
}

Stream* StreamOpen(const void* data, unsigned mode, int length) {
    const MemoryTracker::LibraryScope libraryScope;
    State& s = S();
    if (!s.initialised) {
        Fail(kErrUninitialized);
        return nullptr;
    }
    if (!data || ((mode & kLoadMemory) && length <= 0)) {
        Fail(kErrInvalidParam);
        return nullptr;
    }
    Stream* stream = new Stream;
    size_t size = static_cast<size_t>(length);
    if (mode & kLoadMemory) {
        stream->image = data;
    } else {
        stream->ownedImage = ReadWholeFile(static_cast<const char*>(data), &size);
        if (!stream->ownedImage) {
            delete stream;
            return nullptr;
        }
        stream->image = stream->ownedImage;
    }
    if (!stream->decoder.Open(stream->image, size, nullptr)) {
        delete stream;
        Fail(kErrFormat);
        return nullptr;
    }
    stream->decoder.SetLooping((mode & kLoopNormal) != 0);
    s.streams.insert(stream);
    return stream;
}

int StreamPlay(int channel, Stream* stream) {
    const MemoryTracker::LibraryScope libraryScope;
    State& s = S();
    if (!s.initialised) {
        Fail(kErrUninitialized);
        return -1;
    }
    if (!LiveStream(stream) || channel < -1 || channel >= s.maxChannels) {
        Fail(kErrInvalidParam);
        return -1;
    }
    DeviceLock lock;
    if (channel == -1) {
        for (int c = 0; c < s.maxChannels && channel == -1; ++c)
            if (!s.channels[c].stream) channel = c;
        if (channel == -1) {
            Fail(kErrChannelAlloc);
            return -1;
        }
    }
    if (stream->channel >= 0) s.channels[stream->channel].stream = nullptr;
    if (Stream* previous = s.channels[channel].stream) {
        previous->playing.store(false);
        previous->channel = -1;
    }
    if (stream->decoder.Ended()) {
        stream->decoder.Rewind();
        stream->position.store(0);
    }
    s.channels[channel].stream = stream;
    s.channels[channel].pan.store(128);
    stream->channel = channel;
    stream->playing.store(true);
    return channel;
}

bool SetPan(int channel, int pan) {
    State& s = S();
    if (!s.initialised) return Fail(kErrUninitialized);
    if (channel < 0 || channel >= s.maxChannels || pan < kPanStereo || pan > 255)
        return Fail(kErrInvalidParam);
    s.channels[channel].pan.store(pan);
    return true;
}

int StreamGetPosition(Stream* stream) {
    return stream ? stream->position.load(std::memory_order_acquire) : 0;
}

bool StreamSetTime(Stream* stream, uint32_t ms) {
    if (!LiveStream(stream)) return Fail(kErrInvalidParam);
    DeviceLock lock;
    const int64_t frame = static_cast<int64_t>(ms) * stream->decoder.SampleRate() / 1000;
    if (!stream->decoder.Seek(frame)) return Fail(kErrInvalidParam);
    const int64_t position = stream->decoder.Position();
    stream->position.store(position > INT_MAX ? INT_MAX : static_cast<int>(position),
                           std::memory_order_release);
    return true;
}

bool IsStreamPlaying(Stream* stream) { return stream && stream->playing.load(); }

bool StreamStop(Stream* stream) {
    State& s = S();
    if (!LiveStream(stream)) return Fail(kErrInvalidParam);
    DeviceLock lock;
    if (stream->channel >= 0 && s.channels) s.channels[stream->channel].stream = nullptr;
    stream->channel = -1;
    stream->playing.store(false);
    return true;
}

void StreamClose(Stream* stream) {
    const MemoryTracker::LibraryScope libraryScope;
    if (!LiveStream(stream)) return;
    StreamStop(stream);
    S().streams.erase(stream);
    delete stream;
}

MixerStats GetMixerStats() {
    MixerStats out;
    out.callbacks = stats.callbacks.load();
    out.framesMixed = stats.framesMixed.load();
    out.busyNs = stats.busyNs.load();
    out.syncsDelivered = stats.syncs.load();
    out.syncLatencyTotalNs = stats.latencyTotalNs.load();
    out.syncLatencyMaxNs = stats.latencyMaxNs.load();
    out.deviceRate = stats.deviceRate.load();
    out.deviceBufferFrames = stats.bufferFrames.load();
    out.lastSyncFrame = stats.lastSyncFrame.load();
    out.songStartNs = stats.songStartNs.load();
    return out;
}

}  // namespace sound
