// What the demo's loaders read from one scene or picture file, as text lines.
#pragma once

#include <string>
#include <vector>

namespace kavlodata {

enum class FileKind { Unknown, Scene3DS, Jpeg, Tga };

// The kind by the name's extension (any case: .3ds, .jpg, .jpeg, .tga); failing that,
// by the first bytes (a JPEG start marker, a 3DS main chunk id). TGA has no signature.
FileKind DetectKind(const std::string& name, const std::vector<unsigned char>& bytes);

// Appends the description lines of `bytes` as a file of `kind` to *lines. For a 3DS
// file, one line per object block with a triangle mesh:
//   NAME vertices=N faces=M min=(x,y,z) max=(x,y,z)
// For a picture, one line with its size, channels and whether it becomes a texture:
//   jpeg 256x256 channels=3 texture=yes
//   tga 64x64 channels=4 type=2 texture=no (not square)
// Returns false with a reason in *error when the file cannot be read as that kind at
// all (lines read up to then are kept); a picture that only fails to become a texture
// is described and returns true.
bool DescribeFile(FileKind kind, const std::vector<unsigned char>& bytes,
                  std::vector<std::string>* lines, std::string* error);

}  // namespace kavlodata
