// The 3DS mesh reader: chunk walk, vertex, face and texture-coordinate lists, and
// LoadScene over the data archive.
#include "SceneLoad3DS.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "rar/ArchiveReader.h"
#include "memory/MemoryTracker.h"
#include "object.h"

namespace {

const unsigned kChunkMain = 0x4D4D;
const unsigned kChunkEditor = 0x3D3D;
const unsigned kChunkObject = 0x4000;
const unsigned kChunkMesh = 0x4100;
const unsigned kChunkVertices = 0x4110;
const unsigned kChunkFaces = 0x4120;
const unsigned kChunkTexCoords = 0x4140;

const size_t kHeaderSize = 6;
const size_t kNameKept = 64;

// One vertex as read, already flipped: (x, y, -z) and (u, -v).
struct VertexRecord {
    float x, y, z, u, v;
};

// A tracked temporary array released on every way out of the mesh reader.
template <typename T>
class TempArray {
public:
    TempArray() = default;
    ~TempArray() { Reset(); }
    TempArray(const TempArray&) = delete;
    TempArray& operator=(const TempArray&) = delete;

    void Allocate(size_t count) {
        Reset();
        data_ = KAVLO_NEW_ARRAY(T, count);
    }
    void Reset() {
        if (data_) KAVLO_DELETE_ARRAY(data_);
        data_ = nullptr;
    }
    T& operator[](size_t i) { return data_[i]; }
    bool Present() const { return data_ != nullptr; }

private:
    T* data_ = nullptr;
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameNameIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b)) return false;
        if (*a == '\0') return true;
    }
}

}  // namespace

SceneLoad3DS::SceneLoad3DS() : buffer(nullptr), size(0), mainEnd(0), cursor(0), failed(false) {}

SceneLoad3DS::~SceneLoad3DS() = default;

bool SceneLoad3DS::Fits(size_t bytes, size_t end) const {
    const size_t pos = static_cast<size_t>(cursor);
    return cursor >= 0 && pos <= end && end <= size && bytes <= end - pos;
}

unsigned SceneLoad3DS::ReadU16() {
    if (!buffer || !Fits(2, size)) {
        failed = true;
        return 0;
    }
    const unsigned char* p = buffer + cursor;
    cursor += 2;
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}

unsigned SceneLoad3DS::ReadU32() {
    if (!buffer || !Fits(4, size)) {
        failed = true;
        return 0;
    }
    const unsigned char* p = buffer + cursor;
    cursor += 4;
    return unsigned(p[0]) | unsigned(p[1]) << 8 | unsigned(p[2]) << 16 | unsigned(p[3]) << 24;
}

float SceneLoad3DS::ReadFloat() {
    const unsigned bits = ReadU32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool SceneLoad3DS::ReadChunkHeader(size_t parentEnd, unsigned* id, size_t* end) {
    if (!Fits(kHeaderSize, parentEnd)) return false;
    *id = ReadU16();
    const size_t length = ReadU32();
    // A length below the header would step backwards; one past the parent would let a
    // child claim bytes that are not its own.
    if (length < kHeaderSize || !Fits(length - kHeaderSize, parentEnd)) return false;
    *end = static_cast<size_t>(cursor) + length - kHeaderSize;
    return true;
}

bool SceneLoad3DS::ReadName(size_t end, char* out) {
    size_t kept = 0;
    for (;;) {
        if (!Fits(1, end)) return false;
        const char c = static_cast<char>(buffer[cursor++]);
        if (c == '\0') break;
        if (kept < kNameKept) out[kept++] = c;
    }
    out[kept] = '\0';
    return true;
}

Object* SceneLoad3DS::ParseMesh(size_t meshEnd, const char* name) {
    TempArray<VertexRecord> records;
    TempArray<unsigned> indices;
    size_t vertexCount = 0, faceCount = 0;

    while (static_cast<size_t>(cursor) < meshEnd) {
        unsigned id;
        size_t subEnd;
        if (!ReadChunkHeader(meshEnd, &id, &subEnd)) return nullptr;
        if (id == kChunkVertices) {
            const size_t count = ReadU16();
            if (failed || !Fits(count * 12, subEnd)) return nullptr;
            records.Allocate(count);
            for (size_t i = 0; i < count; ++i) {
                records[i].x = ReadFloat();
                records[i].y = ReadFloat();
                // Mirrored in z: the effects' cameras and transforms assume the
                // scenes this way round.
                records[i].z = -ReadFloat();
                records[i].u = 0.0f;
                records[i].v = 0.0f;
            }
            vertexCount = count;
        } else if (id == kChunkFaces) {
            const size_t count = ReadU16();
            if (failed || !Fits(count * 8, subEnd)) return nullptr;
            indices.Allocate(count * 3);
            for (size_t i = 0; i < count; ++i) {
                indices[i * 3 + 0] = ReadU16();
                indices[i * 3 + 1] = ReadU16();
                indices[i * 3 + 2] = ReadU16();
                cursor += 2;  // edge-visibility flags, unused
            }
            faceCount = count;
            // The face list's own sub-chunks follow; the mesh loop meets and skips them.
        } else if (id == kChunkTexCoords) {
            const size_t count = ReadU16();
            if (failed) return nullptr;
            // Coordinates before the vertex list, or more of them than vertices, have
            // nowhere to go.
            if (records.Present() && count <= vertexCount) {
                if (!Fits(count * 8, subEnd)) return nullptr;
                for (size_t j = 0; j < count; ++j) {
                    records[j].u = ReadFloat();
                    // Textures are uploaded first row first, at t = 0.
                    records[j].v = -ReadFloat();
                }
            } else {
                cursor = static_cast<int>(subEnd);
            }
        } else {
            cursor = static_cast<int>(subEnd);
        }
        if (failed) return nullptr;
    }

    if (!records.Present() || !indices.Present()) return nullptr;
    // An index at or past the vertex count would reach ComputeNormals and
    // glDrawElements as a read outside the arrays.
    for (size_t i = 0; i < faceCount * 3; ++i)
        if (indices[i] >= vertexCount) return nullptr;

    Object* object = KAVLO_NEW(Object, static_cast<int>(vertexCount), static_cast<int>(faceCount));
    if (name) object->SetName(name);
    for (size_t i = 0; i < vertexCount; ++i) {
        object->vertices[i].Set(records[i].x, records[i].y, records[i].z);
        object->texCoords[i].s = records[i].u;
        object->texCoords[i].t = records[i].v;
    }
    for (size_t f = 0; f < faceCount; ++f) {
        object->faces[f].a = indices[f * 3 + 0];
        object->faces[f].b = indices[f * 3 + 1];
        object->faces[f].c = indices[f * 3 + 2];
    }
    return object;
}

namespace {

void Summarize(const Object& object, MeshSummary3DS* summary) {
    summary->loaded = true;
    summary->vertexCount = object.vertexCount;
    summary->faceCount = object.faceCount;
    for (int i = 0; i < object.vertexCount; ++i) {
        const float p[3] = {object.vertices[i].x, object.vertices[i].y, object.vertices[i].z};
        for (int k = 0; k < 3; ++k) {
            if (i == 0 || p[k] < summary->min[k]) summary->min[k] = p[k];
            if (i == 0 || p[k] > summary->max[k]) summary->max[k] = p[k];
        }
    }
}

}  // namespace

Object* SceneLoad3DS::Search(const char* name, std::vector<MeshSummary3DS>* summaries) {
    failed = false;
    cursor = 0;
    mainEnd = 0;
    if (!buffer || size < kHeaderSize || size > static_cast<unsigned long>(INT_MAX)) {
        failed = true;
        return nullptr;
    }
    const unsigned mainId = ReadU16();
    const size_t mainLength = ReadU32();
    if (mainId != kChunkMain || mainLength < kHeaderSize || mainLength > size) {
        failed = true;
        return nullptr;
    }
    mainEnd = static_cast<int>(mainLength - kHeaderSize);

    while (cursor < mainEnd) {
        unsigned id;
        size_t editorEnd;
        if (!ReadChunkHeader(mainLength, &id, &editorEnd)) {
            failed = true;
            return nullptr;
        }
        if (id != kChunkEditor) {
            cursor = static_cast<int>(editorEnd);
            continue;
        }
        while (static_cast<size_t>(cursor) < editorEnd) {
            size_t objectEnd;
            if (!ReadChunkHeader(editorEnd, &id, &objectEnd)) {
                failed = true;
                return nullptr;
            }
            if (id != kChunkObject) {
                cursor = static_cast<int>(objectEnd);
                continue;
            }
            char storedName[kNameKept + 1];
            if (!ReadName(objectEnd, storedName)) {
                failed = true;
                return nullptr;
            }
            if (!summaries && name && !SameNameIgnoringCase(storedName, name)) {
                cursor = static_cast<int>(objectEnd);
                continue;
            }
            while (static_cast<size_t>(cursor) < objectEnd) {
                size_t subEnd;
                if (!ReadChunkHeader(objectEnd, &id, &subEnd)) {
                    failed = true;
                    return nullptr;
                }
                if (id != kChunkMesh) {
                    cursor = static_cast<int>(subEnd);
                    continue;
                }
                if (!summaries) return ParseMesh(subEnd, name);
                MeshSummary3DS summary;
                summary.name = storedName;
                Object* object = ParseMesh(subEnd, storedName);
                if (object) {
                    Summarize(*object, &summary);
                    KAVLO_DELETE(object);
                }
                summaries->push_back(summary);
                // A bad mesh spoils only its own block: the block's bounds were checked.
                failed = false;
                break;
            }
            cursor = static_cast<int>(objectEnd);
        }
    }
    return nullptr;
}

Object* SceneLoad3DS::ParseObject(const char* name) { return Search(name, nullptr); }

void LoadScene(SceneLoad3DS* scene, int count, const char* fileName, ...) {
    if (!scene) return;
    void* data = nullptr;
    unsigned long dataSize = 0;
    if (!ArchiveGetFile(&data, &dataSize, fileName, "megadata.rar", "")) return;
    // The archive reader hands the buffer over from malloc; nothing reads the file
    // again once the objects are built, so it goes back on every way out.
    std::unique_ptr<void, void (*)(void*)> owned(data, std::free);
    scene->buffer = static_cast<unsigned char*>(data);
    scene->size = dataSize;

    va_list names;
    va_start(names, fileName);
    for (int i = 0; i < count; ++i) {
        const char* name = va_arg(names, const char*);
        Object* object = scene->ParseObject(name);
        if (object) scene->Add(object);
    }
    va_end(names);

    scene->buffer = nullptr;
    scene->size = 0;
}

Object* Parse3DSObject(const unsigned char* data, size_t size, const char* name) {
    if (size > static_cast<size_t>(ULONG_MAX)) return nullptr;
    SceneLoad3DS reader;
    reader.buffer = const_cast<unsigned char*>(data);  // read only
    reader.size = static_cast<unsigned long>(size);
    Object* object = reader.ParseObject(name);
    reader.buffer = nullptr;
    return object;
}

bool Describe3DSMeshes(const unsigned char* data, size_t size, std::vector<MeshSummary3DS>* out) {
    if (!out || size > static_cast<size_t>(ULONG_MAX)) return false;
    SceneLoad3DS reader;
    reader.buffer = const_cast<unsigned char*>(data);  // read only
    reader.size = static_cast<unsigned long>(size);
    reader.Search(nullptr, out);
    reader.buffer = nullptr;
    return !reader.failed;
}

std::vector<std::string> List3DSObjectNames(const unsigned char* data, size_t size) {
    std::vector<MeshSummary3DS> meshes;
    Describe3DSMeshes(data, size, &meshes);
    std::vector<std::string> names;
    for (const MeshSummary3DS& m : meshes) names.push_back(m.name);
    return names;
}
