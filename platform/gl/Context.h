// The window layer's seam to the GL it draws with: the desktop's OpenGL, or the
// fixed-function layer over OpenGL ES 3.0 (WebGL 2). The build picks one implementation.
#pragma once

namespace platform::gl {

// Before the context is made: the profile and version to ask SDL for.
void RequestContextAttributes();

// Once the context is current: false where the context cannot carry the show's GL.
bool ContextCurrent();

// Before the context is deleted: whatever was kept for it is let go.
void ContextGone();

// Where LoadExtensions finds glActiveTextureARB and the other extension calls.
void* ExtensionProc(const char* name);

}  // namespace platform::gl
