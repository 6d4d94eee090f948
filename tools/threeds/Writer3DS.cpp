// 3DS chunk builder and whole-file mesh writer.
#include "Writer3DS.h"

#include <cstdio>
#include <cstring>

namespace threeds {

void ChunkWriter::Begin(uint16_t id) {
    open_.push_back(bytes_.size());
    U16(id);
    U32(0);  // patched by End
}

bool ChunkWriter::End() {
    if (open_.empty()) return false;
    const size_t start = open_.back();
    open_.pop_back();
    return PatchU32(start + 2, static_cast<uint32_t>(bytes_.size() - start));
}

void ChunkWriter::U8(uint8_t v) { bytes_.push_back(v); }

void ChunkWriter::U16(uint16_t v) {
    bytes_.push_back(uint8_t(v));
    bytes_.push_back(uint8_t(v >> 8));
}

void ChunkWriter::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
}

void ChunkWriter::F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U32(bits);
}

void ChunkWriter::Name(const std::string& s) {
    Raw(s.data(), s.size());
    U8(0);
}

void ChunkWriter::Raw(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
}

bool ChunkWriter::PatchU32(size_t offset, uint32_t v) {
    if (offset > bytes_.size() || bytes_.size() - offset < 4) return false;
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = uint8_t(v >> (8 * i));
    return true;
}

namespace {

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool CheckMesh(const Mesh& mesh, std::string* error) {
    if (mesh.name.find('\0') != std::string::npos)
        return Fail(error, "mesh name contains a zero byte");
    if (mesh.vertices.size() > 65535)
        return Fail(error, "mesh " + mesh.name + " has more than 65535 vertices");
    if (mesh.faces.size() > 65535)
        return Fail(error, "mesh " + mesh.name + " has more than 65535 faces");
    if (!mesh.texCoords.empty() && mesh.texCoords.size() != mesh.vertices.size())
        return Fail(error, "mesh " + mesh.name + " has texture coordinates for " +
                               std::to_string(mesh.texCoords.size()) + " of " +
                               std::to_string(mesh.vertices.size()) + " vertices");
    for (const Triangle& t : mesh.faces)
        if (t.a >= mesh.vertices.size() || t.b >= mesh.vertices.size() ||
            t.c >= mesh.vertices.size())
            return Fail(error, "mesh " + mesh.name + " has a face index past its vertices");
    return true;
}

}  // namespace

bool Write3DS(const std::vector<Mesh>& meshes, std::vector<uint8_t>* out, std::string* error) {
    if (!out) return Fail(error, "no output buffer");
    for (const Mesh& mesh : meshes)
        if (!CheckMesh(mesh, error)) return false;

    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x0002);  // file version
    w.U32(3);
    w.End();
    w.Begin(0x3D3D);
    w.Begin(0x3D3E);  // mesh version
    w.U32(3);
    w.End();
    for (const Mesh& mesh : meshes) {
        w.Begin(0x4000);
        w.Name(mesh.name);
        w.Begin(0x4100);
        w.Begin(0x4110);
        w.U16(static_cast<uint16_t>(mesh.vertices.size()));
        for (const Vertex& v : mesh.vertices) {
            w.F32(v.x);
            w.F32(v.y);
            w.F32(v.z);
        }
        w.End();
        if (!mesh.texCoords.empty()) {
            w.Begin(0x4140);
            w.U16(static_cast<uint16_t>(mesh.texCoords.size()));
            for (const TexCoord& t : mesh.texCoords) {
                w.F32(t.u);
                w.F32(t.v);
            }
            w.End();
        }
        w.Begin(0x4120);
        w.U16(static_cast<uint16_t>(mesh.faces.size()));
        for (const Triangle& t : mesh.faces) {
            w.U16(t.a);
            w.U16(t.b);
            w.U16(t.c);
            w.U16(t.flags);
        }
        w.End();  // faces
        w.End();  // mesh
        w.End();  // object
    }
    w.End();  // editor
    w.End();  // main
    *out = w.Bytes();
    return true;
}

bool Write3DSFile(const std::string& path, const std::vector<Mesh>& meshes, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!Write3DS(meshes, &bytes, error)) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return Fail(error, "cannot create " + path);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) return Fail(error, "cannot write " + path);
    return true;
}

}  // namespace threeds
