// The ES layer's own arithmetic, without a context: the normals' matrix and the way GL
// primitives become ES ones.
#include "platform/gl/Matrix.h"
#include "platform/gl/State.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace platform::gl;

TEST(LayerMathTest, NormalMatrixIsTheInverseTransposeOfTheUpperThreeByThree) {
    // Turned about a slanted axis and stretched unevenly, so that transposition and
    // scaling both show.
    const Mat4 m = Multiply(Rotation(37, 1, 2, 0.5f), Scaling(2, 0.5f, 3));
    float n[9];
    NormalMatrix(m, n);
    // N^T M = I for the upper 3 x 3: each column of N against each column of M.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            float dot = 0;
            for (int k = 0; k < 3; ++k) dot += n[3 * i + k] * m.m[4 * j + k];
            EXPECT_NEAR(dot, i == j ? 1.0f : 0.0f, 1e-5f) << i << "," << j;
        }
    // A normal of a face is carried to stay perpendicular to the face's edges.
    const float edge[4] = {1, -1, 0, 0}, normal[3] = {1, 1, 0};
    float e[4];
    Transform(m, edge, e);
    float nn[3];
    for (int r = 0; r < 3; ++r)
        nn[r] = n[r] * normal[0] + n[3 + r] * normal[1] + n[6 + r] * normal[2];
    EXPECT_NEAR(nn[0] * e[0] + nn[1] * e[1] + nn[2] * e[2], 0.0f, 1e-5f);
}

TEST(LayerMathTest, RotationsAboutAnAxisKeepTheAxisExactly) {
    const Mat4 z = Rotation(90, 0, 0, -2);  // a negative axis turns the other way
    EXPECT_EQ(z.m[10], 1.0f);
    EXPECT_EQ(z.m[2], 0.0f);
    EXPECT_NEAR(z.m[1], -1.0f, 1e-7f);
    const Mat4 general = Rotation(90, 0, 0.0001f, -2);
    EXPECT_NEAR(general.m[1], -1.0f, 1e-4f);
    EXPECT_TRUE(Rotation(30, 0, 0, 0).IsIdentity());
}

TEST(LayerMathTest, QuadsQuadStripsAndPolygonsBecomeEsPrimitives) {
    std::vector<GLuint> out;
    // Two quads, the second given by indices: each split into (0, 1, 3), (1, 2, 3); a
    // trailing incomplete quad is dropped.
    EXPECT_EQ(EsPrimitive(GL_QUADS, nullptr, 10, &out), static_cast<GLenum>(GL_TRIANGLES));
    EXPECT_EQ(out, (std::vector<GLuint> {0, 1, 3, 1, 2, 3, 4, 5, 7, 5, 6, 7}));
    const GLuint indices[4] = {9, 8, 7, 6};
    EsPrimitive(GL_QUADS, indices, 4, &out);
    EXPECT_EQ(out, (std::vector<GLuint> {9, 8, 6, 8, 7, 6}));
    EXPECT_EQ(EsPrimitive(GL_QUAD_STRIP, nullptr, 5, &out),
              static_cast<GLenum>(GL_TRIANGLE_STRIP));
    EXPECT_EQ(out, (std::vector<GLuint> {0, 1, 2, 3}));
    EXPECT_EQ(EsPrimitive(GL_POLYGON, nullptr, 5, &out), static_cast<GLenum>(GL_TRIANGLE_FAN));
    EXPECT_TRUE(out.empty());  // drawn in order
    EXPECT_EQ(EsPrimitive(GL_LINES, indices, 4, &out), static_cast<GLenum>(GL_LINES));
    EXPECT_EQ(out, (std::vector<GLuint> {9, 8, 7, 6}));
}

}  // namespace
