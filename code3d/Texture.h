// One OpenGL 2D texture object and the ways the demo draws with it: full-screen
// pictures, placed unit quads and additive fades.
#pragma once

#include <GL/gl.h>

// Owns one GL texture name for its lifetime. The name is never deleted (the demo
// never calls glDeleteTextures), so its image lives until the context goes away.
// Every call needs the current GL context; GL_TEXTURE_2D is enabled by the caller.
class Texture {
public:
    GLuint id = 0;

    // glGenTextures(1, &id), nothing else.
    Texture();
    virtual ~Texture();

    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    void Bind();
    void Unbind();

    // Uploads tightly packed rows (first row becomes t = 0) as level 0, with repeat
    // wrapping, linear filters and modulate mode. Leaves no texture bound and the
    // unpack alignment at 1.
    void UploadRGBA(const unsigned char* pixels, int width, int height);
    void UploadRGB(const unsigned char* pixels, int width, int height);

    // Draws the texture on a quad that fills a width x height viewport exactly at
    // z = 0 (first image row at the top). The aspect is the integer width / height,
    // so callers pass width >= height. Leaves the viewport and projection as set
    // here, the model-view matrix at identity, colour, blend and depth untouched.
    void DrawScreen(int width, int height, float z);

    // DrawScreen with the unit quad centred on (x, y, z) in front of the camera.
    void DrawAt(float x, float y, float z, int width, int height);

    // DrawScreen blended additively, scaled by alpha. Leaves the current colour at
    // (1, 1, 1, alpha) and GL_BLEND disabled.
    void DrawScreenBlended(int width, int height, float z, float alpha);

private:
    void Upload(const unsigned char* pixels, int width, int height, GLenum format);
    void DrawQuad(int width, int height, float x, float y, float z, float quadZ);
};
