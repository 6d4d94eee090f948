// Vector arithmetic, material flags, the vortex wave table and deformation.
#include <gtest/gtest.h>

#include <cmath>

#include "Material.h"
#include "ObjectVortex.h"
#include "Vector3.h"
#include "memory/MemoryTracker.h"

namespace {

TEST(Vector3, CrossIsRightHandedAndLeavesOperandsAlone) {
    Vector3 x(1, 0, 0), y(0, 1, 0);
    Vector3 z = x.Cross(y);
    EXPECT_EQ(z.x, 0.0f);
    EXPECT_EQ(z.y, 0.0f);
    EXPECT_EQ(z.z, 1.0f);
    EXPECT_EQ(x.x, 1.0f);  // unchanged
    Vector3 back = y.Cross(x);
    EXPECT_EQ(back.z, -1.0f);
    Vector3 a(2, 3, 4), b(5, 6, 7);
    Vector3 c = a.Cross(b);
    EXPECT_EQ(c.x, 3 * 7 - 4 * 6);
    EXPECT_EQ(c.y, 4 * 5 - 2 * 7);
    EXPECT_EQ(c.z, 2 * 6 - 3 * 5);
}

TEST(Vector3, LengthAndNormalize) {
    Vector3 v(3, 4, 0);
    EXPECT_EQ(v.Length(), 5.0f);
    v.Normalize();
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.y, 0.8f);
    EXPECT_EQ(v.z, 0.0f);
    // The squares must not overflow a float before the root is taken.
    Vector3 big(3e20f, 4e20f, 0);
    EXPECT_FLOAT_EQ(big.Length(), 5e20f);
}

TEST(Vector3, NormalizingZeroGivesNaNWithoutError) {
    Vector3 v;
    v.Normalize();
    EXPECT_TRUE(std::isnan(v.x));
    EXPECT_TRUE(std::isnan(v.y));
    EXPECT_TRUE(std::isnan(v.z));
}

TEST(Vector3, InPlaceArithmeticChains) {
    Vector3 v(1, 2, 3);
    (v += Vector3(1, 1, 1)) *= 2.0f;
    EXPECT_EQ(v.x, 4.0f);
    EXPECT_EQ(v.y, 6.0f);
    EXPECT_EQ(v.z, 8.0f);
    v -= Vector3(4, 6, 8);
    EXPECT_EQ(v.Length(), 0.0f);
    v.SetAll(7);
    EXPECT_EQ(v.y, 7.0f);
}

TEST(Material, DefaultsAndOutOfRangeFlags) {
    Material m;
    for (int k = 0; k < MaterialKindCount; ++k) EXPECT_EQ(m.flags[k], 0) << k;
    EXPECT_EQ(m.color[3], 1.0f);
    EXPECT_EQ(m.lineColor[0], 1.0f);
    EXPECT_EQ(m.billboardSize, 1.0f);
    EXPECT_EQ(m.texture, nullptr);
    EXPECT_EQ(m.envTexture, nullptr);
    m.SetFlag(12);
    m.SetFlag(-1);
    m.SetFlag(1000000);
    for (int k = 0; k < MaterialKindCount; ++k) EXPECT_EQ(m.flags[k], 0) << k;
    m.SetFlag(MaterialNoCull);
    EXPECT_EQ(m.flags[11], 1);
    EXPECT_FALSE(m.IsBlended());
    m.SetFlag(MaterialBlendAdditive);
    EXPECT_TRUE(m.IsBlended());
}

// A one-vertex-per-call source mesh for the vortex tests.
Object* PointsObject(std::initializer_list<Vector3> points) {
    Object* o = KAVLO_NEW(Object, int(points.size()), 0);
    int i = 0;
    for (const Vector3& p : points) o->vertices[i++] = p;
    return o;
}

TEST(ObjectVortex, WaveTableHasAmplitudeTwoAndTheShortStep) {
    Object* source = PointsObject({Vector3(1, 0, 0)});
    ObjectVortex* v = KAVLO_NEW(ObjectVortex, *source);
    EXPECT_EQ(v->waveTable[0], 0.0f);
    EXPECT_EQ(v->waveTable[1024], 2.0f);
    EXPECT_FLOAT_EQ(v->waveTable[1], float(2 * std::sin(0.0061357421875)));
    EXPECT_FLOAT_EQ(v->waveTable[1024 + 256], float(2 * std::cos(256 * 0.0061357421875)));
    // The step is just under 2 pi / 1024, so a quarter turn falls a little short and
    // its cosine stays positive.
    EXPECT_GT(v->waveTable[1024 + 256], 0.0f);
    EXPECT_LT(v->waveTable[1024 + 256], 1e-3f);
    KAVLO_DELETE(v);
    KAVLO_DELETE(source);
}

TEST(ObjectVortex, DeformsTheWorkedVertexAndKeepsTheOrigin) {
    Object* source = PointsObject({Vector3(0, 0, 0), Vector3(1, 0, 0)});
    source->SetName("Vortex01");
    ObjectVortex* v = KAVLO_NEW(ObjectVortex, *source);
    EXPECT_TRUE(v->HasName("Vortex01"));
    v->Deform();
    EXPECT_EQ(v->vertices[0].x, 0.0f);
    EXPECT_EQ(v->vertices[0].y, 0.0f);
    EXPECT_EQ(v->vertices[0].z, 0.0f);

    // r = 1, k0 = 1, m = 1, so every angle index is 1.
    const double s = v->waveTable[1], c = v->waveTable[1025];
    const double x1 = float(c), z1 = s, y1 = float(-x1 * s);
    EXPECT_FLOAT_EQ(v->vertices[1].x, float(x1 * c));
    EXPECT_FLOAT_EQ(v->vertices[1].y, float(y1 * c + z1 * s));
    EXPECT_FLOAT_EQ(v->vertices[1].z, float(z1 * c - y1 * s));
    // The source keeps its rest shape.
    EXPECT_EQ(source->vertices[1].x, 1.0f);
    KAVLO_DELETE(v);
    KAVLO_DELETE(source);
}

TEST(ObjectVortex, DeformStartsFromTheRestShapeEveryTime) {
    Object* source = PointsObject({Vector3(3, -2, 5), Vector3(-7, 1, 0.5f)});
    ObjectVortex* v = KAVLO_NEW(ObjectVortex, *source);
    v->SetTwist(0.3f, -1.7f, 2.2f);
    v->Deform();
    const Vector3 first[2] = {v->vertices[0], v->vertices[1]};
    v->Deform();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(v->vertices[i].x, first[i].x);
        EXPECT_EQ(v->vertices[i].y, first[i].y);
        EXPECT_EQ(v->vertices[i].z, first[i].z);
    }
    EXPECT_EQ(v->restVertices[0].x, 3.0f);
    KAVLO_DELETE(v);
    KAVLO_DELETE(source);
}

TEST(ObjectVortex, NegativeAndHugeTwistsStayInsideTheTable) {
    // int(-0.25 * 60) = -15 masks to 1009, the same index as int(16.82 * 60) = 1009.
    Object* source = PointsObject({Vector3(0.5f, 0.25f, -1)});
    ObjectVortex* a = KAVLO_NEW(ObjectVortex, *source);
    ObjectVortex* b = KAVLO_NEW(ObjectVortex, *source);
    a->SetTwist(0, -0.25f, 0);
    b->SetTwist(0, 16.82f, 0);
    a->Deform();
    b->Deform();
    EXPECT_EQ(a->vertices[0].x, b->vertices[0].x);
    EXPECT_EQ(a->vertices[0].z, b->vertices[0].z);
    // Far outside the int range, and not a number: defined results, no crash.
    a->SetTwist(1e30f, -1e30f, NAN);
    a->Deform();
    EXPECT_TRUE(std::isfinite(a->vertices[0].x));
    KAVLO_DELETE(a);
    KAVLO_DELETE(b);
    KAVLO_DELETE(source);
}

TEST(ObjectVortex, ReleasesEverythingItAllocated) {
    Object* source = PointsObject({Vector3(1, 2, 3)});
    const unsigned before = MemoryTracker::LiveUnitCount();
    ObjectVortex* v = KAVLO_NEW(ObjectVortex, *source);
    v->Setup();  // a second set-up must not leak the first table
    KAVLO_DELETE(v);
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
    KAVLO_DELETE(source);
}

}  // namespace
