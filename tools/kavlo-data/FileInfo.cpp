// Descriptions of 3DS, JPEG and TGA files as the demo's own loaders read them.
#include "FileInfo.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <climits>
#include <cstdio>

#include "SceneLoad3DS.h"
#include "TextureImageTGA.h"
#include "ijl/jpeg.h"

namespace kavlodata {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// The loader's z flip turns 0 into -0; print it as 0.
double Plain(float v) { return v == 0.0f ? 0.0 : static_cast<double>(v); }

bool Describe3DS(const std::vector<unsigned char>& bytes, std::vector<std::string>* lines,
                 std::string* error) {
    std::vector<MeshSummary3DS> meshes;
    const bool readable = Describe3DSMeshes(bytes.data(), bytes.size(), &meshes);
    for (const MeshSummary3DS& m : meshes) {
        if (!m.loaded) {
            lines->push_back(m.name + " not loaded (missing or damaged vertex or face list)");
            continue;
        }
        lines->push_back(Format("%s vertices=%d faces=%d min=(%g,%g,%g) max=(%g,%g,%g)",
                                m.name.c_str(), m.vertexCount, m.faceCount, Plain(m.min[0]),
                                Plain(m.min[1]), Plain(m.min[2]), Plain(m.max[0]),
                                Plain(m.max[1]), Plain(m.max[2])));
    }
    if (!readable) *error = "not a readable 3DS file";
    return readable;
}

bool DescribeJpeg(const std::vector<unsigned char>& bytes, std::vector<std::string>* lines,
                  std::string* error) {
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        *error = "too large for the JPEG decoder";
        return false;
    }
    int width = 0, height = 0, channels = 0;
    const bool decoded = JpegDecode(&width, &height, &channels, bytes.data(),
                                    static_cast<int>(bytes.size())) != nullptr;
    JpegRelease();
    if (width == 0 && height == 0 && channels == 0) {
        *error = "not a readable JPEG file";
        return false;
    }
    const char* verdict = !decoded              ? "no (too large or damaged)"
                          : width != height     ? "no (not square)"
                          : channels != 3       ? "no (not colour)"
                                                : "yes";
    lines->push_back(
        Format("jpeg %dx%d channels=%d texture=%s", width, height, channels, verdict));
    return true;
}

bool DescribeTga(const std::vector<unsigned char>& bytes, std::vector<std::string>* lines,
                 std::string* error) {
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        *error = "too large for the TGA reader";
        return false;
    }
    TgaStream* stream = TgaOpenMemory(bytes.data(), static_cast<int>(bytes.size()));
    TgaHeader header;
    const bool hasHeader = stream && TgaReadHeader(stream, &header);
    const int remaining = stream ? stream->size - stream->position : 0;
    TgaClose(stream);
    if (!hasHeader) {
        *error = "shorter than a TGA header (18 bytes)";
        return false;
    }
    std::string verdict = "yes";
    if (const char* reason = TgaRejectReason(header)) {
        verdict = std::string("no (") + reason + ")";
    } else if (TgaPixelBytes(header) > remaining) {
        verdict = Format("no (pixel data short: %d of %lld bytes)", remaining,
                         TgaPixelBytes(header));
    }
    lines->push_back(Format("tga %dx%d channels=%d type=%d texture=%s", header.width,
                            header.height, header.bitsPerPixel / 8, header.imageType,
                            verdict.c_str()));
    return true;
}

}  // namespace

FileKind DetectKind(const std::string& name, const std::vector<unsigned char>& bytes) {
    const std::string lower = Lower(name);
    if (EndsWith(lower, ".3ds")) return FileKind::Scene3DS;
    if (EndsWith(lower, ".jpg") || EndsWith(lower, ".jpeg")) return FileKind::Jpeg;
    if (EndsWith(lower, ".tga")) return FileKind::Tga;
    if (bytes.size() >= 2 && bytes[0] == 0xff && bytes[1] == 0xd8) return FileKind::Jpeg;
    if (bytes.size() >= 2 && bytes[0] == 0x4d && bytes[1] == 0x4d) return FileKind::Scene3DS;
    return FileKind::Unknown;
}

bool DescribeFile(FileKind kind, const std::vector<unsigned char>& bytes,
                  std::vector<std::string>* lines, std::string* error) {
    switch (kind) {
        case FileKind::Scene3DS:
            return Describe3DS(bytes, lines, error);
        case FileKind::Jpeg:
            return DescribeJpeg(bytes, lines, error);
        case FileKind::Tga:
            return DescribeTga(bytes, lines, error);
        case FileKind::Unknown:
            break;
    }
    *error = "unknown file kind (name it .3ds, .jpg or .tga)";
    return false;
}

}  // namespace kavlodata
