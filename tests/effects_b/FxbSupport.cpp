// Helpers of the beam, torus and Ordan effect tests.
#include "FxbSupport.h"

#include "Effect.h"
#include "GLTestContext.h"
#include "GLWindow.h"
#include "RarWriter.h"
#include "Writer3DS.h"

#include <GL/glext.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdlib>

namespace fxb {

bool ContextReady(std::string* why) {
    static std::string reason;
    static const bool ready = [] {
        testsupport::OffscreenGL& gl = testsupport::SharedGL();
        if (!gl.Ok()) {
            reason = gl.Error();
            return false;
        }
        if (gl.Width() != kWidth || gl.Height() != kHeight) {
            reason = "the shared context is not 800 x 600";
            return false;
        }
        if (!GLWindow::LoadExtensions()) {
            reason = "multitexture entry points missing";
            return false;
        }
        glEnable(GL_TEXTURE_2D);
        return true;
    }();
    if (!ready && why) *why = reason;
    return ready;
}

namespace {

const double kPi = 3.14159265358979323846;

// A latitude-longitude sphere cap from the north pole down to `polarEnd` radians.
threeds::Mesh SphereMesh(const std::string& name, float radius, int stacks, int slices,
                         double polarEnd) {
    threeds::Mesh m;
    m.name = name;
    for (int i = 0; i <= stacks; ++i) {
        const double theta = polarEnd * i / stacks;
        for (int j = 0; j <= slices; ++j) {
            const double phi = 2 * kPi * j / slices;
            m.vertices.push_back({static_cast<float>(radius * std::sin(theta) * std::cos(phi)),
                                  static_cast<float>(radius * std::sin(theta) * std::sin(phi)),
                                  static_cast<float>(radius * std::cos(theta))});
            m.texCoords.push_back({static_cast<float>(j) / slices, static_cast<float>(i) / stacks});
        }
    }
    const int row = slices + 1;
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const uint16_t a = static_cast<uint16_t>(i * row + j), b = static_cast<uint16_t>(a + 1);
            const uint16_t c = static_cast<uint16_t>(a + row), d = static_cast<uint16_t>(c + 1);
            m.faces.push_back({a, c, b});
            m.faces.push_back({b, c, d});
        }
    return m;
}

threeds::Mesh TorusMesh(const std::string& name, float ring, float tube, int rings, int sides) {
    threeds::Mesh m;
    m.name = name;
    for (int i = 0; i <= rings; ++i) {
        const double u = 2 * kPi * i / rings;
        for (int j = 0; j <= sides; ++j) {
            const double v = 2 * kPi * j / sides;
            const double r = ring + tube * std::cos(v);
            m.vertices.push_back({static_cast<float>(r * std::cos(u)), static_cast<float>(r * std::sin(u)),
                                  static_cast<float>(tube * std::sin(v))});
            m.texCoords.push_back({static_cast<float>(i) / rings, static_cast<float>(j) / sides});
        }
    }
    const int row = sides + 1;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < sides; ++j) {
            const uint16_t a = static_cast<uint16_t>(i * row + j), b = static_cast<uint16_t>(a + 1);
            const uint16_t c = static_cast<uint16_t>(a + row), d = static_cast<uint16_t>(c + 1);
            m.faces.push_back({a, c, b});
            m.faces.push_back({b, c, d});
        }
    return m;
}

// A flat square in the x-y plane, as the fan's single mesh.
threeds::Mesh SquareMesh(const std::string& name, float half) {
    threeds::Mesh m;
    m.name = name;
    m.vertices = {{-half, -half, 0}, {half, -half, 0}, {half, half, 0}, {-half, half, 0}};
    m.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.faces = {{0, 1, 2}, {0, 2, 3}};
    return m;
}

bool AddMesh(rarpack::RarWriter* writer, const char* file, const threeds::Mesh& mesh,
             std::string* error) {
    std::vector<uint8_t> bytes;
    if (!threeds::Write3DS({mesh}, &bytes, error)) return false;
    rarpack::EntryOptions stored;
    stored.method = 0;
    writer->Add(file, bytes.data(), bytes.size(), stored);
    return true;
}

}  // namespace

bool WriteSyntheticArchive(unsigned meshes, std::string* error) {
    rarpack::RarWriter writer;
    struct Entry {
        unsigned bit;
        const char* file;
        threeds::Mesh mesh;
    };
    const Entry entries[] = {
        {kBeamSphere, "3ds/beam2.3ds", SphereMesh("Sphere01", 0.5f, 8, 12, kPi)},
        {kBlob, "3ds/blob.3ds", SphereMesh("Blob01", 120.0f, 12, 16, kPi)},
        {kTorus, "3ds/torus.3ds", TorusMesh("Torus01", 100.0f, 35.0f, 16, 8)},
        {kBox, "3ds/underligmiddle.3ds", SphereMesh("Box02", 250.0f, 10, 12, kPi)},
        {kBigSphere, "3ds/insidespherehalf.3ds", SphereMesh("bigsphere", 70.0f, 12, 24, kPi / 2)},
        {kRadialDuck, "3ds/radialduck.3ds", SquareMesh("Box01", 20.0f)},
    };
    for (const Entry& e : entries)
        if ((meshes & e.bit) && !AddMesh(&writer, e.file, e.mesh, error)) return false;
    // An archive with no entry at all still needs a readable file.
    if (writer.EntryCount() == 0) {
        rarpack::EntryOptions stored;
        stored.method = 0;
        writer.Add("readme.txt", "x", 1, stored);
    }
    return writer.WriteFile("megadata.rar", error);
}

bool SyntheticDataReady() {
    static const bool ready = [] {
        std::string error;
        if (WriteSyntheticArchive(kAllMeshes, &error)) return true;
        ADD_FAILURE() << "cannot write the synthetic archive: " << error;
        return false;
    }();
    return ready;
}

ScratchDirectory::ScratchDirectory(const std::string& name) {
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer)) return;
    previous = buffer;
    mkdir(name.c_str(), 0755);
    ok = chdir(name.c_str()) == 0;
}

ScratchDirectory::~ScratchDirectory() {
    if (ok && chdir(previous.c_str()) != 0) std::abort();
}

GLState ReadState() {
    GLState s{};
    s.depthTest = glIsEnabled(GL_DEPTH_TEST);
    s.blend = glIsEnabled(GL_BLEND);
    s.fog = glIsEnabled(GL_FOG);
    s.cullFace = glIsEnabled(GL_CULL_FACE);
    s.texture2D = glIsEnabled(GL_TEXTURE_2D);
    s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
    s.texGenS = glIsEnabled(GL_TEXTURE_GEN_S);
    s.texGenT = glIsEnabled(GL_TEXTURE_GEN_T);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelviewDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projectionDepth);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
    glGetFloatv(GL_CURRENT_COLOR, s.color);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    return s;
}

std::vector<GLenum> TakeErrors() {
    std::vector<GLenum> errors;
    for (GLenum e = glGetError(); e != GL_NO_ERROR && errors.size() < 16; e = glGetError())
        errors.push_back(e);
    return errors;
}

void FillFrame(float r, float g, float b) {
    TakeErrors();
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_TRUE);
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(r, g, b, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Effects rely on the clear colour being black, as start-up leaves it.
    glClearColor(0, 0, 0, 0);
    glColor4f(1, 1, 1, 1);
}

void RenderFrame(Effect& effect, unsigned timeMs, int deltaMs, bool sync) {
    effect.Render(timeMs, deltaMs, sync);
    const std::vector<GLenum> errors = TakeErrors();
    EXPECT_TRUE(errors.empty()) << "GL error 0x" << std::hex << (errors.empty() ? 0 : errors[0])
                                << " after the frame at " << std::dec << timeMs;
}

std::vector<uint8_t> Frame() { return testsupport::SharedGL().ReadPixels(); }

std::vector<int> Pixel(const std::vector<uint8_t>& rgba, int x, int y) {
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
    return {p[0], p[1], p[2]};
}

double MeanBrightness(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1) {
    double sum = 0;
    long count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
            sum += (p[0] + p[1] + p[2]) / 3.0;
            ++count;
        }
    return count ? sum / count : 0;
}

int PixelsNotColour(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1,
                    const int rgb[3], int tolerance) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
            for (int c = 0; c < 3; ++c)
                if (std::abs(p[c] - rgb[c]) > tolerance) {
                    ++n;
                    break;
                }
        }
    return n;
}

int DepthWrittenPixels() {
    std::vector<float> depth(static_cast<size_t>(kWidth) * kHeight);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    int n = 0;
    for (float d : depth)
        if (d < 1.0f) ++n;
    return n;
}

std::string SavePicture(const std::string& name) {
    // The screen shows no alpha; written as is, additive frames would look washed out
    // in a picture viewer.
    std::vector<uint8_t> rgba = Frame();
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    const std::string path = testsupport::OutputPath(name);
    return testsupport::WritePNG(path, kWidth, kHeight, rgba) ? path : std::string();
}

}  // namespace fxb
