// The pictures folder on Windows: Pictures in the user's profile.
#include "PicturesFolder.h"

#include "platform/windows/Windows.h"

#include <cstdlib>

namespace platform {

std::string PicturesFolder() {
    // In UTF-8: the ANSI reading of the profile path loses names outside its code page.
    const wchar_t* profile = _wgetenv(L"USERPROFILE");
    std::string folder;
    if (!profile || !profile[0] || !windows::Narrow(profile, &folder)) return std::string();
    return folder + "\\Pictures";
}

}  // namespace platform
