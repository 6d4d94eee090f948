// The engine's one vector type: positions, normals, camera vectors and object
// transforms, with in-place arithmetic.
#pragma once

#include <cmath>

// Exactly three packed floats and nothing else: arrays of Vector3 go to OpenGL as
// vertex arrays with stride 0.
class Vector3 {
public:
    float x, y, z;

    Vector3() : x(0.0f), y(0.0f), z(0.0f) {}
    Vector3(float px, float py, float pz) : x(px), y(py), z(pz) {}

    void Set(float px, float py, float pz) {
        x = px;
        y = py;
        z = pz;
    }
    void SetAll(float v) { x = y = z = v; }

    Vector3& operator+=(const Vector3& b) {
        x += b.x;
        y += b.y;
        z += b.z;
        return *this;
    }
    Vector3& operator-=(const Vector3& b) {
        x -= b.x;
        y -= b.y;
        z -= b.z;
        return *this;
    }
    Vector3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }

    // The squares are summed in extended precision before the root.
    float Length() const {
        long double lx = x, ly = y, lz = z;
        return static_cast<float>(std::sqrt(lx * lx + ly * ly + lz * lz));
    }

    // *this x b; *this is unchanged.
    Vector3 Cross(const Vector3& b) const {
        return Vector3(y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x);
    }

    // Scales by the reciprocal length. A zero vector is not special-cased: it turns
    // into not-a-number components, which callers rely on being harmless.
    void Normalize() {
        float inv = 1.0f / Length();
        x = inv * x;
        y = inv * y;
        z = inv * z;
    }
};

static_assert(sizeof(Vector3) == 12, "Vector3 arrays are handed to OpenGL with stride 0");
