// The window and its OpenGL context: the demo's only contact with the window system
// (SDL2 stands in for it). One window per run; a module of free functions over
// process-wide state, all used from the main thread only.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

// Set to 1 when Escape is pressed or the window is closed; read by the frame loop.
extern unsigned char quitRequested;

namespace GLWindow {

// Switches the display to exactly width x height at bitsPerPixel and refreshHz and opens
// a borderless full-screen window with a current, double-buffered GL context (RGBA
// 8/8/8/8, depth 16, stencil 1); with fullscreen false, opens a plain window of that size
// titled "Dansk OpenGL tutorial" and leaves the display mode alone. A display without
// that exact mode makes it fail with no message and the desktop untouched.
bool Create(int width, int height, int refreshHz, int bitsPerPixel, bool fullscreen);

// Restores the display mode and removes the window.
void Destroy();

// glFinish, glFlush and buffer swap, then handles at most one pending window event.
// Does nothing when there is no window.
void SwapAndPump();

// Fetches the eight extension entry points below in order; false (with the "OpenGL
// Setup Error!" box) unless the six multitexture ones are all present.
bool LoadExtensions();

// LoadExtensions with another lookup in place of SDL_GL_GetProcAddress (for tests).
using ProcLookup = void* (*)(const char* name);
bool LoadExtensionsWith(ProcLookup lookup);

// The extension entry points, shared with the mesh renderer. Only ActiveTextureARB is
// ever called; the others are fetched and kept as the original program does.
extern PFNGLUNLOCKARRAYSEXTPROC UnlockArraysEXT;
extern PFNGLLOCKARRAYSEXTPROC LockArraysEXT;
extern PFNGLMULTITEXCOORD1FARBPROC MultiTexCoord1fARB;
extern PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2fARB;
extern PFNGLMULTITEXCOORD3FARBPROC MultiTexCoord3fARB;
extern PFNGLMULTITEXCOORD4FARBPROC MultiTexCoord4fARB;
extern PFNGLACTIVETEXTUREARBPROC ActiveTextureARB;
extern PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTextureARB;

}  // namespace GLWindow
