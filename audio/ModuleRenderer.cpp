// Module rendering over libopenmpt with Zxx row tracking.
#include "ModuleRenderer.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace sound {
namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// XM speed and tempo: a row lasts `speed` ticks of 2.5 / tempo seconds.
double TickFrames(int sampleRate, int tempo) { return sampleRate * 2.5 / tempo; }

// Output frames made per step while converting: several chunks of input each.
constexpr size_t kPullFrames = 1024;

}  // namespace

int WholeTickRate(int outputRate, int tempo) {
    if (outputRate <= 0 || tempo <= 0) return outputRate;
    // A tick is rate * 5 / (2 * tempo) frames; whole at rate = 2 * n * tempo / 5, which is
    // itself whole when 5 divides n * tempo.
    const int64_t twiceTempo = 2 * static_cast<int64_t>(tempo);
    if (static_cast<int64_t>(outputRate) * 5 % twiceTempo == 0) return outputRate;
    const int64_t unit = tempo % 5 == 0 ? 1 : 5;
    const int64_t n = std::llround(outputRate * 5.0 / twiceTempo / unit) * unit;
    const int64_t rate = n * twiceTempo / 5;
    if (rate < 8000 || rate > 192000 || std::llabs(rate - outputRate) * 100 > outputRate)
        return outputRate;
    return static_cast<int>(rate);
}

ModuleRenderer::ModuleRenderer() : chunk_(2 * static_cast<size_t>(kMaxChunkFrames)) {}

ModuleRenderer::~ModuleRenderer() { Unload(); }

void ModuleRenderer::Unload() {
    if (module_) openmpt_module_destroy(module_);
    module_ = nullptr;
    scan_ = XmScan();
    syncsByRow_.clear();
    delayByRow_.clear();
    pending_.clear();
    syncTimes_.clear();
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
    // Notes playing across a seek go on from where they would be, not from silence.
    openmpt_module_ctl_set_text(module_, "seek.sync_samples", "1");

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
    size_t mostInRow = 0;
    for (const XmSync& sync : scan_.syncs) {
        auto& here = syncsByRow_[sync.pattern][sync.row];
        here.push_back(sync);
        if (here.size() > mostInRow) mostInRow = here.size();
    }
    // Output lags input by less than a row, so a few rows' events wait at most.
    pending_.reserve(4 * mostInRow + 4);

    SetLooping(looping_);
    Restart();
    ListSyncs();
    Restart();
    return true;
}

void ModuleRenderer::ListSyncs() {
    syncTimes_.clear();
    const int orders = std::min(static_cast<int>(scan_.orders.size()),
                                openmpt_module_get_num_orders(module_));
    for (int order = 0; order < orders; ++order) {
        const int pattern = scan_.orders[static_cast<size_t>(order)];
        if (pattern < 0 || static_cast<size_t>(pattern) >= syncsByRow_.size()) continue;
        const auto& rows = syncsByRow_[static_cast<size_t>(pattern)];
        for (size_t row = 0; row < rows.size(); ++row) {
            for (const XmSync& sync : rows[row]) {
                const double seconds =
                    openmpt_module_set_position_order_row(module_, order, static_cast<int>(row));
                SyncEvent event;
                // Whole ticks at the render rate, as the rows fall when played.
                const uint64_t input = static_cast<uint64_t>(std::llround(seconds * renderRate_));
                event.frame = OutputFrame(input);
                event.order = order;
                event.pattern = pattern;
                event.row = static_cast<int>(row);
                event.channel = sync.channel;
                event.param = sync.param;
                syncTimes_.push_back(event);
            }
        }
    }
    std::stable_sort(syncTimes_.begin(), syncTimes_.end(),
                     [](const SyncEvent& a, const SyncEvent& b) { return a.frame < b.frame; });
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
    // Only an XM's header tempo is known here; other formats play at the output rate.
    renderRate_ = scan_.tempo > 0 ? WholeTickRate(sampleRate_, scan_.tempo) : sampleRate_;
    converting_ = renderRate_ != sampleRate_ && converter_.Reset(renderRate_, sampleRate_);
    if (!converting_) renderRate_ = sampleRate_;
    inputEnded_ = false;
    framesRendered_ = 0;
    inputFrames_ = 0;
    lastOrder_ = -1;
    lastRow_ = -1;
    rowStartFrame_ = 0;
    pending_.clear();
}

bool ModuleRenderer::Seek(uint64_t frame) {
    Restart();
    if (!module_ || frame == 0) return module_ != nullptr;
    const double target = static_cast<double>(frame) / sampleRate_;
    if (target >= durationSeconds_) return false;
    // libopenmpt lands on the first row that starts at or after the time asked for:
    // ask earlier until the row holding the target is found.
    double back = 0;
    double at = openmpt_module_set_position_seconds(module_, target);
    while (at > target && back < target) {
        back = back > 0 ? 2 * back : 0.0625;
        at = openmpt_module_set_position_seconds(module_, std::max(0.0, target - back));
    }
    if (at > target) {
        Restart();
        return false;
    }
    inputFrames_ = static_cast<uint64_t>(std::llround(at * renderRate_));
    framesRendered_ = OutputFrame(inputFrames_);
    if (converting_) converter_.StartAt(inputFrames_, framesRendered_);
    rowStartFrame_ = inputFrames_;
    // The row it landed on has begun; the ones up to the target begin unreported.
    lastOrder_ = openmpt_module_get_current_order(module_);
    lastRow_ = openmpt_module_get_current_row(module_);
    float scratch[2 * 256];
    while (framesRendered_ < frame) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(frame - framesRendered_, 256));
        if (Render(scratch, want, nullptr, nullptr) < want) {
            Restart();
            return false;
        }
    }
    pending_.clear();
    return true;
}

size_t ModuleRenderer::Render(float* out, size_t frames, SyncHandler handler, void* user) {
    if (!module_ || !out) return 0;
    return converting_ ? RenderConverted(out, frames, handler, user)
                       : RenderDirect(out, frames, handler, user);
}

// Chunks end on tick boundaries where the tick is whole, so a row's start is the start
// of a chunk and is reported to the frame.
size_t ModuleRenderer::ChunkLength() const {
    size_t length = static_cast<size_t>(chunkFrames_);
    const int64_t tempo = openmpt_module_get_current_tempo(module_);
    if (tempo <= 0 || static_cast<int64_t>(renderRate_) * 5 % (2 * tempo) != 0) return length;
    const uint64_t tick = static_cast<uint64_t>(renderRate_ * 5 / (2 * tempo));
    const uint64_t toTick = tick - (inputFrames_ - rowStartFrame_) % tick;
    return toTick < length ? static_cast<size_t>(toTick) : length;
}

size_t ModuleRenderer::RenderDirect(float* out, size_t frames, SyncHandler handler, void* user) {
    size_t done = 0;
    while (done < frames) {
        size_t want = std::min(frames - done, ChunkLength());
        int64_t startNs = NowNs();
        size_t got = openmpt_module_read_interleaved_float_stereo(module_, renderRate_, want,
                                                                  out + 2 * done);
        if (got == 0) break;
        uint64_t chunkStart = inputFrames_;
        inputFrames_ += got;
        framesRendered_ += got;
        done += got;
        TrackRow(chunkStart, startNs, handler, user);
        Deliver(handler, user);
        if (got < want) break;
    }
    return done;
}

size_t ModuleRenderer::RenderConverted(float* out, size_t frames, SyncHandler handler, void* user) {
    size_t done = 0;
    while (done < frames) {
        size_t step = std::min(frames - done, kPullFrames);
        while (!inputEnded_ && converter_.InputNeeded(step) > 0) {
            size_t want = ChunkLength();
            int64_t startNs = NowNs();
            size_t got = openmpt_module_read_interleaved_float_stereo(module_, renderRate_, want,
                                                                      chunk_.data());
            if (got > 0) {
                converter_.Push(chunk_.data(), got);
                uint64_t chunkStart = inputFrames_;
                inputFrames_ += got;
                TrackRow(chunkStart, startNs, handler, user);
            }
            if (got < want) {
                inputEnded_ = true;
                converter_.EndInput();
            }
        }
        size_t made = converter_.Pull(out + 2 * done, step);
        framesRendered_ += made;
        done += made;
        Deliver(handler, user);
        if (made < step) break;
    }
    return done;
}

uint64_t ModuleRenderer::OutputFrame(uint64_t inputFrame) const {
    return converting_ ? converter_.OutputFrameAt(inputFrame) : inputFrame;
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
    return speed * (1 + delay) * TickFrames(renderRate_, tempo);
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
        BeginRow(pattern, row, chunkStart, renderStartNs, handler, user);
        return;
    }
    // A row that loops onto itself (E6x on one row, a one-row pattern jumping to itself)
    // never changes the position libopenmpt reports; it is known by outlasting a row.
    if (!SyncsAt(pattern, row)) return;
    double rowFrames = RowFrames(pattern, row);
    if (rowFrames <= 0) return;
    double halfTick = TickFrames(renderRate_, openmpt_module_get_current_tempo(module_)) / 2;
    if (static_cast<double>(inputFrames_ - rowStartFrame_) > rowFrames + halfTick) {
        rowStartFrame_ += static_cast<uint64_t>(std::llround(rowFrames));
        BeginRow(pattern, row, chunkStart, renderStartNs, handler, user);
    }
}

void ModuleRenderer::BeginRow(int pattern, int row, uint64_t chunkStart, int64_t renderStartNs,
                              SyncHandler handler, void* user) {
    const uint64_t frame = OutputFrame(chunkStart);
    if (rowLog_) rowLog_->push_back(RowStart{frame, lastOrder_, pattern, row});
    const std::vector<XmSync>* syncs = SyncsAt(pattern, row);
    if (!syncs) return;
    for (const XmSync& sync : *syncs) {
        SyncEvent event;
        event.frame = frame;
        event.order = lastOrder_;
        event.pattern = pattern;
        event.row = row;
        event.channel = sync.channel;
        event.param = sync.param;
        event.renderStartNs = renderStartNs;
        // Never allocates on the audio thread: with no room left the oldest goes out early.
        if (pending_.size() == pending_.capacity()) {
            if (pending_.empty()) {
                if (handler) handler(user, event);
                continue;
            }
            if (handler) handler(user, pending_.front());
            pending_.erase(pending_.begin());
        }
        pending_.push_back(event);
    }
}

void ModuleRenderer::Deliver(SyncHandler handler, void* user) {
    size_t ready = 0;
    while (ready < pending_.size() && pending_[ready].frame < framesRendered_) ++ready;
    if (ready == 0) return;
    if (handler)
        for (size_t i = 0; i < ready; ++i) handler(user, pending_[i]);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(ready));
}

namespace {

void CollectSync(void* user, const SyncEvent& event) {
    static_cast<std::vector<SyncEvent>*>(user)->push_back(event);
}

}  // namespace

bool RenderModuleOffline(const void* data, size_t size, double seconds, std::vector<float>* samples,
                         std::vector<SyncEvent>* syncs, std::string* error, int chunkFrames,
                         std::vector<RowStart>* rows) {
    if (rows) rows->clear();
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
    renderer.LogRows(rows);
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
