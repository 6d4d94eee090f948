// Offscreen GL context and PNG output for the test programs.
#include "GLTestContext.h"

#include "platform/window/GLWindow.h"

#include <SDL.h>
#include <GL/gl.h>
#include <png.h>

#include <cstdlib>
#include <cstring>

namespace testsupport {

OffscreenGL::OffscreenGL(int width, int height) : width_(width), height_(height) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error_ = std::string("SDL_InitSubSystem: ") + SDL_GetError();
        return;
    }
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_Window* w = SDL_CreateWindow("kavlo test", 0, 0, width, height, SDL_WINDOW_OPENGL);
    if (!w) {
        error_ = std::string("SDL_CreateWindow: ") + SDL_GetError();
        return;
    }
    window_ = w;
    SDL_GLContext c = SDL_GL_CreateContext(w);
    if (!c) {
        error_ = std::string("SDL_GL_CreateContext: ") + SDL_GetError();
        return;
    }
    context_ = c;
    SDL_GL_MakeCurrent(w, c);
    glViewport(0, 0, width, height);
}

OffscreenGL::~OffscreenGL() {
    if (context_) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
    if (window_) SDL_DestroyWindow(static_cast<SDL_Window*>(window_));
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::vector<uint8_t> OffscreenGL::ReadPixels() const {
    std::vector<uint8_t> bottomUp(static_cast<size_t>(width_) * height_ * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<uint8_t> topDown(bottomUp.size());
    const size_t row = static_cast<size_t>(width_) * 4;
    for (int y = 0; y < height_; ++y)
        std::memcpy(&topDown[y * row], &bottomUp[(height_ - 1 - y) * row], row);
    return topDown;
}

std::string OffscreenGL::WritePNG(const std::string& name) const {
    std::string path = OutputPath(name);
    // Opaque: the frame's alpha is what blending left behind, not transparency.
    std::vector<uint8_t> pixels = ReadPixels();
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    return testsupport::WritePNG(path, width_, height_, pixels) ? path : std::string();
}

OffscreenGL& SharedGL() {
    // Deliberately never destroyed: Mesa's threads may still run at process exit.
    static OffscreenGL* gl = new OffscreenGL();
    return *gl;
}

bool DemoContextReady(std::string* why) {
    static std::string reason;
    static const bool ready = [] {
        OffscreenGL& gl = SharedGL();
        if (!gl.Ok()) {
            reason = gl.Error();
            return false;
        }
        if (gl.Width() != 800 || gl.Height() != 600) {
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

std::string OutputPath(const std::string& name) {
    const char* dir = std::getenv("KAVLO_TEST_OUTPUT");
    if (!dir || !*dir) return name;
    return std::string(dir) + "/" + name;
}

bool WritePNG(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
    if (rgba.size() < static_cast<size_t>(width) * height * 4) return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

}  // namespace testsupport
