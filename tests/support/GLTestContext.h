// Test helpers: a real OpenGL context on Mesa's software renderer without a display,
// and frame read-back written as PNG so that a person can look at what a test drew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One offscreen window with a compatibility GL context, made current on this thread.
// Uses SDL's "offscreen" video driver unless SDL_VIDEODRIVER says otherwise. The pixel
// format is the demo's: RGBA 8/8/8/8, depth 16, stencil 1, double-buffered.
class OffscreenGL {
public:
    explicit OffscreenGL(int width = 800, int height = 600);
    ~OffscreenGL();
    OffscreenGL(const OffscreenGL&) = delete;
    OffscreenGL& operator=(const OffscreenGL&) = delete;

    bool Ok() const { return context_ != nullptr; }
    const std::string& Error() const { return error_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // The back buffer as RGBA bytes, first row at the top of the picture.
    std::vector<uint8_t> ReadPixels() const;
    // Writes the back buffer, opaque, to OutputPath(name); returns the path, empty on
    // failure.
    std::string WritePNG(const std::string& name) const;

private:
    int width_, height_;
    void* window_ = nullptr;
    void* context_ = nullptr;
    std::string error_;
};

// The context shared by every GL test of the program, made on first use.
OffscreenGL& SharedGL();

// The shared context set up as the demo's start-up leaves it: 800 x 600, the
// multitexture entry points fetched, GL_TEXTURE_2D on. Done once; false with the reason
// in *why when it cannot be had.
bool DemoContextReady(std::string* why);

// Where tests put files for people to look at: $KAVLO_TEST_OUTPUT or the working dir.
std::string OutputPath(const std::string& name);

// Writes RGBA pixels (first row at the top) as a PNG file; false on failure.
bool WritePNG(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

// The RGBA value at (x, y), y counted from the top.
inline uint32_t PixelAt(const std::vector<uint8_t>& rgba, int width, int x, int y) {
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace testsupport
