// Material construction and setters.
#include "Material.h"

Material::Material() : billboardSize(1.0f), texture(nullptr), envTexture(nullptr) {
    for (int k = 0; k < MaterialKindCount; ++k) flags[k] = 0;
    for (int i = 0; i < 4; ++i) {
        color[i] = 1.0f;
        lineColor[i] = 1.0f;
    }
}

void Material::SetFlag(int kind) {
    if (kind >= 0 && kind < MaterialKindCount) flags[kind] = 1;
}

void Material::SetColor(float r, float g, float b, float a) {
    color[0] = r;
    color[1] = g;
    color[2] = b;
    color[3] = a;
}

void Material::SetLineColor(float r, float g, float b, float a) {
    lineColor[0] = r;
    lineColor[1] = g;
    lineColor[2] = b;
    lineColor[3] = a;
}

void Material::SetBillboardSize(float size) { billboardSize = size; }
void Material::SetTexture(Texture* t) { texture = t; }
void Material::SetEnvTexture(Texture* t) { envTexture = t; }
