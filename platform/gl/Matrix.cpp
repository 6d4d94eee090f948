// Matrix arithmetic in float, in the order GL 1.1 defines it, so that the layer's
// transforms round as the desktop driver's do.
#include "platform/gl/Matrix.h"

#include <cmath>

namespace platform::gl {

Mat4 Mat4::Identity() {
    Mat4 r {};
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
    return r;
}

Mat4 Mat4::FromDoubles(const double* values) {
    Mat4 r;
    for (int i = 0; i < 16; ++i) r.m[i] = static_cast<float>(values[i]);
    return r;
}

bool Mat4::IsIdentity() const {
    for (int i = 0; i < 16; ++i)
        if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
    return true;
}

Mat4 Multiply(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int row = 0; row < 4; ++row) {
        const float a0 = a.m[row], a1 = a.m[4 + row], a2 = a.m[8 + row], a3 = a.m[12 + row];
        for (int col = 0; col < 4; ++col) {
            const float* bc = &b.m[4 * col];
            r.m[4 * col + row] = a0 * bc[0] + a1 * bc[1] + a2 * bc[2] + a3 * bc[3];
        }
    }
    return r;
}

Mat4 Translation(float x, float y, float z) {
    Mat4 r = Mat4::Identity();
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

Mat4 Scaling(float x, float y, float z) {
    Mat4 r = Mat4::Identity();
    r.m[0] = x;
    r.m[5] = y;
    r.m[10] = z;
    return r;
}

Mat4 Rotation(float angle, float x, float y, float z) {
    const float radians = static_cast<float>(angle * 3.14159265358979323846 / 180.0);
    const float s = std::sin(radians), c = std::cos(radians);
    Mat4 r = Mat4::Identity();
    // About a coordinate axis the untouched entries stay exactly 0 and 1.
    if (x == 0.0f && y == 0.0f && z != 0.0f) {
        const float sz = z > 0 ? s : -s;
        r.m[0] = c, r.m[1] = sz, r.m[4] = -sz, r.m[5] = c;
        return r;
    }
    if (x == 0.0f && z == 0.0f && y != 0.0f) {
        const float sy = y > 0 ? s : -s;
        r.m[0] = c, r.m[2] = -sy, r.m[8] = sy, r.m[10] = c;
        return r;
    }
    if (y == 0.0f && z == 0.0f && x != 0.0f) {
        const float sx = x > 0 ? s : -s;
        r.m[5] = c, r.m[6] = sx, r.m[9] = -sx, r.m[10] = c;
        return r;
    }
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f) return r;
    x /= length, y /= length, z /= length;
    const float k = 1.0f - c;
    r.m[0] = k * x * x + c, r.m[4] = k * x * y - z * s, r.m[8] = k * z * x + y * s;
    r.m[1] = k * x * y + z * s, r.m[5] = k * y * y + c, r.m[9] = k * y * z - x * s;
    r.m[2] = k * z * x - y * s, r.m[6] = k * y * z + x * s, r.m[10] = k * z * z + c;
    return r;
}

void NormalMatrix(const Mat4& mv, float out[9]) {
    const float* m = mv.m;
    // The inverse transpose is the cofactor matrix over the determinant; with M(r, c) =
    // m[4c + r], cofactor (r, c) goes to out[3c + r].
    const float c00 = m[5] * m[10] - m[9] * m[6], c01 = m[9] * m[2] - m[1] * m[10],
                c02 = m[1] * m[6] - m[5] * m[2];
    const float det = m[0] * c00 + m[4] * c01 + m[8] * c02;
    if (det == 0.0f) {
        for (int i = 0; i < 9; ++i) out[i] = 0.0f;
        return;
    }
    const float inv = 1.0f / det;
    out[0] = c00 * inv;
    out[3] = c01 * inv;
    out[6] = c02 * inv;
    out[1] = (m[8] * m[6] - m[4] * m[10]) * inv;
    out[4] = (m[0] * m[10] - m[8] * m[2]) * inv;
    out[7] = (m[4] * m[2] - m[0] * m[6]) * inv;
    out[2] = (m[4] * m[9] - m[8] * m[5]) * inv;
    out[5] = (m[8] * m[1] - m[0] * m[9]) * inv;
    out[8] = (m[0] * m[5] - m[4] * m[1]) * inv;
}

void Transform(const Mat4& m, const float v[4], float out[4]) {
    for (int row = 0; row < 4; ++row)
        out[row] = m.m[row] * v[0] + m.m[4 + row] * v[1] + m.m[8 + row] * v[2] +
                   m.m[12 + row] * v[3];
}

bool Perspective(double fovy, double aspect, double zNear, double zFar, Mat4* out) {
    const double half = fovy / 2 * 3.14159265358979323846 / 180;
    const double depth = zFar - zNear, sine = std::sin(half);
    if (depth == 0 || sine == 0 || aspect == 0) return false;
    const double f = std::cos(half) / sine;
    double m[16] = {};
    m[0] = f / aspect;
    m[5] = f;
    m[10] = -(zFar + zNear) / depth;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / depth;
    *out = Mat4::FromDoubles(m);
    return true;
}

namespace {
void Normalize(float v[3]) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0f) return;
    v[0] /= length, v[1] /= length, v[2] /= length;
}
void Cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}
}  // namespace

Mat4 LookAt(double eyeX, double eyeY, double eyeZ, double centerX, double centerY,
            double centerZ, double upX, double upY, double upZ) {
    float forward[3] = {static_cast<float>(centerX - eyeX), static_cast<float>(centerY - eyeY),
                        static_cast<float>(centerZ - eyeZ)};
    const float up[3] = {static_cast<float>(upX), static_cast<float>(upY),
                         static_cast<float>(upZ)};
    Normalize(forward);
    // The side vector is normalised and up made perpendicular again, so the rotation stays
    // orthonormal where the given up is not perpendicular to the view.
    float side[3], trueUp[3];
    Cross(forward, up, side);
    Normalize(side);
    Cross(side, forward, trueUp);
    Mat4 r = Mat4::Identity();
    for (int i = 0; i < 3; ++i) {
        r.m[4 * i + 0] = side[i];
        r.m[4 * i + 1] = trueUp[i];
        r.m[4 * i + 2] = -forward[i];
    }
    return r;
}

}  // namespace platform::gl
