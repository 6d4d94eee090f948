// Windows' own message box, with the text in UTF-8.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "MessageBoxSystem.h"
#include "platform/windows/Windows.h"

#include <string>

namespace platform::box {

// There is always a desktop.
bool DisplayCanShowBox() { return !NoOneToClose(); }

void ShowBox(const char* text, const char* caption) {
    std::wstring wideText, wideCaption;
    if (platform::windows::Widen(text, &wideText) && platform::windows::Widen(caption, &wideCaption))
        MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), MB_OK | MB_ICONERROR);
    else
        MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

}  // namespace platform::box
