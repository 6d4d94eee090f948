// Object copying and naming, scene lookup and the two-pass draw order.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Material.h"
#include "memory/MemoryTracker.h"
#include "object.h"
#include "scene.h"

namespace {

std::vector<std::string> drawLog;

// Records its draw instead of issuing GL calls.
class LoggingObject : public Object {
public:
    explicit LoggingObject(const char* n) { SetName(n); }
    void Render() override { drawLog.push_back(name); }
};

TEST(Object, CopyWithEqualCountsKeepsTheTransform) {
    Object* source = KAVLO_NEW(Object, 3, 1);
    source->SetName("Box01");
    source->vertices[2].Set(1, 2, 3);
    source->texCoords[1].t = 0.5f;
    source->normals[0].Set(0, 1, 0);
    source->faces[0] = Face{2, 1, 0};
    source->faceNormals[0].Set(9, 9, 9);
    Material m;
    source->SetMaterial(&m);

    Object* target = KAVLO_NEW(Object, 3, 1);
    target->SetPosition(5, 6, 7);
    target->SetScale(2);
    target->CopyFrom(*source);
    EXPECT_EQ(target->position.x, 5.0f);
    EXPECT_EQ(target->scale.z, 2.0f);
    EXPECT_TRUE(target->HasName("Box01"));
    EXPECT_EQ(target->vertices[2].z, 3.0f);
    EXPECT_EQ(target->texCoords[1].t, 0.5f);
    EXPECT_EQ(target->normals[0].y, 1.0f);
    EXPECT_EQ(target->faces[0].a, 2u);
    EXPECT_EQ(target->faceNormals[0].x, 0.0f);  // not copied
    EXPECT_EQ(target->material, &m);
    KAVLO_DELETE(target);
    KAVLO_DELETE(source);
}

TEST(Object, CopyWithOtherCountsResetsTheTransformWithoutLeaking) {
    Object* source = KAVLO_NEW(Object, 4, 2);
    source->SetPosition(1, 1, 1);
    source->vertices[3].Set(4, 4, 4);
    Object* target = KAVLO_NEW(Object, 1, 1);
    target->SetPosition(5, 6, 7);
    target->SetRotation(10, 20, 30);
    target->SetScale(3);
    const unsigned before = MemoryTracker::LiveUnitCount();
    target->CopyFrom(*source);
    // Five arrays replaced by five: the old ones must be gone.
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
    EXPECT_EQ(target->vertexCount, 4);
    EXPECT_EQ(target->faceCount, 2);
    EXPECT_EQ(target->position.z, 0.0f);
    EXPECT_EQ(target->rotation.y, 0.0f);
    EXPECT_EQ(target->scale.x, 1.0f);
    EXPECT_EQ(target->vertices[3].y, 4.0f);
    KAVLO_DELETE(target);

    // A fresh empty object (how effects make copies) takes everything.
    Object* empty = KAVLO_NEW(Object);
    empty->CopyFrom(*source);
    EXPECT_EQ(empty->vertexCount, 4);
    KAVLO_DELETE(empty);
    KAVLO_DELETE(source);
}

TEST(Object, NamesAreExactAndBounded) {
    Object o;
    EXPECT_FALSE(o.HasName("Box01"));
    EXPECT_TRUE(o.HasName(""));
    o.SetName("Box01");
    EXPECT_TRUE(o.HasName("Box01"));
    EXPECT_FALSE(o.HasName("box01"));
    EXPECT_FALSE(o.HasName("Box0"));
    EXPECT_FALSE(o.HasName("Box011"));
    EXPECT_FALSE(o.HasName(nullptr));
    const std::string huge(300, 'n');
    o.SetName(huge.c_str());
    EXPECT_EQ(std::string(o.name), huge.substr(0, 255));
}

TEST(Object, NormalsFollowTheFaces) {
    Object* o = KAVLO_NEW(Object, 5, 2);
    // Two triangles of a square in the z = 0 plane, and one vertex no face uses.
    o->vertices[0].Set(0, 0, 0);
    o->vertices[1].Set(1, 0, 0);
    o->vertices[2].Set(1, 1, 0);
    o->vertices[3].Set(0, 1, 0);
    o->faces[0] = Face{0, 2, 1};
    o->faces[1] = Face{0, 3, 2};
    o->ComputeNormals();
    // e1 = v0 - v2, e2 = v1 - v0: (-1,-1,0) x (1,0,0) = (0,0,1).
    EXPECT_FLOAT_EQ(o->faceNormals[0].z, 1.0f);
    EXPECT_FLOAT_EQ(o->normals[0].z, 1.0f);
    EXPECT_FLOAT_EQ(o->normals[2].z, 1.0f);
    EXPECT_TRUE(std::isnan(o->normals[4].x));

    // A face index past the vertices is skipped rather than written through.
    o->faces[1] = Face{0, 3, 99};
    o->ComputeNormals();
    EXPECT_FLOAT_EQ(o->normals[1].z, 1.0f);
    EXPECT_TRUE(std::isnan(o->normals[3].x));
    KAVLO_DELETE(o);
}

TEST(Scene, FindObjectReturnsTheFirstExactMatch) {
    Scene scene;
    EXPECT_EQ(scene.FindObject("Sphere01"), nullptr);
    Object a, b, c;
    a.SetName("Sphere01");
    b.SetName("Sphere01");
    c.SetName("sphere02");
    scene.Add(&c);
    scene.Add(&a);
    scene.Add(&b);
    EXPECT_EQ(scene.FindObject("Sphere01"), &a);
    EXPECT_EQ(scene.FindObject("Sphere02"), nullptr);
    EXPECT_EQ(scene.FindObject("sphere02"), &c);
    EXPECT_EQ(scene.ObjectCount(), 3);
    EXPECT_EQ(scene.ObjectAt(0), &c);
    EXPECT_EQ(scene.ObjectAt(3), nullptr);
}

TEST(Scene, DrawsOpaqueObjectsFirstThenBlendedOnesEachInListOrder) {
    Material opaque, blend, additive, both, cull;
    blend.SetFlag(MaterialBlend);
    additive.SetFlag(MaterialBlendAdditive);
    both.SetFlag(MaterialBlend);
    both.SetFlag(MaterialBlendAdditive);
    cull.SetFlag(MaterialAdditive);  // kind 8 blends but is not drawn late
    cull.SetFlag(MaterialCullBack);
    LoggingObject b1("b1"), o1("o1"), none("none"), a1("a1"), o2("o2"), x1("x1"), o3("o3");
    b1.SetMaterial(&blend);
    o1.SetMaterial(&opaque);
    a1.SetMaterial(&additive);
    o2.SetMaterial(&cull);
    x1.SetMaterial(&both);
    o3.SetMaterial(&opaque);
    Scene scene;
    for (Object* o : std::vector<Object*>{&b1, &o1, &none, &a1, &o2, &x1, &o3}) scene.Add(o);
    drawLog.clear();
    scene.Render();
    EXPECT_EQ(drawLog, (std::vector<std::string>{"o1", "o2", "o3", "b1", "a1", "x1"}));
}

TEST(Scene, GrowsPastItsFirstCapacityAndOwnsNoObjects) {
    const unsigned before = MemoryTracker::LiveUnitCount();
    {
        Scene scene;
        Object objects[20];
        for (Object& o : objects) scene.Add(&o);
        EXPECT_EQ(scene.ObjectCount(), 20);
        EXPECT_EQ(scene.ObjectAt(19), &objects[19]);
    }
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
}

}  // namespace
