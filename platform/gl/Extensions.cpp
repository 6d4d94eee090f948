// The extension entry points the effects call, for every kind of window: fetched by
// name from whichever GL is current (the desktop's, or our layer over WebGL 2).
#include "Extensions.h"

#include "platform/gl/Context.h"
#include "platform/gl/Proc.h"
#include "platform/message/MessageBox.h"

namespace GLWindow {

PFNGLUNLOCKARRAYSEXTPROC UnlockArraysEXT = nullptr;
PFNGLLOCKARRAYSEXTPROC LockArraysEXT = nullptr;
PFNGLMULTITEXCOORD1FARBPROC MultiTexCoord1fARB = nullptr;
PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2fARB = nullptr;
PFNGLMULTITEXCOORD3FARBPROC MultiTexCoord3fARB = nullptr;
PFNGLMULTITEXCOORD4FARBPROC MultiTexCoord4fARB = nullptr;
PFNGLACTIVETEXTUREARBPROC ActiveTextureARB = nullptr;
PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTextureARB = nullptr;

bool LoadExtensionsWith(ProcLookup lookup) {
    using platform::gl::LoadProc;
    // All eight are fetched, in this order, whatever is missing; the lock-array pair is
    // never required.
    LoadProc(lookup, "glUnlockArraysEXT", &UnlockArraysEXT);
    LoadProc(lookup, "glLockArraysEXT", &LockArraysEXT);
    bool complete = LoadProc(lookup, "glMultiTexCoord1fARB", &MultiTexCoord1fARB);
    complete &= LoadProc(lookup, "glMultiTexCoord2fARB", &MultiTexCoord2fARB);
    complete &= LoadProc(lookup, "glMultiTexCoord3fARB", &MultiTexCoord3fARB);
    complete &= LoadProc(lookup, "glMultiTexCoord4fARB", &MultiTexCoord4fARB);
    complete &= LoadProc(lookup, "glActiveTextureARB", &ActiveTextureARB);
    complete &= LoadProc(lookup, "glClientActiveTextureARB", &ClientActiveTextureARB);
    if (!complete) {
        platform::ShowErrorBox("Your OpenGL does not support either multitexturing or lockarray.",
                               "OpenGL Setup Error!");
        return false;
    }
    return true;
}

bool LoadExtensions() { return LoadExtensionsWith(platform::gl::ExtensionProc); }

}  // namespace GLWindow
