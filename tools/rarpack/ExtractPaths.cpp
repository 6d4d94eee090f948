// Where `rarpack x` writes each entry.
#include "ExtractPaths.h"

namespace fs = std::filesystem;

namespace rarpack {

bool SafeRelativePath(const std::string& name, fs::path* out) {
    std::string s = name;
    for (char& ch : s)
        if (ch == '\\') ch = '/';
    const char letter = static_cast<char>(s.empty() ? 0 : s[0] | 0x20);
    if (s.size() >= 2 && s[1] == ':' && letter >= 'a' && letter <= 'z') s.erase(0, 2);
    fs::path result;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find('/', start);
        if (end == std::string::npos) end = s.size();
        const std::string part = s.substr(start, end - start);
        if (part == ".." || part.find(':') != std::string::npos) return false;
        if (!part.empty() && part != ".") result /= fs::u8path(part);
        start = end + 1;
    }
    if (result.empty()) return false;
    *out = result;
    return true;
}

std::string OutputKey(const fs::path& rel) {
    std::string key;
    for (const fs::path& part : rel) {
        std::string p = part.u8string();
        while (!p.empty() && (p.back() == '.' || p.back() == ' ')) p.pop_back();
        for (char& ch : p)
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        key += p + '/';
    }
    return key;
}

bool ExtractPaths::Plan(const std::string& name, unsigned storedSize, fs::path* rel, std::string* refusal) const {
    if (storedSize > 259) {
        *refusal = "name longer than 259 bytes";  // the reader keeps only its first 259
        return false;
    }
    if (!SafeRelativePath(name, rel)) {
        *refusal = "unsafe name";
        return false;
    }
    const auto it = written_.find(OutputKey(*rel));
    if (it == written_.end()) return true;
    *refusal = "same output path as an earlier entry (" + it->second + ")";
    return false;
}

void ExtractPaths::Written(const fs::path& rel, const std::string& name) { written_.emplace(OutputKey(rel), name); }

}  // namespace rarpack
