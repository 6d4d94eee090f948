// The fixed-function matrices in float, column-major as GL keeps them, and GLU's two
// camera matrices.
#pragma once

namespace platform::gl {

struct Mat4 {
    float m[16];
    static Mat4 Identity();
    static Mat4 FromDoubles(const double* values);
    bool IsIdentity() const;
};

// a * b: b applies first.
Mat4 Multiply(const Mat4& a, const Mat4& b);
Mat4 Translation(float x, float y, float z);
Mat4 Scaling(float x, float y, float z);
// A rotation of angle degrees about (x, y, z); identity for a zero axis.
Mat4 Rotation(float angle, float x, float y, float z);
// The inverse transpose of the upper 3 x 3 (the normals' matrix), column-major; the
// zero matrix where that part is singular.
void NormalMatrix(const Mat4& modelview, float out[9]);
// out = m * v.
void Transform(const Mat4& m, const float v[4], float out[4]);

// gluPerspective's matrix; false (and nothing to multiply) for a zero aspect, depth
// range or angle, as GLU leaves the matrix alone there.
bool Perspective(double fovy, double aspect, double zNear, double zFar, Mat4* out);
// gluLookAt's rotation; the caller then translates by -eye, as GLU multiplies twice.
Mat4 LookAt(double eyeX, double eyeY, double eyeZ, double centerX, double centerY,
            double centerZ, double upX, double upY, double upZ);

}  // namespace platform::gl
