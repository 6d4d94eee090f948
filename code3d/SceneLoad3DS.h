// Reads named triangle meshes out of a 3DS file held in memory, and LoadScene, which
// fetches that file from the data archive first.
//
// Limits: 16-bit counts (at most 65 535 vertices and faces per mesh); object names
// keep their first 64 characters; files of 2 GiB or more are refused. Every read goes
// through one bounds-checked cursor: a chunk, count or read that runs past its chunk or
// the data, or a face index at or past the vertex count, makes the parse return null.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "scene.h"

class Object;

// What the loader reads for one object block that holds a triangle mesh, in file
// order. `loaded` is false when the loader would give null for that mesh (no vertex or
// face list, or bad data inside it); counts and bounds are then zero. The bounds are
// over all vertices, after the loader's flip of z.
struct MeshSummary3DS {
    std::string name;  // as stored, at most 64 characters
    bool loaded = false;
    int vertexCount = 0;
    int faceCount = 0;
    float min[3] = {0, 0, 0};
    float max[3] = {0, 0, 0};
};

class SceneLoad3DS : public Scene {
public:
    // The file's bytes. Borrowed while parsing; LoadScene releases its archive buffer
    // (free) once every name is parsed and leaves these null again. A caller that sets
    // them itself keeps ownership.
    unsigned char* buffer;
    unsigned long size;
    int mainEnd;  // the main chunk's length minus 6
    int cursor;   // offset of the next byte to read

    SceneLoad3DS();
    ~SceneLoad3DS() override;

    // Little-endian reads at `cursor`, advancing it. A read past `size` yields 0,
    // leaves the cursor where it was and marks the parse failed.
    unsigned ReadU16();
    unsigned ReadU32();
    float ReadFloat();

    // Parses `buffer` from its start for the first object block called `name` (ASCII
    // case ignored) that holds a triangle mesh; a null name takes the first mesh and
    // leaves its name empty. Returns a new Object (tracked new; the caller deletes it)
    // named as the caller spelled it, with (x, y, -z) positions, (u, -v) coordinates
    // and zero normals; or null.
    Object* ParseObject(const char* name);

private:
    friend bool Describe3DSMeshes(const unsigned char*, size_t, std::vector<MeshSummary3DS>*);

    // Walks the chunk tree. With `summaries` null, returns the mesh of the first block
    // matching `name`; otherwise records every mesh block there and returns null.
    Object* Search(const char* name, std::vector<MeshSummary3DS>* summaries);
    // Reads a chunk header that must lie, with the chunk it announces, before
    // parentEnd; gives the chunk's id and end.
    bool ReadChunkHeader(size_t parentEnd, unsigned* id, size_t* end);
    // Reads a zero-terminated name that must end before `end`, keeping 64 characters.
    bool ReadName(size_t end, char* out);
    // Reads one triangle-mesh chunk's lists into a new Object, or null.
    Object* ParseMesh(size_t meshEnd, const char* name);
    // True when `bytes` more bytes lie between the cursor and `end`.
    bool Fits(size_t bytes, size_t end) const;

    bool failed;
};

// Fetches fileName from "megadata.rar" and appends one object per name that matches a
// mesh (names that match nothing add nothing). The archive buffer is released before
// returning. A missing file leaves the scene empty.
void LoadScene(SceneLoad3DS* scene, int count, const char* fileName, ...);

// ---- In-memory helpers for tools, tests and the fuzzer (no archive involved) ----

// ParseObject on a caller's buffer, which stays the caller's.
Object* Parse3DSObject(const unsigned char* data, size_t size, const char* name);

// Summaries of every object block with a triangle mesh, in file order. False when the
// file itself is unreadable (no 3DS main chunk, or a chunk outside its parent or the
// data); the blocks read up to that point are still in *out.
bool Describe3DSMeshes(const unsigned char* data, size_t size, std::vector<MeshSummary3DS>* out);

// Names of the object blocks holding a triangle mesh, in file order, as stored.
std::vector<std::string> List3DSObjectNames(const unsigned char* data, size_t size);
