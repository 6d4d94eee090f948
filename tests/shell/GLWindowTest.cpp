// Tests of the window layer on SDL's offscreen driver: mode refusal, the pixel format,
// key handling one event per frame, and the extension check.
#include "GLWindow.h"
#include "platform/MessageBox.h"

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

TEST_F(GLWindowTest, WindowedContextHasThePixelFormatAndEscapeIsHandledOnePerFrame) {
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
    PushKey(SDLK_a);
    PushKey(SDLK_ESCAPE);
    GLWindow::SwapAndPump();  // handles the 'a' only
    EXPECT_EQ(quitRequested, 0);
    GLWindow::SwapAndPump();
    EXPECT_EQ(quitRequested, 1);

    quitRequested = 0;
    SDL_Event close {};
    close.type = SDL_QUIT;
    SDL_PushEvent(&close);
    // Window events the driver queued meanwhile may come first, one per frame.
    for (int frame = 0; frame < 10 && !quitRequested; ++frame) GLWindow::SwapAndPump();
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

}  // namespace
