// Camera set-up and the Begin/End bracket around an effect's 3D drawing.
#include "Camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "scene.h"

namespace {
// The near plane is the single-precision 0.1, widened.
const double kNearPlane = static_cast<double>(0.1f);
}  // namespace

Camera::Camera()
    : viewportWidth(0.0f),
      viewportHeight(0.0f),
      fieldOfView(0.0f),
      farPlane(0.0f),
      fogEnabled(0),
      depthTest(0),
      fogStart(0.0f),
      fogEnd(0.0f),
      fogColor{0.0f, 0.0f, 0.0f, 0.0f} {}

void Camera::SetViewport(float width, float height) {
    viewportWidth = width;
    viewportHeight = height;
}

void Camera::SetFog(float start, float end, float r, float g, float b, float a) {
    fogStart = start;
    fogEnd = end;
    fogColor[0] = r;
    fogColor[1] = g;
    fogColor[2] = b;
    fogColor[3] = a;
    fogEnabled = 1;
}

void Camera::SetLookAt(float ex, float ey, float ez, float tx, float ty, float tz, float ux,
                       float uy, float uz) {
    SetVectors(Vector3(ex, ey, ez), Vector3(tx, ty, tz), Vector3(ux, uy, uz));
}

void Camera::SetVectors(const Vector3& newEye, const Vector3& newTarget, const Vector3& newUp) {
    eye = newEye;
    target = newTarget;
    up = newUp;
}

void Camera::Begin() {
    glViewport(0, 0, static_cast<GLsizei>(viewportWidth), static_cast<GLsizei>(viewportHeight));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A floating-point aspect, unlike the integer one of the screen quads.
    gluPerspective(fieldOfView, viewportWidth / viewportHeight, kNearPlane, farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (depthTest) glEnable(GL_DEPTH_TEST);
    if (fogEnabled) {
        glFogf(GL_FOG_START, fogStart);
        glFogf(GL_FOG_END, fogEnd);
        glFogf(GL_FOG_MODE, 9729.0f);
        glFogfv(GL_FOG_COLOR, fogColor);
        glEnable(GL_FOG);
    }
    glPushMatrix();
    gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, up.x, up.y, up.z);
    glPushMatrix();
}

void Camera::End() {
    glPopMatrix();
    glPopMatrix();
    if (fogEnabled) glDisable(GL_FOG);
    if (depthTest) glDisable(GL_DEPTH_TEST);
}

void Camera::RenderScene(Scene* scene) {
    Begin();
    if (scene) scene->Render();
    End();
}
