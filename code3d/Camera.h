// One effect's 3D view: viewport, perspective, look-at, and optional depth test and
// linear fog switched on for the drawing between Begin and End.
#pragma once

#include "Vector3.h"

class Scene;

class Camera {
public:
    Vector3 eye;
    Vector3 target;
    Vector3 up;
    float viewportWidth;
    float viewportHeight;
    float fieldOfView;  // vertical, degrees
    float farPlane;
    unsigned char fogEnabled;
    unsigned char depthTest;
    float fogStart;
    float fogEnd;
    float fogColor[4];

    // Zero vectors, sizes and planes; fog and depth test off. The zero up vector is
    // degenerate: SetLookAt before the first Begin.
    Camera();

    void EnableDepthTest() { depthTest = 1; }
    void DisableDepthTest() { depthTest = 0; }
    void SetViewport(float width, float height);
    void SetFieldOfView(float degrees) { fieldOfView = degrees; }
    void SetFarPlane(float distance) { farPlane = distance; }
    // Stores the fog and turns it on for good.
    void SetFog(float start, float end, float r, float g, float b, float a);
    void SetLookAt(float ex, float ey, float ez, float tx, float ty, float tz, float ux,
                   float uy, float uz);
    void SetVectors(const Vector3& newEye, const Vector3& newTarget, const Vector3& newUp);

    // Sets viewport and projection (left so afterwards), loads the view matrix and
    // pushes it twice, turns on depth test and fog if this camera has them.
    void Begin();
    // Pops the two matrices; turns fog and depth test off again if this camera turned
    // them on. A capability the camera does not use is left as found.
    void End();
    // Begin, the scene's two-pass draw, End.
    void RenderScene(Scene* scene);
};
