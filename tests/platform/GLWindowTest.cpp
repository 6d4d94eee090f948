// Tests of the window layer on SDL's offscreen driver: mode refusal, the pixel format,
// the pending events handled each frame, and the extension check.
#include "platform/window/GLWindow.h"
#include "platform/gl/Framebuffer.h"
#include "platform/gl/Proc.h"
#include "platform/message/MessageBox.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> boxes;
std::vector<std::string> lookups;
const char* missingName = nullptr;

void* FakeLookup(const char* name) {
    lookups.push_back(name);
    if (missingName && std::strcmp(name, missingName) == 0) return nullptr;
    static int dummy;
    return &dummy;
}

void PushKey(SDL_Keycode key) {
    SDL_Event e {};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = key;
    SDL_PushEvent(&e);
}

class GLWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        boxes.clear();
        platform::SetMessageBoxHook([](const char* text, const char* caption) {
            boxes.push_back(std::string(caption) + ": " + text);
        });
    }
    void TearDown() override { platform::SetMessageBoxHook({}); }
};

TEST_F(GLWindowTest, AMissingExactModeFailsWithoutTouchingTheDesktop) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_DisplayMode before {};
    SDL_GetCurrentDisplayMode(0, &before);
    // The offscreen display has no 75 Hz mode.
    EXPECT_FALSE(GLWindow::Create(800, 600, 75, 32, true));
    SDL_DisplayMode after {};
    SDL_GetCurrentDisplayMode(0, &after);
    EXPECT_EQ(before.w, after.w);
    EXPECT_EQ(before.h, after.h);
    EXPECT_EQ(before.refresh_rate, after.refresh_rate);
    EXPECT_TRUE(boxes.empty());  // the caller shows the message
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TEST_F(GLWindowTest, WindowedContextHasThePixelFormatAndEscapeEndsBehindAnyBurst) {
    ASSERT_TRUE(GLWindow::Create(800, 600, 75, 32, false)) << SDL_GetError();
    int value = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &value);
    EXPECT_GE(value, 16);
    GLint alphaBits = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    EXPECT_EQ(alphaBits, 8);
    ASSERT_TRUE(GLWindow::LoadExtensions());
    EXPECT_NE(GLWindow::ActiveTextureARB, nullptr);

    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    quitRequested = 0;
    // Between swaps, only Escape is looked for; the keys wait for the next swap.
    PushKey(SDLK_RIGHT);
    EXPECT_FALSE(GLWindow::QuitPending());
    GLWindow::SwapAndPump();
    EXPECT_EQ(GLWindow::TakeKey(), GLWindow::Key::Right);

    // Escape behind thousands of queued events ends the show in the frame that finds
    // them; what came after it stays for nobody.
    SDL_Event motion {};
    motion.type = SDL_MOUSEMOTION;
    for (int n = 0; n < 3000; ++n) {
        SDL_PushEvent(&motion);
        PushKey(n % 2 ? SDLK_LEFT : SDLK_RIGHT);
    }
    PushKey(SDLK_ESCAPE);
    PushKey(SDLK_HOME);
    EXPECT_TRUE(GLWindow::QuitPending()) << "a long seek would stop here";
    quitRequested = 0;
    GLWindow::SwapAndPump();
    EXPECT_EQ(quitRequested, 1);
    int left = 0;
    for (GLWindow::Key key; (key = GLWindow::TakeKey()) != GLWindow::Key::None; ++left)
        EXPECT_NE(key, GLWindow::Key::Home);
    EXPECT_GT(left, 0) << "the keys before Escape reached the player";
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

    quitRequested = 0;
    SDL_Event close {};
    close.type = SDL_QUIT;
    SDL_PushEvent(&close);
    GLWindow::SwapAndPump();
    EXPECT_EQ(quitRequested, 1);

    GLWindow::Destroy();
    GLWindow::SwapAndPump();  // no window: nothing happens
    GLWindow::Destroy();
    quitRequested = 0;
}

TEST_F(GLWindowTest, ExtensionsAreFetchedInOrderAndTheLockPairIsOptional) {
    lookups.clear();
    missingName = "glLockArraysEXT";
    EXPECT_TRUE(GLWindow::LoadExtensionsWith(FakeLookup));
    const std::vector<std::string> order = {
        "glUnlockArraysEXT",    "glLockArraysEXT",      "glMultiTexCoord1fARB",
        "glMultiTexCoord2fARB", "glMultiTexCoord3fARB", "glMultiTexCoord4fARB",
        "glActiveTextureARB",   "glClientActiveTextureARB"};
    EXPECT_EQ(lookups, order);
    missingName = "glUnlockArraysEXT";
    EXPECT_TRUE(GLWindow::LoadExtensionsWith(FakeLookup));
    EXPECT_TRUE(boxes.empty());

    for (size_t i = 2; i < order.size(); ++i) {
        boxes.clear();
        missingName = order[i].c_str();
        EXPECT_FALSE(GLWindow::LoadExtensionsWith(FakeLookup)) << order[i];
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0],
                  "OpenGL Setup Error!: Your OpenGL does not support either multitexturing or "
                  "lockarray.");
    }
    missingName = nullptr;
}

TEST(FitPicture, FillsTheHeightOrTheWidthCentredWithTheAspectKept) {
    auto expect = [](int dw, int dh, GLWindow::Rect want) {
        const GLWindow::Rect r = GLWindow::FitPicture(800, 600, dw, dh);
        EXPECT_EQ(r.x, want.x) << dw << "x" << dh;
        EXPECT_EQ(r.y, want.y) << dw << "x" << dh;
        EXPECT_EQ(r.width, want.width) << dw << "x" << dh;
        EXPECT_EQ(r.height, want.height) << dw << "x" << dh;
    };
    expect(1920, 1080, {240, 0, 1440, 1080});  // bars at the sides
    expect(1200, 700, {133, 0, 933, 700});
    expect(800, 1000, {0, 200, 800, 600});     // a taller screen: bars top and bottom
    expect(800, 600, {0, 0, 800, 600});        // an exact fit leaves no bar
    expect(1024, 768, {0, 0, 1024, 768});
    expect(0, 600, {0, 0, 0, 0});              // a minimised window
}

// The scaled present on the offscreen driver, whose display has no 75 Hz mode: full
// screen falls back to the desktop's 1024 x 768, the picture is drawn at its own size
// into the offscreen framebuffer (640 x 600 here, so that it gets bars) and copied to
// the window fitted, and the GL state the effects see is the same before and after.
TEST_F(GLWindowTest, ScaledFullScreenDrawsOffscreenAndPresentsFittedWithBars) {
    GLWindow::SetPresentation(GLWindow::Presentation::Scaled);
    ASSERT_TRUE(GLWindow::Create(640, 600, 75, 32, true)) << SDL_GetError();
    ASSERT_TRUE(GLWindow::DrawsOffscreen());
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(window, &dw, &dh);
    ASSERT_EQ(dw, 1024);
    ASSERT_EQ(dh, 768);
    ASSERT_NE(platform::gl::Framebuffers(), nullptr);
    const auto bindFramebuffer = platform::gl::Framebuffers()->BindFramebuffer;

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 600);

    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);  // the picture: red
    glEnable(GL_SCISSOR_TEST);     // state an effect might leave
    glScissor(10, 20, 30, 40);
    glColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE);
    GLWindow::PresentToWindow();

    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0], 10);
    EXPECT_EQ(box[3], 40);
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_FALSE(mask[1]);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 1.0f);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    // 819 x 768 from x = 102.
    bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    auto pixel = [](int x, int y) {
        unsigned char p[4] = {1, 1, 1, 1};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(pixel(0, 384), 0x000000);
    EXPECT_EQ(pixel(101, 384), 0x000000);
    EXPECT_EQ(pixel(103, 384), 0xFF0000);
    EXPECT_EQ(pixel(512, 0), 0xFF0000);
    EXPECT_EQ(pixel(919, 767), 0xFF0000);
    EXPECT_EQ(pixel(922, 384), 0x000000);
    EXPECT_EQ(pixel(1023, 384), 0x000000);
    bindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // F11 / Alt+Enter: to a window and back; twice in one frame, no change.
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    PushKey(SDLK_F11);
    PushKey(SDLK_F11);
    GLWindow::SwapAndPump();
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);
    PushKey(SDLK_F11);
    GLWindow::SwapAndPump();
    EXPECT_EQ(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);
    SDL_Event altEnter {};
    altEnter.type = SDL_KEYDOWN;
    altEnter.key.keysym.sym = SDLK_RETURN;
    altEnter.key.keysym.mod = KMOD_LALT;
    SDL_PushEvent(&altEnter);
    GLWindow::SwapAndPump();
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_EQ(quitRequested, 0);
    EXPECT_TRUE(boxes.empty());

    GLWindow::Destroy();
    GLWindow::SetPresentation(GLWindow::Presentation::ExactMode);
}

// A window of the picture's size gets the frames directly, so the usual window costs
// nothing and is pixel-identical; once its size differs (here: F11 to full screen) it
// switches to the offscreen picture and keeps the frame just drawn.
TEST_F(GLWindowTest, ScaledWindowDrawsDirectlyUntilItsSizeDiffers) {
    GLWindow::SetPresentation(GLWindow::Presentation::Scaled);
    ASSERT_TRUE(GLWindow::Create(800, 600, 75, 32, false)) << SDL_GetError();
    EXPECT_FALSE(GLWindow::DrawsOffscreen());
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    GLWindow::ToggleFullscreen();  // the desktop is 1024 x 768
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(5, 6, 70, 80);
    GLWindow::SwapAndPump();
    ASSERT_TRUE(GLWindow::DrawsOffscreen());
    unsigned char p[4] = {};
    glReadPixels(400, 300, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);  // from the offscreen picture
    EXPECT_EQ(p[2], 255) << "the frame drawn before the switch is kept";
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 5) << "the switch leaves the effects' viewport alone";
    EXPECT_EQ(viewport[3], 80);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLWindow::Destroy();
    GLWindow::SetPresentation(GLWindow::Presentation::ExactMode);
}

// Where the offscreen picture cannot be made (here: a driver without glBlitFramebuffer),
// the start goes on with the picture unscaled, and later frames do not try again.
TEST_F(GLWindowTest, AFailedOffscreenPictureIsDecidedOnceAndDrawnUnscaled) {
    static int framebufferLookups;
    framebufferLookups = 0;
    platform::gl::UseProcLookup([](const char* name) -> void* {
        if (std::strcmp(name, "glGenFramebuffers") == 0) ++framebufferLookups;
        if (std::strcmp(name, "glBlitFramebuffer") == 0) return nullptr;
        return SDL_GL_GetProcAddress(name);
    });
    GLWindow::SetPresentation(GLWindow::Presentation::Scaled);
    ASSERT_TRUE(GLWindow::Create(640, 600, 75, 32, true)) << SDL_GetError();
    EXPECT_FALSE(GLWindow::DrawsOffscreen());
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640) << "the effects still see their picture's size";
    EXPECT_EQ(viewport[3], 600);
    for (int frame = 0; frame < 3; ++frame) GLWindow::SwapAndPump();
    GLWindow::ToggleFullscreen();
    GLWindow::SwapAndPump();
    EXPECT_FALSE(GLWindow::DrawsOffscreen());
    EXPECT_EQ(framebufferLookups, 1);
    EXPECT_TRUE(boxes.empty());
    GLWindow::Destroy();
    platform::gl::UseProcLookup(nullptr);
    GLWindow::SetPresentation(GLWindow::Presentation::ExactMode);
}

}  // namespace
