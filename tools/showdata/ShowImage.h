// Drawing kit for the show's procedural pictures: a float canvas, a fixed-seed random
// source, tileable noise, FreeType text, and the JPEG, TGA and PNG encoders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace showdata {

struct Color {
    float r = 0, g = 0, b = 0;
};
Color Mix(Color a, Color b, float t);
Color operator*(Color c, float k);
Color operator+(Color a, Color b);

// Colour ramp through evenly spaced stops; t is clamped to [0, 1].
Color Ramp(const std::vector<Color>& stops, float t);

// SplitMix64: the only source of randomness in the show data, so every run makes the
// same bytes.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    float Unit();                       // [0, 1)
    float Range(float lo, float hi);    // [lo, hi)
    int Below(int n);                   // [0, n)

private:
    uint64_t state_;
};

// Value noise in [0, 1] on an integer lattice that repeats every `period` cells in x and
// y, so pictures built from it tile when wrapped around a mesh.
float Noise(float x, float y, int period, uint32_t seed);
// Sum of `octaves` noise layers, each twice the frequency and half the weight; [0, 1].
float Fbm(float x, float y, int octaves, int period, uint32_t seed);
// Distance to the nearest of the jittered cell centres (Worley), cells repeating every
// `period`; about [0, 1].
float Cells(float x, float y, int period, uint32_t seed);

float Clamp01(float v);
float Smooth(float e0, float e1, float x);

// RGBA floats, row 0 at the top. Values are clamped only when encoded.
class Canvas {
public:
    Canvas(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }

    Color Get(int x, int y) const;
    float Alpha(int x, int y) const { return a_[Index(x, y)]; }
    void Set(int x, int y, Color c);
    void SetAlpha(int x, int y, float a) { a_[Index(x, y)] = a; }
    void Add(int x, int y, Color c);
    void Blend(int x, int y, Color c, float coverage);

    // Fills each pixel from f(u, v) with u, v in [0, 1) at pixel centres.
    template <typename F>
    void Fill(F f) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                Set(x, y, f((x + 0.5f) / width_, (y + 0.5f) / height_));
    }

    // Adds a round glow: colour × exp(-(d / radius)^2 × 4) within 2.5 radii.
    void AddGlow(float cx, float cy, float radius, Color c);
    // Darkens towards the corners: 1 at the centre, 1 - strength at the corners.
    void Vignette(float strength);
    // Scatters `count` small stars, brightness and size from `random`.
    void Stars(Random& random, int count, Color tint);

    // RGB bytes (3 per pixel) or RGBA bytes (4 per pixel), rows top first.
    std::vector<uint8_t> Rgb8() const;
    std::vector<uint8_t> Rgba8() const;

private:
    size_t Index(int x, int y) const { return static_cast<size_t>(y) * width_ + x; }
    int width_, height_;
    std::vector<float> r_, g_, b_, a_;
};

// A grey coverage mask (0..1 per pixel), e.g. rendered text.
struct Mask {
    int width = 0, height = 0;
    std::vector<float> value;
    float At(int x, int y) const {
        return x < 0 || y < 0 || x >= width || y >= height
                   ? 0.f
                   : value[static_cast<size_t>(y) * width + x];
    }
};
Mask MakeMask(int width, int height);
// Grows the mask by `radius` pixels (max over a disc), for outlines.
Mask Dilate(const Mask& mask, int radius);
// Three box-blur passes of `radius` pixels: a soft glow around the shapes.
Mask Blur(const Mask& mask, int radius);

// Renders text with FreeType into masks. Fonts come from fonts-dejavu-core.
class TextRenderer {
public:
    TextRenderer();
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // Loads a font file; false with the reason in Error() when FreeType refuses it.
    bool Load(const std::string& fontPath);
    const std::string& Error() const { return error_; }
    // Glyph width over height: 0.75 pre-squeezes text on square pictures that the demo
    // stretches over a 4:3 screen, so it reads with its normal shape there.
    void SetSqueeze(float widthOverHeight) { squeeze_ = widthOverHeight; }

    // Width in pixels of `text` at `pixelSize`, with `tracking` extra pixels per glyph.
    int Measure(const std::string& text, int pixelSize, int tracking = 0);
    // Draws `text` into `mask` (max of coverage) with its baseline at y and its centre
    // at x. Characters outside ASCII are skipped.
    void DrawCentred(Mask* mask, const std::string& text, int pixelSize, int x, int baselineY,
                     int tracking = 0);

private:
    void SetSize(int pixelSize);
    void* library_ = nullptr;
    float squeeze_ = 1.0f;
    void* face_ = nullptr;
    std::string error_;
};

// Where the show's fonts live; `bold` picks DejaVu Sans Bold over DejaVu Sans.
std::string FontPath(bool bold);

// Encodes RGB bytes (rows top first) as a baseline JPEG with libjpeg-turbo, 4:2:0, at
// `quality`. Returns false with a reason when the encoder complains.
bool EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality,
                std::vector<uint8_t>* out, std::string* error);

// An uncompressed type-2 TGA, 32 bits per pixel (B, G, R, A stored), no ID field, rows
// stored top first and the descriptor's top-left origin bit set, so other viewers show
// it the way the demo does.
std::vector<uint8_t> EncodeTga32(const std::vector<uint8_t>& rgba, int width, int height);

// Writes RGBA or RGB bytes (rows top first) as a PNG file for people to look at.
bool WritePng(const std::string& path, const std::vector<uint8_t>& pixels, int width, int height,
              int channels, std::string* error);

}  // namespace showdata
