// Module rendering over libopenmpt with Zxx row tracking.
#include "ModuleRenderer.h"

#include <libopenmpt/libopenmpt.h>

#include <chrono>
#include <cmath>

namespace sound {
namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// XM speed and tempo: a row lasts `speed` ticks of 2.5 / tempo seconds.
double TickFrames(int sampleRate, int tempo) { return sampleRate * 2.5 / tempo; }

}  // namespace

ModuleRenderer::ModuleRenderer() = default;

ModuleRenderer::~ModuleRenderer() { Unload(); }

void ModuleRenderer::Unload() {
    if (module_) openmpt_module_destroy(module_);
    module_ = nullptr;
    scan_ = XmScan();
    syncsByRow_.clear();
    delayByRow_.clear();
}

bool ModuleRenderer::Load(const void* data, size_t size, std::string* error) {
    Unload();
    if (!data || size == 0) {
        if (error) *error = "empty module data";
        return false;
    }
    std::vector<uint8_t> stripped;
    const void* playData = data;
    if (LooksLikeXm(data, size)) {
        std::string scanError;
        // An XM that the scanner cannot read still plays, only without syncs.
        if (ScanXm(data, size, &scan_, &stripped, &scanError)) playData = stripped.data();
        else scan_ = XmScan();
    }
    int openError = 0;
    const char* message = nullptr;
    module_ = openmpt_module_create_from_memory2(playData, size, openmpt_log_func_silent, nullptr,
                                                 openmpt_error_func_ignore, nullptr, &openError,
                                                 &message, nullptr);
    if (!module_) {
        if (error) *error = message ? message : "libopenmpt cannot read the module";
        openmpt_free_string(message);
        scan_ = XmScan();
        return false;
    }
    openmpt_free_string(message);

    syncsByRow_.resize(scan_.patterns.size());
    delayByRow_.resize(scan_.patterns.size());
    for (size_t p = 0; p < scan_.patterns.size(); ++p) {
        const XmPattern& pattern = scan_.patterns[p];
        syncsByRow_[p].resize(static_cast<size_t>(pattern.rows));
        delayByRow_[p].assign(static_cast<size_t>(pattern.rows), 0);
        for (size_t i = 0; i < pattern.cells.size(); ++i) {
            const XmCell& cell = pattern.cells[i];
            size_t row = i / static_cast<size_t>(scan_.channels);
            if (cell.effect == 0x0E && (cell.param >> 4) == 0x0E) {  // EEx: pattern delay
                uint8_t delay = cell.param & 0x0F;
                if (delay > delayByRow_[p][row]) delayByRow_[p][row] = delay;
            }
        }
    }
    for (const XmSync& sync : scan_.syncs) syncsByRow_[sync.pattern][sync.row].push_back(sync);

    SetLooping(looping_);
    Restart();
    return true;
}

void ModuleRenderer::SetLooping(bool loop) {
    looping_ = loop;
    if (!module_) return;
    openmpt_module_set_repeat_count(module_, loop ? -1 : 0);
    // A song that does not loop ends on its last row, without libopenmpt's fade tail.
    openmpt_module_ctl_set_text(module_, "play.at_end", loop ? "continue" : "stop");
    durationSeconds_ = openmpt_module_get_duration_seconds(module_);
}

void ModuleRenderer::SetSampleRate(int rate) {
    if (rate >= 8000 && rate <= 192000) sampleRate_ = rate;
}

void ModuleRenderer::SetChunkFrames(int frames) {
    if (frames >= 1 && frames <= kMaxChunkFrames) chunkFrames_ = frames;
}

void ModuleRenderer::Restart() {
    if (module_) openmpt_module_set_position_order_row(module_, 0, 0);
    framesRendered_ = 0;
    lastOrder_ = -1;
    lastRow_ = -1;
    rowStartFrame_ = 0;
}

size_t ModuleRenderer::Render(float* out, size_t frames, SyncHandler handler, void* user) {
    if (!module_ || !out) return 0;
    size_t done = 0;
    while (done < frames) {
        size_t want = frames - done;
        if (want > static_cast<size_t>(chunkFrames_)) want = static_cast<size_t>(chunkFrames_);
        int64_t startNs = NowNs();
        size_t got =
            openmpt_module_read_interleaved_float_stereo(module_, sampleRate_, want, out + 2 * done);
        if (got == 0) break;
        uint64_t chunkStart = framesRendered_;
        framesRendered_ += got;
        done += got;
        TrackRow(chunkStart, startNs, handler, user);
        if (got < want) break;
    }
    return done;
}

const std::vector<XmSync>* ModuleRenderer::SyncsAt(int pattern, int row) const {
    if (pattern < 0 || static_cast<size_t>(pattern) >= syncsByRow_.size()) return nullptr;
    const auto& rows = syncsByRow_[static_cast<size_t>(pattern)];
    if (row < 0 || static_cast<size_t>(row) >= rows.size()) return nullptr;
    const auto& syncs = rows[static_cast<size_t>(row)];
    return syncs.empty() ? nullptr : &syncs;
}

double ModuleRenderer::RowFrames(int pattern, int row) const {
    int speed = openmpt_module_get_current_speed(module_);
    int tempo = openmpt_module_get_current_tempo(module_);
    if (speed <= 0 || tempo <= 0) return 0;
    int delay = delayByRow_[static_cast<size_t>(pattern)][static_cast<size_t>(row)];
    return speed * (1 + delay) * TickFrames(sampleRate_, tempo);
}

void ModuleRenderer::TrackRow(uint64_t chunkStart, int64_t renderStartNs, SyncHandler handler,
                              void* user) {
    // At the end of a song that does not loop libopenmpt reports the top of the song
    // again; nothing plays there.
    if (!looping_ && openmpt_module_get_position_seconds(module_) >= durationSeconds_) return;
    int order = openmpt_module_get_current_order(module_);
    int row = openmpt_module_get_current_row(module_);
    int pattern = openmpt_module_get_current_pattern(module_);
    if (order != lastOrder_ || row != lastRow_) {
        lastOrder_ = order;
        lastRow_ = row;
        rowStartFrame_ = chunkStart;
        FireRow(pattern, row, chunkStart, renderStartNs, handler, user);
        return;
    }
    // A row that loops onto itself (E6x on one row, a one-row pattern jumping to itself)
    // never changes the position libopenmpt reports; it is known by outlasting a row.
    if (!SyncsAt(pattern, row)) return;
    double rowFrames = RowFrames(pattern, row);
    if (rowFrames <= 0) return;
    double halfTick = TickFrames(sampleRate_, openmpt_module_get_current_tempo(module_)) / 2;
    if (static_cast<double>(framesRendered_ - rowStartFrame_) > rowFrames + halfTick) {
        rowStartFrame_ += static_cast<uint64_t>(std::llround(rowFrames));
        FireRow(pattern, row, chunkStart, renderStartNs, handler, user);
    }
}

void ModuleRenderer::FireRow(int pattern, int row, uint64_t chunkStart, int64_t renderStartNs,
                             SyncHandler handler, void* user) {
    const std::vector<XmSync>* syncs = SyncsAt(pattern, row);
    if (!syncs || !handler) return;
    for (const XmSync& sync : *syncs) {
        SyncEvent event;
        event.frame = chunkStart;
        event.order = lastOrder_;
        event.pattern = pattern;
        event.row = row;
        event.channel = sync.channel;
        event.param = sync.param;
        event.renderStartNs = renderStartNs;
        handler(user, event);
    }
}

namespace {

void CollectSync(void* user, const SyncEvent& event) {
    static_cast<std::vector<SyncEvent>*>(user)->push_back(event);
}

}  // namespace

bool RenderModuleOffline(const void* data, size_t size, double seconds, std::vector<float>* samples,
                         std::vector<SyncEvent>* syncs, std::string* error, int chunkFrames) {
    if (samples) samples->clear();
    if (syncs) syncs->clear();
    if (!(seconds >= 0) || seconds > 24 * 3600.0) {
        if (error) *error = "render length out of range";
        return false;
    }
    ModuleRenderer renderer;
    renderer.SetLooping(false);
    renderer.SetChunkFrames(chunkFrames);
    if (!renderer.Load(data, size, error)) return false;
    std::vector<SyncEvent> found;
    size_t total = static_cast<size_t>(std::llround(seconds * ModuleRenderer::kSampleRate));
    std::vector<float> block(2 * 4096);
    size_t done = 0;
    while (done < total) {
        size_t want = total - done < 4096 ? total - done : 4096;
        size_t got = renderer.Render(block.data(), want, CollectSync, &found);
        if (samples) samples->insert(samples->end(), block.begin(), block.begin() + 2 * got);
        done += got;
        if (got < want) break;
    }
    if (syncs) *syncs = std::move(found);
    return true;
}

}  // namespace sound
