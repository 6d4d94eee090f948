// What the Windows build adds under the programs: UTF-8 file names through the wide
// API, and the command line in UTF-8, read and written.
#pragma once

#include <string>
#include <vector>

namespace platform {
namespace windows {

// UTF-8 to UTF-16 and back; false (and nothing written) for text that is not valid.
bool Widen(const char* utf8, std::wstring* out);
bool Narrow(const wchar_t* wide, std::string* out);

// The process's command line, each argument in UTF-8 (argv holds the ANSI code page's
// reading of it, which loses every character outside that page).
std::vector<std::string> Utf8Arguments();

// Folders by UTF-8 name: whether one is there, and making one (0 on success, as mkdir).
bool IsDirectory(const char* utf8);
int MakeDirectory(const char* utf8);

// One argument as a Windows command line carries it, by the C runtime's rules (what
// CommandLineToArgvW and the programs' own start-up code read back): quoted where it
// is empty or holds a space, tab or quote, with the backslashes before a quote doubled.
std::string QuoteArgument(const std::string& utf8);

}  // namespace windows
}  // namespace platform
