// Writes 3DS files: a chunk builder for hand-made layouts (tests, odd files) and a
// whole-file writer for named triangle meshes (tests, the default show data).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace threeds {

// Builds a little-endian chunk stream. Begin opens a chunk, End closes the innermost
// one and patches its length (header and contents, sub-chunks included). PatchU32
// lets a test write a wrong length on purpose.
class ChunkWriter {
public:
    void Begin(uint16_t id);
    // False when no chunk is open.
    bool End();

    void U8(uint8_t v);
    void U16(uint16_t v);
    void U32(uint32_t v);
    void F32(float v);
    // The bytes of `s` and a terminating zero.
    void Name(const std::string& s);
    void Raw(const void* data, size_t size);

    size_t Offset() const { return bytes_.size(); }
    // Overwrites four bytes at `offset`; false when they are not all written yet.
    bool PatchU32(size_t offset, uint32_t v);
    // Offset of the innermost open chunk's length field; 0 when none is open.
    size_t OpenLengthOffset() const { return open_.empty() ? 0 : open_.back() + 2; }

    bool Balanced() const { return open_.empty(); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    std::vector<size_t> open_;  // start offsets of open chunks
};

struct Vertex {
    float x, y, z;
};
struct TexCoord {
    float u, v;
};
struct Triangle {
    uint16_t a, b, c;
    uint16_t flags = 7;  // all three edges visible, as modellers write it
};

// One object block with a triangle mesh, in the file's own coordinates (the demo's
// reader negates z and v while reading).
struct Mesh {
    std::string name;
    std::vector<Vertex> vertices;
    std::vector<Triangle> faces;
    std::vector<TexCoord> texCoords;  // written only when not empty
};

// A complete file: main chunk (0x4D4D) with a version chunk, the 3D editor chunk
// (0x3D3D) with a mesh version chunk and one object block (0x4000) per mesh holding a
// triangle mesh (0x4100) with vertex (0x4110), face (0x4120) and, where given,
// texture-coordinate (0x4140) lists. False (with a reason) when a mesh has more than
// 65 535 vertices or faces, texture coordinates that do not match the vertex count, a
// face index past its vertices, or a name with a zero byte.
bool Write3DS(const std::vector<Mesh>& meshes, std::vector<uint8_t>* out, std::string* error);

// Write3DS to a file; false with a reason when the meshes or the file fail.
bool Write3DSFile(const std::string& path, const std::vector<Mesh>& meshes, std::string* error);

}  // namespace threeds
