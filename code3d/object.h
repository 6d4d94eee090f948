// One triangle mesh with its placement, name and borrowed material, and every way
// the engine draws it.
#pragma once

#include "Vector3.h"

class Material;

// One texture coordinate pair; packed, handed to OpenGL with stride 0.
struct TexCoord {
    float s, t;
};

// One triangle as three vertex indices; packed, handed to glDrawElements.
struct Face {
    unsigned int a, b, c;
};

static_assert(sizeof(TexCoord) == 8, "texture coordinates are drawn with stride 0");
static_assert(sizeof(Face) == 12, "faces are drawn as GL_UNSIGNED_INT triples");

// Owns its five arrays (tracked new[]); the material is borrowed. Effects read and
// write the arrays and counts directly between frames. Every drawing slot is
// virtual so a derived mesh may replace a pass. A pass whose texture the material
// lacks draws nothing rather than dereferencing null.
class Object {
public:
    Vector3* normals;
    Vector3* vertices;
    TexCoord* texCoords;
    int vertexCount;
    Face* faces;
    int faceCount;
    Vector3* faceNormals;
    Material* material;
    Vector3 rotation;  // degrees about x, y, z
    Vector3 position;
    Vector3 scale;
    char name[256];

    // No arrays, zero transform, no material, empty name.
    Object();
    // Object() followed by Allocate.
    Object(int vertexCount, int faceCount);
    virtual ~Object();

    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Full draw. Without a material: no GL call at all. Otherwise leaves the matrix
    // stack as found, GL_CULL_FACE disabled, blending and alpha test off and depth
    // writes on; the current colour is whatever the last pass set.
    virtual void Render();
    // Vertex-array triangles with material->texture; leaves vertex and texture
    // coordinate arrays enabled.
    virtual void DrawTextured();
    // Sphere-mapped with material->envTexture (needs valid normals); texture
    // generation is off again afterwards.
    virtual void DrawEnvMapped();
    // texture on unit 0 and envTexture sphere-mapped on unit 1, one draw. Leaves unit
    // 0 active; unit 1 disabled but still bound to envTexture; the base texture's
    // filters switched to GL_NEAREST for good.
    virtual void DrawMultitextured();
    // One camera-facing quad of material->texture at every vertex; colour left white.
    virtual void DrawBillboards();
    // Lit immediate-mode triangles in material->color; lighting off afterwards but
    // GL_LIGHT0 left enabled.
    virtual void DrawLit();
    // Triangle edges as lines; material->lineColor stays the current colour.
    virtual void DrawWireframe();

    // Resets the transform and gives the object fresh zeroed arrays of these sizes
    // (faces uninitialised). Arrays held before are released first.
    void Allocate(int vertexCount, int faceCount);
    // Takes the geometry, name and material of source; reallocates (resetting the
    // transform) only when the counts differ. Face normals and transform are not
    // copied.
    void CopyFrom(const Object& source);

    void SetPosition(float x, float y, float z) { position.Set(x, y, z); }
    void SetRotation(float x, float y, float z) { rotation.Set(x, y, z); }
    void SetScale(float s) { scale.SetAll(s); }
    void SetMaterial(Material* m) { material = m; }
    // Copies at most 255 characters; a longer name is cut there.
    void SetName(const char* newName);
    // Exact, case-sensitive comparison.
    bool HasName(const char* other) const;

    // Unit normal per face from its edges; a degenerate face gets not-a-number.
    void ComputeFaceNormals();
    // Face normals summed at each vertex and normalised; vertices used by no face
    // become not-a-number.
    void ComputeNormals();
    // Shared vertex-array draw of the sphere-mapped passes: vertex, texture
    // coordinate and normal arrays enabled (and left so), colour array disabled.
    void DrawArrays();

private:
    void Release();
    // Effects write faces directly; the immediate-mode passes and the normals skip a
    // face whose index lies past the vertex array instead of reading or writing there.
    bool FaceInRange(const Face& face) const;
};
