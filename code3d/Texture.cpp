// OpenGL texture upload and the screen-quad draws shared by every picture.
#include "Texture.h"

#include <GL/glu.h>

Texture::Texture() { glGenTextures(1, &id); }

Texture::~Texture() {}

void Texture::Bind() { glBindTexture(GL_TEXTURE_2D, id); }

void Texture::Unbind() { glBindTexture(GL_TEXTURE_2D, 0); }

void Texture::UploadRGBA(const unsigned char* pixels, int width, int height) {
    Upload(pixels, width, height, GL_RGBA);
}

void Texture::UploadRGB(const unsigned char* pixels, int width, int height) {
    Upload(pixels, width, height, GL_RGB);
}

void Texture::Upload(const unsigned char* pixels, int width, int height, GLenum format) {
    Bind();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Only level 0 is uploaded, so the minification filter must not want mipmaps.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, format,
                 GL_UNSIGNED_BYTE, pixels);
    Unbind();
}

// Shared body of DrawScreen and DrawAt: (x, y, z) is the model-view translation,
// quadZ the depth of the quad's vertices around it.
void Texture::DrawQuad(int width, int height, float x, float y, float z, float quadZ) {
    Bind();
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Integer aspect on purpose: 800 x 600 gives 1, and with fovy 90 the quad at
    // distance 1 then covers the viewport exactly. A zero height gives aspect 0 (GLU
    // then leaves the projection at identity) instead of dividing by zero.
    const double aspect = height != 0 ? static_cast<double>(width / height) : 0.0;
    gluPerspective(90.0, aspect, static_cast<double>(0.1f), 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(x, y, z);
    glBegin(GL_QUADS);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, 1.0f, quadZ);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, 1.0f, quadZ);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-1.0f, -1.0f, quadZ);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, -1.0f, quadZ);
    glEnd();
    glPopMatrix();
    Unbind();
}

void Texture::DrawScreen(int width, int height, float z) {
    DrawQuad(width, height, 0.0f, 0.0f, -1.0f, z);
}

void Texture::DrawAt(float x, float y, float z, int width, int height) {
    DrawQuad(width, height, x, y, z, 0.0f);
}

void Texture::DrawScreenBlended(int width, int height, float z, float alpha) {
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    DrawScreen(width, height, z);
    glDisable(GL_BLEND);
}
