// Drawing kit for the show's procedural pictures: canvas, noise, text and encoders.
#include "ShowImage.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>
#include <png.h>

namespace showdata {

// ---- colours and randomness

Color Mix(Color a, Color b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Color operator*(Color c, float k) { return {c.r * k, c.g * k, c.b * k}; }
Color operator+(Color a, Color b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

Color Ramp(const std::vector<Color>& stops, float t) {
    if (stops.empty()) return {};
    if (stops.size() == 1) return stops[0];
    t = Clamp01(t) * static_cast<float>(stops.size() - 1);
    size_t i = std::min(static_cast<size_t>(t), stops.size() - 2);
    return Mix(stops[i], stops[i + 1], t - static_cast<float>(i));
}

uint64_t Random::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
float Random::Unit() { return static_cast<float>(Next() >> 40) / 16777216.0f; }
float Random::Range(float lo, float hi) { return lo + (hi - lo) * Unit(); }
int Random::Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
float Smooth(float e0, float e1, float x) {
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// ---- noise

namespace {

uint32_t Hash(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^
                 seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}
float Lattice(int x, int y, int period, uint32_t seed) {
    if (period > 0) {
        x = ((x % period) + period) % period;
        y = ((y % period) + period) % period;
    }
    return static_cast<float>(Hash(x, y, seed) & 0xFFFFFF) / 16777215.0f;
}

}  // namespace

float Noise(float x, float y, int period, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    float a = Lattice(ix, iy, period, seed), b = Lattice(ix + 1, iy, period, seed);
    float c = Lattice(ix, iy + 1, period, seed), d = Lattice(ix + 1, iy + 1, period, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Fbm(float x, float y, int octaves, int period, uint32_t seed) {
    float sum = 0, weight = 0.5f, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += Noise(x, y, period, seed + 977u * o) * weight;
        total += weight;
        x *= 2;
        y *= 2;
        if (period > 0) period *= 2;
        weight *= 0.5f;
    }
    return sum / total;
}

float Cells(float x, float y, int period, uint32_t seed) {
    int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    float best = 9;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int cx = ix + dx, cy = iy + dy;
            float px = cx + Lattice(cx, cy, period, seed);
            float py = cy + Lattice(cx, cy, period, seed ^ 0xA5A5u);
            float d = std::hypot(px - x, py - y);
            best = std::min(best, d);
        }
    return best;
}

// ---- canvas

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), r_(static_cast<size_t>(width) * height),
      g_(r_.size()), b_(r_.size()), a_(r_.size(), 1.0f) {}

Color Canvas::Get(int x, int y) const {
    size_t i = Index(x, y);
    return {r_[i], g_[i], b_[i]};
}
void Canvas::Set(int x, int y, Color c) {
    size_t i = Index(x, y);
    r_[i] = c.r;
    g_[i] = c.g;
    b_[i] = c.b;
}
void Canvas::Add(int x, int y, Color c) {
    size_t i = Index(x, y);
    r_[i] += c.r;
    g_[i] += c.g;
    b_[i] += c.b;
}
void Canvas::Blend(int x, int y, Color c, float coverage) {
    if (coverage <= 0) return;
    Set(x, y, Mix(Get(x, y), c, Clamp01(coverage)));
}

void Canvas::AddGlow(float cx, float cy, float radius, Color c) {
    int x0 = std::max(0, static_cast<int>(cx - radius * 2.5f));
    int x1 = std::min(width_ - 1, static_cast<int>(cx + radius * 2.5f));
    int y0 = std::max(0, static_cast<int>(cy - radius * 2.5f));
    int y1 = std::min(height_ - 1, static_cast<int>(cy + radius * 2.5f));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy) / radius;
            Add(x, y, c * std::exp(-d * d * 4));
        }
}

void Canvas::Vignette(float strength) {
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            float u = (x + 0.5f) / width_ * 2 - 1, v = (y + 0.5f) / height_ * 2 - 1;
            float d = std::min(1.0f, (u * u + v * v) * 0.5f);
            Set(x, y, Get(x, y) * (1 - strength * d * d * (3 - 2 * d)));
        }
}

void Canvas::Stars(Random& random, int count, Color tint) {
    for (int i = 0; i < count; ++i) {
        float x = random.Range(0, static_cast<float>(width_));
        float y = random.Range(0, static_cast<float>(height_));
        float b = random.Unit();
        b = b * b * b;
        float size = 0.6f + b * 1.6f;
        AddGlow(x, y, size, Mix(Color{1, 1, 1}, tint, random.Unit()) * (0.35f + 1.2f * b));
    }
}

namespace {
uint8_t Byte(float v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f)); }
}  // namespace

std::vector<uint8_t> Canvas::Rgb8() const {
    std::vector<uint8_t> out(r_.size() * 3);
    for (size_t i = 0; i < r_.size(); ++i) {
        out[i * 3] = Byte(r_[i]);
        out[i * 3 + 1] = Byte(g_[i]);
        out[i * 3 + 2] = Byte(b_[i]);
    }
    return out;
}
std::vector<uint8_t> Canvas::Rgba8() const {
    std::vector<uint8_t> out(r_.size() * 4);
    for (size_t i = 0; i < r_.size(); ++i) {
        out[i * 4] = Byte(r_[i]);
        out[i * 4 + 1] = Byte(g_[i]);
        out[i * 4 + 2] = Byte(b_[i]);
        out[i * 4 + 3] = Byte(a_[i]);
    }
    return out;
}

// ---- masks

Mask MakeMask(int width, int height) {
    Mask m;
    m.width = width;
    m.height = height;
    m.value.assign(static_cast<size_t>(width) * height, 0.0f);
    return m;
}

Mask Dilate(const Mask& mask, int radius) {
    Mask out = MakeMask(mask.width, mask.height);
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            float best = 0;
            for (int dy = -radius; dy <= radius; ++dy)
                for (int dx = -radius; dx <= radius; ++dx) {
                    if (dx * dx + dy * dy > radius * radius) continue;
                    best = std::max(best, mask.At(x + dx, y + dy));
                }
            out.value[static_cast<size_t>(y) * mask.width + x] = best;
        }
    return out;
}

Mask Blur(const Mask& mask, int radius) {
    Mask cur = mask;
    Mask tmp = MakeMask(mask.width, mask.height);
    const float scale = 1.0f / (2 * radius + 1);
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < cur.height; ++y)
            for (int x = 0; x < cur.width; ++x) {
                float s = 0;
                for (int d = -radius; d <= radius; ++d) s += cur.At(x + d, y);
                tmp.value[static_cast<size_t>(y) * cur.width + x] = s * scale;
            }
        for (int y = 0; y < cur.height; ++y)
            for (int x = 0; x < cur.width; ++x) {
                float s = 0;
                for (int d = -radius; d <= radius; ++d) s += tmp.At(x, y + d);
                cur.value[static_cast<size_t>(y) * cur.width + x] = s * scale;
            }
    }
    return cur;
}

// ---- text

TextRenderer::TextRenderer() {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        error_ = "FreeType could not start";
        return;
    }
    library_ = lib;
}

TextRenderer::~TextRenderer() {
    if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

bool TextRenderer::Load(const std::string& fontPath) {
    if (!library_) return false;
    if (face_) {
        FT_Done_Face(static_cast<FT_Face>(face_));
        face_ = nullptr;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(static_cast<FT_Library>(library_), fontPath.c_str(), 0, &face) != 0) {
        error_ = "cannot load font " + fontPath + " (install fonts-dejavu-core)";
        return false;
    }
    face_ = face;
    return true;
}

void TextRenderer::SetSize(int pixelSize) {
    FT_UInt height = static_cast<FT_UInt>(pixelSize);
    FT_UInt width = static_cast<FT_UInt>(std::lround(pixelSize * squeeze_));
    FT_Set_Pixel_Sizes(static_cast<FT_Face>(face_), width < 1 ? 1 : width, height);
}

int TextRenderer::Measure(const std::string& text, int pixelSize, int tracking) {
    FT_Face face = static_cast<FT_Face>(face_);
    if (!face) return 0;
    SetSize(pixelSize);
    long width = 0;
    for (unsigned char ch : text) {
        if (ch >= 128) continue;
        if (FT_Load_Char(face, ch, FT_LOAD_DEFAULT) != 0) continue;
        width += (face->glyph->advance.x >> 6) + tracking;
    }
    return static_cast<int>(width - (text.empty() ? 0 : tracking));
}

void TextRenderer::DrawCentred(Mask* mask, const std::string& text, int pixelSize, int x,
                               int baselineY, int tracking) {
    FT_Face face = static_cast<FT_Face>(face_);
    if (!face) return;
    int penX = x - Measure(text, pixelSize, tracking) / 2;
    SetSize(pixelSize);
    for (unsigned char ch : text) {
        if (ch >= 128) continue;
        if (FT_Load_Char(face, ch, FT_LOAD_RENDER) != 0) continue;
        FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        for (unsigned row = 0; row < bm.rows; ++row)
            for (unsigned col = 0; col < bm.width; ++col) {
                int px = penX + g->bitmap_left + static_cast<int>(col);
                int py = baselineY - g->bitmap_top + static_cast<int>(row);
                if (px < 0 || py < 0 || px >= mask->width || py >= mask->height) continue;
                float v = bm.buffer[row * bm.pitch + col] / 255.0f;
                float& dst = mask->value[static_cast<size_t>(py) * mask->width + px];
                dst = std::max(dst, v);
            }
        penX += static_cast<int>(g->advance.x >> 6) + tracking;
    }
}

std::string FontPath(bool bold) {
    return bold ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
                : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

// ---- encoders

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
    JpegError* err = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, err->message);
    longjmp(err->jump, 1);
}

}  // namespace

bool EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality,
                std::vector<uint8_t>* out, std::string* error) {
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * height * 3) {
        if (error) *error = "pixel buffer does not match the picture size";
        return false;
    }
    jpeg_compress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    // The encoder reports failures by longjmp; nothing with a destructor lives between
    // here and the jump target.
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        if (error) *error = std::string("JPEG encoder: ") + err.message;
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    out->assign(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return true;
}

std::vector<uint8_t> EncodeTga32(const std::vector<uint8_t>& rgba, int width, int height) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 2;
    out[12] = static_cast<uint8_t>(width & 0xFF);
    out[13] = static_cast<uint8_t>(width >> 8);
    out[14] = static_cast<uint8_t>(height & 0xFF);
    out[15] = static_cast<uint8_t>(height >> 8);
    out[16] = 32;
    out[17] = 0x28;  // 8 alpha bits, top-left origin
    out.reserve(18 + rgba.size());
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        out.push_back(rgba[i + 2]);
        out.push_back(rgba[i + 1]);
        out.push_back(rgba[i]);
        out.push_back(rgba[i + 3]);
    }
    return out;
}

bool WritePng(const std::string& path, const std::vector<uint8_t>& pixels, int width, int height,
              int channels, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    if (pixels.size() != static_cast<size_t>(width) * height * channels) {
        if (error) *error = "pixel buffer does not match the picture size";
        return false;
    }
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) {
        if (error) *error = "cannot write " + path + ": " + image.message;
        return false;
    }
    return true;
}

}  // namespace showdata
