// Messages in a browser: a box would stop the page, so the page shows the message and
// goes on.
#include "MessageBoxSystem.h"

#include "platform/web/Page.h"

namespace platform::box {

// The page is always there, and SDL has no video in a browser.
bool DisplayCanShowBox() { return true; }

void ShowBox(const char* text, const char* caption) { page::ShowMessage(caption, text); }

}  // namespace platform::box
