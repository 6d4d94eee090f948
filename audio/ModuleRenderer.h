// Renders a tracker module through libopenmpt into interleaved float stereo and reports
// each row holding Zxx commands as rendering reaches it. Used by the sound layer's mixer
// on the audio thread, and on its own for offline rendering (no device needed).
//
// libopenmpt makes every tick a whole number of frames: at 44100 Hz a 120 BPM tick of
// 918.75 frames becomes 918, and such a song runs 0.08 % fast, a quarter of a beat over
// three minutes. So an XM whose initial tempo has no whole tick at the output rate is
// rendered at the nearest rate where it has one (44112 Hz for 120 BPM: 919 frames) and
// converted to the output rate (RateConverter), which puts its rows where its tempo says.
#pragma once

#include "RateConverter.h"
#include "XmScan.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct openmpt_module;

namespace sound {

struct SyncEvent {
    // Output frame at which the row began: exact where the tick is a whole number of
    // frames at the render rate, else the start of the render chunk the row began in.
    uint64_t frame = 0;
    int order = 0;
    int pattern = 0;
    int row = 0;
    int channel = 0;
    uint8_t param = 0;
    int64_t renderStartNs = 0;  // steady clock when that chunk's rendering began
};

// Where a row began, in output frames as SyncEvent::frame.
struct RowStart {
    uint64_t frame = 0;
    int order = 0;
    int pattern = 0;
    int row = 0;
};

// The rate nearest `outputRate` (within 1 %) at which a tick of `tempo` BPM lasts a whole
// number of frames; `outputRate` itself when its tick already does or none is near.
int WholeTickRate(int outputRate, int tempo);

class ModuleRenderer {
public:
    using SyncHandler = void (*)(void* user, const SyncEvent& event);
    static constexpr int kSampleRate = 44100;
    static constexpr int kDefaultChunkFrames = 64;
    static constexpr int kMaxChunkFrames = 256;  // shorter than any row, so none is missed

    ModuleRenderer();
    ~ModuleRenderer();
    ModuleRenderer(const ModuleRenderer&) = delete;
    ModuleRenderer& operator=(const ModuleRenderer&) = delete;

    // Loads a module image (any format libopenmpt reads; the data is not kept). An XM
    // has its Z commands found and removed from the copy libopenmpt plays, so they
    // change nothing audible. False with a reason in `error` when it cannot be read.
    bool Load(const void* data, size_t size, std::string* error);
    bool IsLoaded() const { return module_ != nullptr; }

    // Looping songs (the default) start over at their restart position when they end.
    void SetLooping(bool loop);
    // The output rate, 8000..192000 (default 44100), from the next Load or Restart on.
    void SetSampleRate(int rate);
    void SetChunkFrames(int frames);  // 1..kMaxChunkFrames: the accuracy of sync positions
    // Every row begun from here on is appended to `log` (null stops it). It allocates, so
    // it is for offline checks, not the audio thread.
    void LogRows(std::vector<RowStart>* log) { rowLog_ = log; }

    // Back to order 0, row 0; syncs fire again from there and frame counting restarts.
    void Restart();
    // Plays on from output frame `frame` of the song, as if it had played there from
    // its start (the frames are counted from the start; rows begun before it, and a row
    // beginning exactly there, are not reported). False, left at the start, when the
    // song does not reach it.
    bool Seek(uint64_t frame);
    // Every Zxx command of the song with the output frame its row begins at, in play
    // order, for the song played once through from its start. Taken at Load from
    // libopenmpt's row times, so it knows nothing of rows that a jump skips or a loop
    // repeats.
    const std::vector<SyncEvent>& Syncs() const { return syncTimes_; }

    // Renders up to `frames` stereo frames into `out` (2 * frames floats) and returns how
    // many were rendered: fewer only when a song that does not loop has ended. For every
    // Zxx command of a row begun, `handler` (may be null) gets an event, in pattern
    // order, as soon as the output holding the row's start has been rendered.
    size_t Render(float* out, size_t frames, SyncHandler handler, void* user);

    uint64_t FramesRendered() const { return framesRendered_; }
    int RenderRate() const { return renderRate_; }  // the rate libopenmpt plays at
    const XmScan& Scan() const { return scan_; }

private:
    size_t RenderDirect(float* out, size_t frames, SyncHandler handler, void* user);
    size_t RenderConverted(float* out, size_t frames, SyncHandler handler, void* user);
    size_t ChunkLength() const;
    uint64_t OutputFrame(uint64_t inputFrame) const;
    void TrackRow(uint64_t chunkStart, int64_t renderStartNs, SyncHandler handler, void* user);
    void BeginRow(int pattern, int row, uint64_t chunkStart, int64_t renderStartNs,
                  SyncHandler handler, void* user);
    void Deliver(SyncHandler handler, void* user);
    const std::vector<XmSync>* SyncsAt(int pattern, int row) const;
    double RowFrames(int pattern, int row) const;
    void Unload();
    void ListSyncs();

    openmpt_module* module_ = nullptr;
    XmScan scan_;
    // Per pattern, per row: the Zxx commands of that row and its pattern delay.
    std::vector<std::vector<std::vector<XmSync>>> syncsByRow_;
    std::vector<std::vector<uint8_t>> delayByRow_;
    int sampleRate_ = kSampleRate;  // output
    int renderRate_ = kSampleRate;  // libopenmpt's
    bool converting_ = false;
    RateConverter converter_;
    std::vector<float> chunk_;        // one render chunk on its way into the converter
    bool inputEnded_ = false;
    int chunkFrames_ = kDefaultChunkFrames;
    bool looping_ = true;
    double durationSeconds_ = 0;
    uint64_t framesRendered_ = 0;     // output frames
    uint64_t inputFrames_ = 0;        // frames libopenmpt rendered
    int lastOrder_ = -1;
    int lastRow_ = -1;
    uint64_t rowStartFrame_ = 0;      // input frame where the current row began
    // Events of rows begun in input the output has not reached yet; capacity set at Load.
    std::vector<SyncEvent> pending_;
    std::vector<RowStart>* rowLog_ = nullptr;
    std::vector<SyncEvent> syncTimes_;
};

// Renders up to `seconds` of a module at 44100 Hz into interleaved stereo `samples`,
// with every Zxx row and its frame position in `syncs` and every row's start in `rows`
// (any may be null). The song does not loop, so a shorter one ends early. False with a
// reason when it cannot load.
bool RenderModuleOffline(const void* data, size_t size, double seconds, std::vector<float>* samples,
                         std::vector<SyncEvent>* syncs, std::string* error,
                         int chunkFrames = 16, std::vector<RowStart>* rows = nullptr);

}  // namespace sound
