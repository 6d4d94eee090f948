// The extension entry points the effects call, for every kind of window: fetched by
// name from whichever GL is current (the desktop's, or our layer over WebGL 2).
#include "Extensions.h"

#include "platform/gl/Context.h"
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
    UnlockArraysEXT = reinterpret_cast<PFNGLUNLOCKARRAYSEXTPROC>(lookup("glUnlockArraysEXT"));
    LockArraysEXT = reinterpret_cast<PFNGLLOCKARRAYSEXTPROC>(lookup("glLockArraysEXT"));
    MultiTexCoord1fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD1FARBPROC>(lookup("glMultiTexCoord1fARB"));
    MultiTexCoord2fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD2FARBPROC>(lookup("glMultiTexCoord2fARB"));
    MultiTexCoord3fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD3FARBPROC>(lookup("glMultiTexCoord3fARB"));
    MultiTexCoord4fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD4FARBPROC>(lookup("glMultiTexCoord4fARB"));
    ActiveTextureARB = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(lookup("glActiveTextureARB"));
    ClientActiveTextureARB =
        reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(lookup("glClientActiveTextureARB"));
    // The lock-array pair is fetched but never required.
    if (!MultiTexCoord1fARB || !MultiTexCoord2fARB || !MultiTexCoord3fARB ||
        !MultiTexCoord4fARB || !ActiveTextureARB || !ClientActiveTextureARB) {
        platform::ShowErrorBox("Your OpenGL does not support either multitexturing or lockarray.",
                               "OpenGL Setup Error!");
        return false;
    }
    return true;
}

bool LoadExtensions() { return LoadExtensionsWith(platform::gl::ExtensionProc); }

}  // namespace GLWindow
