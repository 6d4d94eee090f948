// The abstract effect: one part of the show with its time window on the demo clock.
#pragma once

#include <initializer_list>
#include <vector>

class Effect {
public:
    virtual ~Effect() {}

    // Stores the screen size and the time window; derived effects then create their
    // media and return false only where loading must stop the program.
    virtual bool Init(int width, int height, unsigned startMs, unsigned endMs);

    // True exactly when startMs < timeMs < endMs (both strict, unsigned).
    virtual bool IsActive(unsigned timeMs);

    // Draws one frame. The frame loop sets no GL state between effects: each effect sets
    // up what it needs, and an overlay must not clear.
    virtual void Render(unsigned timeMs, int deltaMs, bool sync) = 0;

    // The state an effect carries from frame to frame: camera kicks that recover a step
    // per frame, counts and positions moved by the frame step. ResetState puts it back
    // to what the show starts with; StepState moves it for the frame Render(timeMs,
    // deltaMs, sync) draws, drawing nothing (Render steps through it), so that a seek
    // can replay the frames before its time without the cost of drawing them. Effects
    // whose picture follows the time alone keep the defaults, which do nothing.
    virtual void ResetState() {}
    virtual void StepState(unsigned timeMs, int deltaMs, bool sync) {
        (void)timeMs;
        (void)deltaMs;
        (void)sync;
    }

    // The times where the effect switches how it draws (its window's edges, the ends of
    // its fades), and so which GL state it leaves for what is drawn after it. A seek
    // draws the last frame before each of them rather than only stepping the state.
    virtual std::vector<unsigned> PhaseEdges() const { return {startMs, endMs}; }

protected:
    // Draws a frame at each of these times (zero frame step, no sync) while loading, so
    // that the renderer builds what those frames need the first time (shader variants
    // for each GL state combination, buffers) before the show. GL state, matrices and
    // the back buffer (cleared before every Init) come out as they went in, and the
    // frame-to-frame state is reset afterwards.
    void WarmUp(std::initializer_list<unsigned> timesMs);

    int width = 0;
    int height = 0;
    unsigned startMs = 0;
    unsigned endMs = 0;
};
