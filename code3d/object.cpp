// Triangle mesh storage, normals and the drawing passes chosen by the material.
#include "object.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "Material.h"
#include "Texture.h"
#include "platform/gl/Extensions.h"
#include "memory/MemoryTracker.h"

Object::Object()
    : normals(nullptr),
      vertices(nullptr),
      texCoords(nullptr),
      vertexCount(0),
      faces(nullptr),
      faceCount(0),
      faceNormals(nullptr),
      material(nullptr) {
    name[0] = '\0';
}

Object::Object(int vertexCount, int faceCount) : Object() { Allocate(vertexCount, faceCount); }

Object::~Object() { Release(); }

void Object::Release() {
    if (normals) KAVLO_DELETE_ARRAY(normals);
    if (vertices) KAVLO_DELETE_ARRAY(vertices);
    if (texCoords) KAVLO_DELETE_ARRAY(texCoords);
    if (faces) KAVLO_DELETE_ARRAY(faces);
    if (faceNormals) KAVLO_DELETE_ARRAY(faceNormals);
    normals = nullptr;
    vertices = nullptr;
    texCoords = nullptr;
    faces = nullptr;
    faceNormals = nullptr;
}

void Object::Allocate(int newVertexCount, int newFaceCount) {
    // Reallocating over live arrays would leak them (CopyFrom does exactly that when
    // the counts change).
    Release();
    if (newVertexCount < 0) newVertexCount = 0;
    if (newFaceCount < 0) newFaceCount = 0;
    SetRotation(0, 0, 0);
    SetScale(1.0f);
    SetPosition(0, 0, 0);
    normals = KAVLO_NEW_ARRAY(Vector3, newVertexCount);
    vertices = KAVLO_NEW_ARRAY(Vector3, newVertexCount);
    vertexCount = newVertexCount;
    texCoords = KAVLO_NEW_ARRAY(TexCoord, newVertexCount);
    for (int i = 0; i < newVertexCount; ++i) texCoords[i] = TexCoord{0.0f, 0.0f};
    faces = KAVLO_NEW_ARRAY(Face, newFaceCount);
    // Zeroed rather than left to the allocator's fill, so a face never set by the
    // caller still indexes a real vertex.
    for (int i = 0; i < newFaceCount; ++i) faces[i] = Face{0, 0, 0};
    faceNormals = KAVLO_NEW_ARRAY(Vector3, newFaceCount);
    faceCount = newFaceCount;
}

void Object::CopyFrom(const Object& source) {
    if (&source == this) return;
    if (source.vertexCount != vertexCount || source.faceCount != faceCount)
        Allocate(source.vertexCount, source.faceCount);
    SetName(source.name);
    if (vertexCount > 0) {
        std::memcpy(vertices, source.vertices, sizeof(Vector3) * vertexCount);
        std::memcpy(texCoords, source.texCoords, sizeof(TexCoord) * vertexCount);
        std::memcpy(normals, source.normals, sizeof(Vector3) * vertexCount);
    }
    if (faceCount > 0) std::memcpy(faces, source.faces, sizeof(Face) * faceCount);
    material = source.material;
}

void Object::SetName(const char* newName) {
    if (!newName) {
        name[0] = '\0';
        return;
    }
    size_t n = std::strlen(newName);
    if (n > sizeof(name) - 1) n = sizeof(name) - 1;
    std::memcpy(name, newName, n);
    name[n] = '\0';
}

bool Object::FaceInRange(const Face& face) const {
    const unsigned n = vertexCount > 0 ? unsigned(vertexCount) : 0u;
    return face.a < n && face.b < n && face.c < n;
}

bool Object::HasName(const char* other) const {
    return other != nullptr && std::strcmp(name, other) == 0;
}

void Object::ComputeFaceNormals() {
    for (int f = 0; f < faceCount; ++f) {
        const Face& face = faces[f];
        if (!FaceInRange(face)) continue;
        Vector3 e1 = vertices[face.a];
        e1 -= vertices[face.b];
        Vector3 e2 = vertices[face.c];
        e2 -= vertices[face.a];
        Vector3 n = e1.Cross(e2);
        n.Normalize();
        faceNormals[f] = n;
    }
}

void Object::ComputeNormals() {
    ComputeFaceNormals();
    for (int i = 0; i < vertexCount; ++i) normals[i].SetAll(0.0f);
    for (int f = 0; f < faceCount; ++f) {
        const Face& face = faces[f];
        if (!FaceInRange(face)) continue;
        normals[face.a] += faceNormals[f];
        normals[face.b] += faceNormals[f];
        normals[face.c] += faceNormals[f];
    }
    for (int i = 0; i < vertexCount; ++i) normals[i].Normalize();
}

void Object::Render() {
    if (!material) return;
    const unsigned char* f = material->flags;

    glEnable(GL_CULL_FACE);
    if (f[MaterialCullFront]) glCullFace(GL_FRONT);
    if (f[MaterialCullBack]) glCullFace(GL_BACK);
    if (f[MaterialNoCull]) glDisable(GL_CULL_FACE);

    // Scale first, then z, y and x rotations, then the translation.
    glPushMatrix();
    glTranslatef(position.x, position.y, position.z);
    glPushMatrix();
    glRotatef(rotation.x, 1, 0, 0);
    glPushMatrix();
    glRotatef(rotation.y, 0, 1, 0);
    glPushMatrix();
    glRotatef(rotation.z, 0, 0, 1);
    glPushMatrix();
    glPushMatrix();
    glScalef(scale.x, scale.y, scale.z);

    if (f[MaterialAdditive]) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
    }
    if (f[MaterialAlphaTest]) {
        glAlphaFunc(GL_GREATER, 0.5f);
        glEnable(GL_ALPHA_TEST);
    }
    const bool blended = f[MaterialBlend] || f[MaterialBlendAdditive];
    if (blended) {
        glDepthMask(GL_FALSE);
        glEnable(GL_BLEND);
        if (f[MaterialBlendAdditive])
            glBlendFunc(GL_ONE, GL_ONE);
        else
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }

    if (f[MaterialWireframe]) DrawWireframe();
    if (f[MaterialLit]) DrawLit();
    if (f[MaterialTextured] && f[MaterialEnvMapped])
        DrawMultitextured();
    else if (f[MaterialEnvMapped])
        DrawEnvMapped();
    else if (f[MaterialTextured])
        DrawTextured();
    if (f[MaterialBillboards]) DrawBillboards();

    if (blended) {
        glDisable(GL_BLEND);
        glDepthMask(GL_TRUE);
    }
    if (f[MaterialAlphaTest]) glDisable(GL_ALPHA_TEST);
    if (f[MaterialAdditive]) glDisable(GL_BLEND);

    for (int i = 0; i < 6; ++i) glPopMatrix();
    glDisable(GL_CULL_FACE);
}

void Object::DrawTextured() {
    if (!material->texture) return;
    material->texture->Bind();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glDrawElements(GL_TRIANGLES, faceCount * 3, GL_UNSIGNED_INT, faces);
    material->texture->Unbind();
}

void Object::DrawArrays() {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    glNormalPointer(GL_FLOAT, 0, normals);
    glDrawElements(GL_TRIANGLES, faceCount * 3, GL_UNSIGNED_INT, faces);
}

void Object::DrawEnvMapped() {
    if (!material->envTexture) return;
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_T);
    material->envTexture->Bind();
    DrawArrays();
    material->envTexture->Unbind();
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}

void Object::DrawMultitextured() {
    // The entry point comes from GLWindow::LoadExtensions at start-up; without it there
    // is no second unit to draw with.
    PFNGLACTIVETEXTUREARBPROC activeTexture = GLWindow::ActiveTextureARB;
    if (!activeTexture || !material->texture || !material->envTexture) return;

    activeTexture(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    material->texture->Bind();
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, 9728.0f);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, 9728.0f);

    activeTexture(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    material->envTexture->Bind();
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_T);

    DrawArrays();

    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_S);
    activeTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    activeTexture(GL_TEXTURE0_ARB);
    material->texture->Unbind();
}

void Object::DrawBillboards() {
    if (!material->texture) return;
    material->texture->Bind();
    const float s = material->billboardSize;
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    // The view's x and y axes expressed in object space, so each quad faces the eye.
    Vector3 r(m[0], m[4], m[8]);
    r *= s;
    Vector3 u(m[1], m[5], m[9]);
    u *= s;
    glBegin(GL_QUADS);
    for (int i = 0; i < vertexCount; ++i) {
        const Vector3& p = vertices[i];
        glColor4f(1, 1, 1, 1);
        glTexCoord2f(0, 0);
        glVertex3f(p.x - r.x - u.x, p.y - r.y - u.y, p.z - r.z - u.z);
        glTexCoord2f(1, 0);
        glVertex3f(p.x + r.x - u.x, p.y + r.y - u.y, p.z + r.z - u.z);
        glTexCoord2f(1, 1);
        glVertex3f(p.x + r.x + u.x, p.y + r.y + u.y, p.z + r.z + u.z);
        glTexCoord2f(0, 1);
        glVertex3f(p.x - r.x + u.x, p.y - r.y + u.y, p.z - r.z + u.z);
    }
    glEnd();
    material->texture->Unbind();
}

void Object::DrawLit() {
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LIGHT0);
    // A positional light at the object's own origin (w = 1); a zero direction with
    // w = 0 would be undefined.
    const GLfloat lightPosition[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glColor4f(material->color[0], material->color[1], material->color[2], material->color[3]);
    glBegin(GL_TRIANGLES);
    for (int f = 0; f < faceCount; ++f) {
        if (!FaceInRange(faces[f])) continue;
        const unsigned int idx[3] = {faces[f].a, faces[f].b, faces[f].c};
        for (unsigned int k : idx) {
            const Vector3& p = vertices[k];
            // The position scaled by its own length, deliberately not normalised.
            const float len = p.Length();
            glNormal3f(len * p.x, len * p.y, len * p.z);
            glVertex3f(p.x, p.y, p.z);
        }
    }
    glEnd();
    glDisable(GL_LIGHTING);
}

void Object::DrawWireframe() {
    glColor4f(material->lineColor[0], material->lineColor[1], material->lineColor[2],
              material->lineColor[3]);
    glBegin(GL_LINES);
    for (int f = 0; f < faceCount; ++f) {
        const Face& face = faces[f];
        if (!FaceInRange(face)) continue;
        const Vector3& a = vertices[face.a];
        const Vector3& b = vertices[face.b];
        const Vector3& c = vertices[face.c];
        glVertex3f(a.x, a.y, a.z);
        glVertex3f(b.x, b.y, b.z);
        glVertex3f(b.x, b.y, b.z);
        glVertex3f(c.x, c.y, c.z);
        glVertex3f(c.x, c.y, c.z);
        glVertex3f(a.x, a.y, a.z);
    }
    glEnd();
}
