// The extension entry points the window layer fetches at start-up (GLWindow::
// LoadExtensions) for the mesh renderer: kept with the GL, so that the engine reaches
// them without the window.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/gl/Proc.h"

namespace GLWindow {

// Fetches the eight extension entry points below in order; false (with the "OpenGL
// Setup Error!" box) unless the six multitexture ones are all present.
bool LoadExtensions();

// LoadExtensions with another lookup in place of SDL_GL_GetProcAddress (for tests).
using ProcLookup = platform::gl::ProcLookup;
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
