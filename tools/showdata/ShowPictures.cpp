// The show's pictures, each drawn for its role in its effect.
//
// Index: backgrounds (full-screen, 512) - sprites and sphere maps - mesh textures
// (tileable, 256) - text pictures with alpha (TGA, 512).
#include "ShowPictures.h"

#include <cmath>
#include <functional>

#include "ShowImage.h"

namespace showdata {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int kBig = 512;
constexpr int kSmall = 256;

Color Rgb(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

// Domain-warped noise: soft, folded clouds in [0, 1].
float Warped(float u, float v, float scale, uint32_t seed) {
    float qx = Fbm(u * scale, v * scale, 5, 0, seed);
    float qy = Fbm(u * scale + 5.2f, v * scale + 1.3f, 5, 0, seed + 1);
    float rx = Fbm(u * scale + 4 * qx + 1.7f, v * scale + 4 * qy + 9.2f, 5, 0, seed + 2);
    float ry = Fbm(u * scale + 4 * qx + 8.3f, v * scale + 4 * qy + 2.8f, 5, 0, seed + 3);
    return Fbm(u * scale + 3.5f * rx, v * scale + 3.5f * ry, 6, 0, seed + 4);
}

// A nebula in the palette's colours over black, with stars and a vignette.
Canvas Nebula(uint32_t seed, const std::vector<Color>& palette, float scale, float gain,
              int stars, float vignette) {
    Canvas c(kBig, kBig);
    c.Fill([&](float u, float v) {
        float n = Warped(u, v, scale, seed);
        float t = Smooth(0.25f, 0.85f, n);
        float detail = Fbm(u * 24, v * 24, 3, 0, seed + 9);
        return Ramp(palette, t * (0.85f + 0.3f * detail)) * gain;
    });
    Random random(seed * 7919ull + 17);
    c.Stars(random, stars, palette.back());
    c.Vignette(vignette);
    return c;
}

// ---- backgrounds

Canvas SpiralBack() {
    // Dimmer than the others: the flares are added on top of it.
    return Nebula(11, {Rgb(2, 2, 10), Rgb(18, 10, 52), Rgb(72, 22, 96), Rgb(190, 60, 110),
                       Rgb(255, 170, 120)},
                  2.6f, 0.8f, 260, 0.7f);
}

Canvas KasseBack() {
    // A dark teal room of nested squares, so the additive sphere trail reads on top.
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        float x = u * 2 - 1, y = v * 2 - 1;
        float box = std::max(std::fabs(x), std::fabs(y));
        float depth = 1.0f / (box + 0.05f);
        float lines = std::pow(std::fabs(std::cos(depth * 2.2f)), 40.0f) * box;
        float n = Fbm(u * 5, v * 5, 5, 0, 21);
        Color base = Ramp({Rgb(0, 6, 10), Rgb(4, 34, 44), Rgb(10, 70, 80)}, n * box * 1.2f);
        return base + Rgb(40, 160, 170) * (lines * 0.55f);
    });
    c.Vignette(0.6f);
    return c;
}

Canvas VortexBack() {
    // A whirlpool: noise in polar coordinates, twisted more towards the centre.
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        float x = u * 2 - 1, y = v * 2 - 1;
        float r = std::sqrt(x * x + y * y);
        float a = std::atan2(y, x) / (2 * kPi) + 0.5f;
        float twist = a + 0.35f / (r + 0.25f);
        float n = Fbm(twist * 8, r * 6, 5, 8, 31);
        float arms = 0.5f + 0.5f * std::sin((twist * 3 + r * 0.5f) * 2 * kPi);
        float t = Clamp01(n * 0.8f + arms * 0.35f) * Smooth(0.0f, 0.45f, r) * (1.2f - 0.5f * r);
        Color col = Ramp({Rgb(2, 0, 0), Rgb(60, 6, 4), Rgb(170, 50, 10), Rgb(250, 160, 50),
                          Rgb(255, 240, 200)},
                         t);
        return col + Rgb(255, 120, 40) * (0.5f * std::exp(-r * r * 40));
    });
    c.Vignette(0.5f);
    return c;
}

Canvas TwistBack() {
    Canvas c = Nebula(41, {Rgb(0, 2, 8), Rgb(4, 20, 48), Rgb(20, 70, 120), Rgb(110, 190, 230)},
                      1.8f, 0.85f, 180, 0.6f);
    // Faint horizontal lines echo the effect's two-pixel bands.
    for (int y = 0; y < kBig; ++y)
        for (int x = 0; x < kBig; ++x)
            if (y % 4 == 0) c.Set(x, y, c.Get(x, y) * 0.8f);
    return c;
}

Canvas BeamBack() {
    // Added on top of the beams: black in the middle so they stay visible, a coloured
    // haze towards the edges and a few thin horizontal light streaks.
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        float x = u * 2 - 1, y = v * 2 - 1;
        float edge = Smooth(0.35f, 1.35f, std::sqrt(x * x + y * y));
        float n = Fbm(u * 4, v * 4, 5, 0, 51);
        Color haze = Mix(Rgb(20, 10, 90), Rgb(140, 40, 160), n) * (edge * 0.8f);
        float streak = 0;
        for (int k = 0; k < 5; ++k) {
            float yy = -0.8f + 0.4f * k + 0.05f * std::sin(k * 2.3f);
            float d = (y - yy) * 90.0f;
            streak += std::exp(-d * d) * (0.5f + 0.5f * Noise(u * 6, k * 3.0f, 0, 52));
        }
        return haze + Rgb(90, 140, 255) * (streak * 0.3f);
    });
    return c;
}

Canvas FlyBack() {
    // Dusk sky with drifting clouds behind the chrome blob.
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        Color sky = Ramp({Rgb(12, 16, 60), Rgb(60, 40, 120), Rgb(200, 80, 90), Rgb(255, 170, 90),
                          Rgb(255, 220, 160)},
                         v * 1.1f);
        float n = Warped(u * 0.8f, v * 1.6f, 2.2f, 61);
        float cloud = Smooth(0.45f, 0.8f, n);
        Color cloudCol = Mix(Rgb(40, 30, 70), Rgb(255, 190, 150), v);
        float sun = std::exp(-((u - 0.65f) * (u - 0.65f) + (v - 0.82f) * (v - 0.82f)) * 60);
        return Mix(sky, cloudCol, cloud * 0.8f) + Rgb(255, 230, 180) * sun;
    });
    c.Vignette(0.45f);
    return c;
}

Canvas OnyxBack() {
    // Banded onyx in light honey tones; the white fog of the tori fades into it.
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        float warp = Fbm(u * 3, v * 3, 6, 0, 71) * 2.4f;
        float bands = 0.5f + 0.5f * std::sin((v * 5 + u * 1.5f + warp) * 2 * kPi);
        float fine = 0.5f + 0.5f * std::sin((v * 31 + warp * 5) * 2 * kPi);
        float t = Clamp01(bands * 0.8f + fine * 0.2f);
        Color col = Ramp({Rgb(70, 50, 30), Rgb(170, 130, 80), Rgb(226, 205, 160),
                          Rgb(246, 238, 220), Rgb(200, 170, 120)},
                         t);
        float speck = Fbm(u * 40, v * 40, 2, 0, 72);
        return col * (0.9f + 0.15f * speck);
    });
    c.Vignette(0.3f);
    return c;
}

Canvas CreditBack() {
    // Deep violet with soft out-of-focus discs.
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        float n = Fbm(u * 2.5f, v * 2.5f, 5, 0, 81);
        return Ramp({Rgb(4, 2, 14), Rgb(26, 10, 50), Rgb(70, 24, 90)}, n * (0.6f + 0.6f * v));
    });
    Random random(8101);
    for (int i = 0; i < 40; ++i) {
        float x = random.Range(0, kBig), y = random.Range(0, kBig);
        float radius = random.Range(10, 48);
        Color col = Mix(Rgb(255, 120, 200), Rgb(120, 180, 255), random.Unit()) *
                    random.Range(0.05f, 0.22f);
        for (int py = std::max(0, int(y - radius - 2)); py < std::min(kBig, int(y + radius + 2)); ++py)
            for (int px = std::max(0, int(x - radius - 2)); px < std::min(kBig, int(x + radius + 2)); ++px) {
                float d = std::hypot(px + 0.5f - x, py + 0.5f - y);
                float disc = 1 - Smooth(radius - 2, radius, d);
                float rim = 0.6f + 0.4f * Smooth(radius * 0.6f, radius, d);
                c.Add(px, py, col * (disc * rim));
            }
    }
    c.Vignette(0.55f);
    return c;
}

// ---- sprites and sphere maps

Canvas StartFlare() {
    // Additive sprite and, for three effects, the sphere map that lights their meshes
    // by modulation: a white core, a wide warm halo (so a mapped mesh is lit over most
    // of its face, darkening only towards its silhouette), six faint rays, and black
    // at the border so the sprite's quad edges never show.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float x = u * 2 - 1, y = v * 2 - 1;
        float d = std::sqrt(x * x + y * y);
        float a = std::atan2(y, x);
        float core = std::exp(-d * d * 40);
        float halo = std::exp(-d * 2.6f);
        float rays = std::pow(std::fabs(std::cos(a * 3)), 60.0f) * std::exp(-d * 3.0f);
        float ring = std::exp(-std::pow((d - 0.62f) * 30, 2.0f)) * 0.12f;
        float fade = 1 - Smooth(0.72f, 0.99f, d);
        Color col = Rgb(255, 255, 255) * core + Rgb(255, 180, 90) * (halo * 1.1f) +
                    Rgb(255, 220, 160) * (rays * 0.6f) + Rgb(120, 170, 255) * ring;
        return col * fade;
    });
    return c;
}

Canvas BeamSprite() {
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float y = (v * 2 - 1) * 10;
        float along = std::sin(u * kPi);
        return (Rgb(255, 255, 255) * std::exp(-y * y * 0.8f) + Rgb(80, 140, 255) * std::exp(-std::fabs(y) * 0.6f)) *
               along;
    });
    return c;
}

// A sphere map of an outdoor scene (sky, bright horizon, dark ground, a sun): mapped
// on the chrome tori and the blob. Row 0 holds downward reflections, as GL's sphere
// map addresses the texture.
Canvas ChromeMap() {
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float a = u * 2 - 1, b = v * 2 - 1;
        float rr = a * a + b * b;
        if (rr > 1) {
            float k = 1 / std::sqrt(rr);
            a *= k;
            b *= k;
            rr = 1;
        }
        float nz = std::sqrt(1 - rr);
        float rx = 2 * nz * a, ry = -2 * nz * b, rz = 2 * nz * nz - 1;
        Color col;
        if (ry >= 0) {
            col = Mix(Rgb(250, 240, 255), Rgb(30, 60, 150), std::pow(ry, 0.5f));
            float cloud = Fbm(rx * 3 + 5, rz * 3 + 5, 4, 0, 91);
            col = Mix(col, Rgb(255, 255, 255), Smooth(0.55f, 0.8f, cloud) * (1 - ry) * 0.6f);
        } else {
            col = Mix(Rgb(90, 70, 60), Rgb(15, 10, 12), std::pow(-ry, 0.4f));
        }
        float horizon = std::exp(-ry * ry * 300);
        float sx = rx - 0.45f, sy = ry - 0.35f, sz = rz - 0.82f;
        float sun = std::exp(-(sx * sx + sy * sy + sz * sz) * 40);
        return col + Rgb(255, 230, 200) * (horizon * 0.7f) + Rgb(255, 250, 230) * (sun * 1.5f);
    });
    return c;
}

// Plasma sphere map for the boiling half sphere (seen through blue-grey fog).
Canvas PlasmaMap() {
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        float x = u * 2 - 1, y = v * 2 - 1;
        float p = std::sin(x * 7 + 1.3f) + std::sin(y * 9 - 0.7f) +
                  std::sin((x + y) * 5 + 2.1f) + std::sin(std::sqrt(x * x + y * y) * 14);
        p = 0.5f + p / 8;
        float n = Fbm(u * 6, v * 6, 4, 0, 101);
        float t = Clamp01(p * 0.8f + n * 0.3f);
        return Ramp({Rgb(8, 20, 40), Rgb(20, 90, 130), Rgb(80, 200, 210), Rgb(250, 220, 120),
                     Rgb(255, 255, 240)},
                    t);
    });
    return c;
}

// ---- tileable mesh textures (periods divide the picture, so GL_REPEAT is seamless)

Canvas KasseTexture() {
    // Bright boxes with glowing seams; drawn 32 times at 5 % each.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float cu = u * 8, cv = v * 8;
        float fu = cu - std::floor(cu), fv = cv - std::floor(cv);
        float edge = std::min(std::min(fu, 1 - fu), std::min(fv, 1 - fv));
        float seam = std::exp(-edge * 30);
        float cell = Noise(std::floor(cu) + 0.5f, std::floor(cv) + 0.5f, 8, 111);
        // Bright throughout: each copy adds only 5 % of it.
        Color base = Ramp({Rgb(120, 60, 200), Rgb(255, 120, 60), Rgb(255, 220, 120)}, cell);
        return base + Rgb(255, 255, 255) * seam;
    });
    return c;
}

Canvas HairTexture() {
    // Fine strands along v, golden brown, slightly wavy.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float wave = 0.02f * std::sin(v * 2 * kPi * 2);
        // Long strands: the lattice repeats across u only, so the two ends in v are
        // cross-faded to close the wrap there too.
        float strands = Fbm((u + wave) * 64, v * 2, 3, 64, 121) * (1 - v) +
                        Fbm((u + wave) * 64, (v - 1) * 2, 3, 64, 121) * v;
        float sheen = 0.5f + 0.5f * std::sin(v * 2 * kPi * 3 + strands * 4);
        Color col = Ramp({Rgb(90, 50, 20), Rgb(190, 120, 50), Rgb(250, 210, 120), Rgb(255, 250, 220)},
                         strands * 0.8f + sheen * 0.25f);
        return col;
    });
    return c;
}

Canvas Twist1() {
    // Brushed blue metal in diagonal stripes.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float s = 0.5f + 0.5f * std::sin((u * 4 + v * 4) * 2 * kPi);
        float brush = Noise(u * 128, v * 4, 128, 131);
        float t = Clamp01(s * 0.85f + brush * 0.25f);
        return Ramp({Rgb(6, 18, 50), Rgb(40, 90, 170), Rgb(160, 210, 255), Rgb(255, 255, 255)}, t);
    });
    return c;
}

Canvas Twist2() {
    // Green-gold rings in a 4 x 4 tiling.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float fu = u * 4 - std::floor(u * 4) - 0.5f, fv = v * 4 - std::floor(v * 4) - 0.5f;
        float r = std::sqrt(fu * fu + fv * fv);
        float rings = 0.5f + 0.5f * std::cos(r * 2 * kPi * 4);
        float n = Fbm(u * 8, v * 8, 3, 8, 141);
        return Ramp({Rgb(4, 30, 10), Rgb(30, 140, 50), Rgb(210, 230, 90), Rgb(255, 250, 210)},
                    rings * 0.8f + n * 0.3f);
    });
    return c;
}

Canvas Twist3() {
    // Magenta and orange waves.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float w = std::sin((v * 5 + 0.3f * std::sin(u * 2 * kPi * 2)) * 2 * kPi);
        float w2 = std::sin((u * 3 + 0.2f * std::sin(v * 2 * kPi * 3)) * 2 * kPi);
        float t = 0.5f + 0.3f * w + 0.2f * w2;
        return Ramp({Rgb(40, 0, 40), Rgb(200, 30, 120), Rgb(255, 140, 40), Rgb(255, 240, 200)}, t);
    });
    return c;
}

Canvas TorusUnused() {
    // Loaded by the blob effect but never drawn; a simple ring pattern.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float s = 0.5f + 0.5f * std::sin(u * 2 * kPi * 6) * std::sin(v * 2 * kPi * 6);
        return Mix(Rgb(20, 20, 40), Rgb(200, 200, 255), s);
    });
    return c;
}

Canvas BlobSkin() {
    // Organic cells with bright membranes.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float d = Cells(u * 8, v * 8, 8, 151);
        float d2 = Cells(u * 16, v * 16, 16, 152);
        float membrane = Smooth(0.15f, 0.5f, d);
        Color col = Ramp({Rgb(255, 220, 200), Rgb(230, 60, 90), Rgb(90, 10, 40)}, membrane);
        return col * (0.8f + 0.3f * d2);
    });
    return c;
}

Canvas TorusTexture1() {
    // Gold bands with engraved grooves.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float band = 0.5f + 0.5f * std::sin(u * 2 * kPi * 8);
        float groove = std::pow(std::fabs(std::sin(v * 2 * kPi * 16)), 8.0f);
        float n = Fbm(u * 16, v * 16, 3, 16, 161);
        float t = Clamp01(band * 0.7f + n * 0.3f - groove * 0.4f);
        return Ramp({Rgb(60, 30, 0), Rgb(190, 120, 20), Rgb(255, 220, 100), Rgb(255, 255, 230)}, t);
    });
    return c;
}

Canvas TorusTexture2() {
    // Cyan dots in a staggered grid.
    Canvas c(kSmall, kSmall);
    c.Fill([](float u, float v) {
        float cu = u * 8, cv = v * 8;
        float row = std::floor(cv);
        float shift = (static_cast<int>(row) % 2) ? 0.5f : 0.0f;
        float fu = cu + shift - std::floor(cu + shift) - 0.5f, fv = cv - row - 0.5f;
        float dot = 1 - Smooth(0.2f, 0.32f, std::sqrt(fu * fu + fv * fv));
        float n = Fbm(u * 8, v * 8, 3, 8, 171);
        Color base = Mix(Rgb(0, 30, 60), Rgb(0, 90, 120), n);
        return Mix(base, Rgb(140, 255, 255), dot);
    });
    return c;
}

// ---- text pictures

// Text layer helper: letters in a vertical gradient inside a dark outline.
struct TextStyle {
    Color top, bottom;  // vertical gradient of the letters
    Color outline;
    int outlineRadius = 2;
};

void PaintText(Canvas* c, const Mask& text, const TextStyle& style) {
    Mask outline = Dilate(text, style.outlineRadius);
    for (int y = 0; y < c->Height(); ++y)
        for (int x = 0; x < c->Width(); ++x) {
            float o = outline.At(x, y), t = text.At(x, y);
            if (o <= 0) continue;
            Color letter = Mix(style.top, style.bottom, (y + 0.5f) / c->Height());
            c->Blend(x, y, style.outline, o);
            c->Blend(x, y, letter, t);
        }
}

Canvas Loading(TextRenderer& bold, TextRenderer& regular) {
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        float x = u * 2 - 1, y = v * 2 - 1;
        float n = Fbm(u * 3, v * 3, 5, 0, 181);
        return Mix(Rgb(0, 0, 0), Rgb(10, 24, 50), (1 - std::sqrt(x * x + y * y) * 0.8f) * n);
    });
    Mask title = MakeMask(kBig, kBig), sub = MakeMask(kBig, kBig);
    bold.DrawCentred(&title, "KAVLO", 120, kBig / 2, 290, 6);
    regular.DrawCentred(&sub, "loading", 34, kBig / 2, 352, 6);
    Mask glow = Blur(title, 10);
    for (int y = 0; y < kBig; ++y)
        for (int x = 0; x < kBig; ++x) {
            c.Add(x, y, Rgb(60, 140, 255) * (glow.At(x, y) * 0.9f));
            float g = Clamp01((y - 190) / 110.0f);
            c.Blend(x, y, Mix(Rgb(255, 255, 255), Rgb(120, 200, 255), g), title.At(x, y));
            c.Blend(x, y, Rgb(170, 190, 220), sub.At(x, y));
        }
    for (int x = 150; x < 362; ++x) c.Add(x, 312, Rgb(60, 110, 180) * std::sin((x - 150) / 212.0f * kPi));
    return c;
}

Canvas EndPicture(TextRenderer& bold, TextRenderer& regular) {
    // Mapped on the radial fan of the last scene and added 16 times: mostly black,
    // with rays and bright letters.
    Canvas c(kBig, kBig);
    c.Fill([](float u, float v) {
        float x = u * 2 - 1, y = v * 2 - 1;
        float r = std::sqrt(x * x + y * y), a = std::atan2(y, x);
        float rays = std::pow(0.5f + 0.5f * std::cos(a * 12), 6.0f) * std::exp(-r * 2.5f);
        return Rgb(255, 150, 60) * (rays * 0.6f) + Rgb(255, 220, 180) * std::exp(-r * r * 30);
    });
    Mask title = MakeMask(kBig, kBig), sub = MakeMask(kBig, kBig);
    bold.DrawCentred(&title, "KAVLO", 110, kBig / 2, 250, 4);
    regular.DrawCentred(&sub, "the end", 44, kBig / 2, 330, 8);
    Mask glow = Blur(title, 8);
    for (int y = 0; y < kBig; ++y)
        for (int x = 0; x < kBig; ++x) {
            c.Add(x, y, Rgb(255, 120, 40) * (glow.At(x, y) * 0.8f));
            c.Blend(x, y, Rgb(255, 250, 230), title.At(x, y));
            c.Blend(x, y, Rgb(255, 200, 140), sub.At(x, y));
        }
    return c;
}

// Alpha comes from the outlined letters; colour under transparent texels is the
// outline's, so filtering at the edges never brings in a stray colour.
Canvas TextPicture(const std::vector<std::pair<std::string, int>>& boldLines,
                   const std::vector<std::pair<std::string, int>>& lines, TextRenderer& bold,
                   TextRenderer& regular, int titleSize, int lineSize, const TextStyle& titleStyle,
                   const TextStyle& lineStyle) {
    Canvas c(kBig, kBig);
    Mask titles = MakeMask(kBig, kBig), body = MakeMask(kBig, kBig);
    for (const auto& [text, y] : boldLines) bold.DrawCentred(&titles, text, titleSize, kBig / 2, y, 2);
    for (const auto& [text, y] : lines) regular.DrawCentred(&body, text, lineSize, kBig / 2, y, 1);
    c.Fill([&](float, float) { return titleStyle.outline; });
    PaintText(&c, body, lineStyle);
    PaintText(&c, titles, titleStyle);
    Mask a1 = Dilate(titles, titleStyle.outlineRadius), a2 = Dilate(body, lineStyle.outlineRadius);
    for (int y = 0; y < kBig; ++y)
        for (int x = 0; x < kBig; ++x) c.SetAlpha(x, y, std::max(a1.At(x, y), a2.At(x, y)));
    return c;
}

Canvas Credits(TextRenderer& bold, TextRenderer& regular) {
    // Shown alpha-tested at texel alpha above 2/3; the top three quarters are what
    // rises into view.
    TextStyle title{Rgb(255, 255, 255), Rgb(120, 210, 255), Rgb(10, 20, 60), 3};
    TextStyle line{Rgb(255, 230, 170), Rgb(255, 170, 90), Rgb(30, 10, 20), 2};
    return TextPicture({{"KAVLO", 76}, {"code", 170}, {"pictures & meshes", 254}, {"music", 336}},
                       {{"a realtime show in OpenGL", 112},
                        {"the Kavlo team", 202},
                        {"drawn in code, no artist harmed", 286},
                        {"composed in code, 120 bpm", 366}},
                       bold, regular, 44, 26, title, line);
}

Canvas Greetings(TextRenderer& bold, TextRenderer& regular) {
    TextStyle title{Rgb(200, 255, 200), Rgb(60, 200, 120), Rgb(0, 30, 10), 3};
    TextStyle line{Rgb(255, 255, 255), Rgb(180, 230, 255), Rgb(0, 10, 40), 2};
    return TextPicture({{"greetings", 110}},
                       {{"everyone still coding demos", 180},
                        {"the tracker musicians", 225},
                        {"SDL - Mesa - FreeType", 270},
                        {"libopenmpt - libjpeg-turbo", 315},
                        {"the Debian people", 360},
                        {"and you, watching", 405}},
                       bold, regular, 60, 30, title, line);
}

Canvas Hexagons() {
    // A honeycomb band. Drawn with an inverted alpha test: texels of alpha 0 (the frame)
    // are drawn solid, texels of alpha 1 (the cells and everything outside the band)
    // let the effect below show through. The lattice is laid out in screen pixels (the
    // square picture is stretched to 800 x 600), so the cells look regular there, and
    // its period divides the width, so side-by-side copies join seamlessly.
    Canvas c(kBig, kBig);
    const float sx = 800.0f / kBig, sy = 600.0f / kBig;
    const float period = 64 * sx;               // horizontal cell spacing on screen
    const float size = period / std::sqrt(3.0f);  // centre to corner
    const float rowStep = 1.5f * size;
    const float top = 110 * sy;                 // first row's centre
    const int rows = 3;
    const float line = 7.0f;
    for (int y = 0; y < kBig; ++y)
        for (int x = 0; x < kBig; ++x) {
            float px = (x + 0.5f) * sx, py = (y + 0.5f) * sy;
            // The two nearest cell centres; on the lattice the boundary lies halfway.
            float best = 1e9f, second = 1e9f;
            int bestRow = -99, secondRow = -99;
            int r0 = static_cast<int>(std::floor((py - top) / rowStep));
            for (int r = r0 - 1; r <= r0 + 2; ++r) {
                float cy = top + r * rowStep;
                float shift = (r & 1) ? period * 0.5f : 0.0f;
                int k0 = static_cast<int>(std::floor((px - shift) / period));
                for (int k = k0 - 1; k <= k0 + 2; ++k) {
                    float cx = shift + k * period;
                    float d = std::hypot(px - cx, py - cy);
                    if (d < best) {
                        second = best;
                        secondRow = bestRow;
                        best = d;
                        bestRow = r;
                    } else if (d < second) {
                        second = d;
                        secondRow = r;
                    }
                }
            }
            bool inBand = bestRow >= 0 && bestRow < rows;
            bool nearBand = secondRow >= 0 && secondRow < rows;
            float toEdge = (second - best) * 0.5f;
            bool frame = toEdge < line && (inBand || nearBand);
            // Bevelled steel: bright on the ridge, darker towards both sides.
            float ridge = 1 - toEdge / line;
            float shade = 0.45f + 0.55f * ridge + 0.15f * std::sin(py * 0.05f);
            // Around the band the steel's base tint is a smooth field, also under the
            // hidden texels, so filtering at the frame's edges stays in tone; it is
            // what the packer's multimedia (delta) mode is good at.
            float aroundBand = 1 - Smooth(0, 40, std::max(top - size - py, py - (top + (rows - 1) * rowStep + size)));
            Color base = Mix(Rgb(40, 60, 90),
                             Mix(Rgb(50, 70, 110), Rgb(120, 150, 200),
                                 0.5f + 0.5f * std::sin(py * 0.011f + px * 0.003f)),
                             aroundBand);
            Color steel = Mix(base * 0.6f, Rgb(230, 240, 255), Clamp01(shade - 0.35f));
            c.Set(x, y, frame ? steel : base);
            c.SetAlpha(x, y, frame ? 0.0f : 1.0f);
        }
    return c;
}

struct Recipe {
    const char* name;
    PictureFormat format;
    std::function<Canvas(TextRenderer&, TextRenderer&)> draw;
};

const std::vector<Recipe>& Recipes() {
    using F = PictureFormat;
    auto plain = [](Canvas (*f)()) {
        return [f](TextRenderer&, TextRenderer&) { return f(); };
    };
    static const std::vector<Recipe> recipes = {
        {"data/loading.jpg", F::kJpeg, Loading},
        {"data/spiral_back.jpg", F::kJpeg, plain(SpiralBack)},
        {"data/start_flare.jpg", F::kJpeg, plain(StartFlare)},
        {"data/kasse_back.jpg", F::kJpeg, plain(KasseBack)},
        {"data/kasse.jpg", F::kJpeg, plain(KasseTexture)},
        {"data/vortex_back.jpg", F::kJpeg, plain(VortexBack)},
        {"data/hair.jpg", F::kJpeg, plain(HairTexture)},
        {"data/twist_back.jpg", F::kJpeg, plain(TwistBack)},
        {"data/twist1.jpg", F::kJpeg, plain(Twist1)},
        {"data/twist2.jpg", F::kJpeg, plain(Twist2)},
        {"data/twist3.jpg", F::kJpeg, plain(Twist3)},
        {"data/beam_back.jpg", F::kJpeg, plain(BeamBack)},
        {"data/beam.jpg", F::kJpeg, plain(BeamSprite)},
        {"data/fly.jpg", F::kJpeg, plain(FlyBack)},
        {"data/torus_1.jpg", F::kJpeg, plain(TorusUnused)},
        {"data/torus_2.jpg", F::kJpeg, plain(BlobSkin)},
        {"data/flare.jpg", F::kJpeg, plain(ChromeMap)},
        {"data/onyx.jpg", F::kJpeg, plain(OnyxBack)},
        {"data/torus_texture_1.jpg", F::kJpeg, plain(TorusTexture1)},
        {"data/torus_texture_2.jpg", F::kJpeg, plain(TorusTexture2)},
        {"data/credit_back.jpg", F::kJpeg, plain(CreditBack)},
        {"data/3dmivo.jpg", F::kJpeg, plain(PlasmaMap)},
        {"data/slut512x512.jpg", F::kJpeg, EndPicture},
        {"data/credits.tga", F::kTga, Credits},
        {"data/sexkanter.tga", F::kTga, plain(Hexagons)},
        {"data/greet.tga", F::kTga, Greetings},
    };
    return recipes;
}

}  // namespace

const std::vector<std::string>& PictureNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const Recipe& r : Recipes()) n.push_back(r.name);
        return n;
    }();
    return names;
}

bool MakePictures(std::vector<Picture>* out, std::string* error) {
    TextRenderer bold, regular;
    if (!bold.Load(FontPath(true)) || !regular.Load(FontPath(false))) {
        if (error) *error = !bold.Error().empty() ? bold.Error() : regular.Error();
        return false;
    }
    out->clear();
    for (const Recipe& r : Recipes()) {
        // Full-screen pictures are stretched to 4:3, so their letters are drawn narrow;
        // the end picture lies on a square mesh and keeps normal letters.
        bool fullScreen = std::string(r.name) != "data/slut512x512.jpg";
        bold.SetSqueeze(fullScreen ? 0.75f : 1.0f);
        regular.SetSqueeze(fullScreen ? 0.75f : 1.0f);
        Canvas canvas = r.draw(bold, regular);
        Picture p;
        p.name = r.name;
        p.format = r.format;
        p.size = canvas.Width();
        p.channels = r.format == PictureFormat::kTga ? 4 : 3;
        p.pixels = p.channels == 4 ? canvas.Rgba8() : canvas.Rgb8();
        out->push_back(std::move(p));
    }
    return true;
}

bool EncodePicture(const Picture& picture, std::vector<uint8_t>* out, std::string* error) {
    if (picture.format == PictureFormat::kTga) {
        *out = EncodeTga32(picture.pixels, picture.size, picture.size);
        return true;
    }
    return EncodeJpeg(picture.pixels, picture.size, picture.size, 90, out, error);
}

}  // namespace showdata
