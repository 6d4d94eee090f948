// How an Object draws itself: which passes run, the blend, alpha-test and culling
// state around them, the colours and the borrowed textures.
#pragma once

class Texture;

// Flag kinds: the index into Material::flags and the argument of SetFlag.
enum MaterialKind {
    MaterialTextured = 0,
    MaterialEnvMapped = 1,
    MaterialWireframe = 2,
    MaterialBillboards = 3,
    MaterialLit = 4,
    MaterialBlend = 5,
    MaterialBlendAdditive = 6,
    MaterialAlphaTest = 7,
    MaterialAdditive = 8,
    MaterialCullFront = 9,
    MaterialCullBack = 10,
    MaterialNoCull = 11,
    MaterialKindCount = 12
};

// Built by hand by the effects; never read from files. The textures are borrowed:
// the effect that created them deletes them. Kinds 0, 1 and 3 need their texture set
// before the object draws, since the passes use it unchecked.
class Material {
public:
    unsigned char flags[MaterialKindCount];
    float color[4];
    float lineColor[4];
    float billboardSize;
    Texture* texture;
    Texture* envTexture;

    // No flags, white colours, billboard size 1, no textures.
    Material();

    // Turns on one kind, 0 to 11; any other number is ignored. Flags are never cleared.
    void SetFlag(int kind);
    bool HasFlag(int kind) const {
        return kind >= 0 && kind < MaterialKindCount && flags[kind] != 0;
    }
    // True for kinds 5 and 6, which a scene draws after everything else.
    bool IsBlended() const { return flags[MaterialBlend] || flags[MaterialBlendAdditive]; }

    void SetColor(float r, float g, float b, float a);
    void SetLineColor(float r, float g, float b, float a);
    void SetBillboardSize(float size);
    void SetTexture(Texture* t);
    void SetEnvTexture(Texture* t);
};
