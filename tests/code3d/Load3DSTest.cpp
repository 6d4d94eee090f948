// The 3DS reader on hand-built files: flips, name matching, skipped and misplaced
// chunks, and every way a damaged file must come back as null.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "RarWriter.h"
#include "SceneLoad3DS.h"
#include "Writer3DS.h"
#include "memory/MemoryTracker.h"
#include "object.h"

namespace {

using threeds::ChunkWriter;

// main { editor { body } }, the frame every hand-made file below shares.
std::vector<uint8_t> EditorFile(const std::function<void(ChunkWriter&)>& body) {
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x3D3D);
    body(w);
    w.End();
    w.End();
    return w.Bytes();
}

void VertexList(ChunkWriter& w, const std::vector<threeds::Vertex>& vs) {
    w.Begin(0x4110);
    w.U16(uint16_t(vs.size()));
    for (const auto& v : vs) {
        w.F32(v.x);
        w.F32(v.y);
        w.F32(v.z);
    }
    w.End();
}

void FaceList(ChunkWriter& w, const std::vector<threeds::Triangle>& fs) {
    w.Begin(0x4120);
    w.U16(uint16_t(fs.size()));
    for (const auto& f : fs) {
        w.U16(f.a);
        w.U16(f.b);
        w.U16(f.c);
        w.U16(f.flags);
    }
    w.End();
}

void TexCoordList(ChunkWriter& w, const std::vector<threeds::TexCoord>& ts) {
    w.Begin(0x4140);
    w.U16(uint16_t(ts.size()));
    for (const auto& t : ts) {
        w.F32(t.u);
        w.F32(t.v);
    }
    w.End();
}

const std::vector<threeds::Vertex> kTriangle = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
const std::vector<threeds::Triangle> kOneFace = {{0, 1, 2}};

// An object block whose mesh body is written by `mesh`.
void ObjectBlock(ChunkWriter& w, const std::string& name,
                 const std::function<void(ChunkWriter&)>& mesh) {
    w.Begin(0x4000);
    w.Name(name);
    w.Begin(0x4100);
    mesh(w);
    w.End();
    w.End();
}

Object* Parse(const std::vector<uint8_t>& file, const char* name) {
    return Parse3DSObject(file.data(), file.size(), name);
}

std::vector<uint8_t> Written(const std::vector<threeds::Mesh>& meshes) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(threeds::Write3DS(meshes, &bytes, &error)) << error;
    return bytes;
}

TEST(Load3DS, FlipsZAndVAndTakesTheCallersSpelling) {
    threeds::Mesh sphere{"SPHERE01", {{1, 2, 3}, {0, 0, 0}, {-1, 0.5f, 2}},
                         {{0, 1, 2}, {2, 1, 0}}, {{0.25f, 0.75f}, {0, 1}, {1, 0}}};
    threeds::Mesh box{"Box01", {{9, 9, 9}, {8, 8, 8}, {7, 7, 7}}, {{0, 1, 2}}, {}};
    const auto file = Written({sphere, box});

    Object* o = Parse(file, "Sphere01");
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(o->name, "Sphere01");
    ASSERT_EQ(o->vertexCount, 3);
    ASSERT_EQ(o->faceCount, 2);
    EXPECT_EQ(o->vertices[0].x, 1.0f);
    EXPECT_EQ(o->vertices[0].y, 2.0f);
    EXPECT_EQ(o->vertices[0].z, -3.0f);
    EXPECT_EQ(o->texCoords[0].s, 0.25f);
    EXPECT_EQ(o->texCoords[0].t, -0.75f);
    EXPECT_EQ(o->faces[1].a, 2u);
    EXPECT_EQ(o->faces[1].c, 0u);
    EXPECT_EQ(o->normals[2].x, 0.0f);  // not read, not computed
    EXPECT_EQ(o->scale.y, 1.0f);
    KAVLO_DELETE(o);

    // The reader starts over for every name; a mesh without coordinates gets (0, 0).
    o = Parse(file, "box01");
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(o->name, "box01");
    EXPECT_EQ(o->vertices[2].z, -7.0f);
    EXPECT_EQ(o->texCoords[1].s, 0.0f);
    KAVLO_DELETE(o);

    EXPECT_EQ(Parse(file, "Sphere02"), nullptr);
    EXPECT_EQ(Parse(file, "SPHERE0"), nullptr);
}

TEST(Load3DS, NullNameTakesTheFirstMeshAndLeavesItUnnamed) {
    const auto file = Written({{"First", kTriangle, kOneFace, {}}, {"Second", kTriangle, {}, {}}});
    Object* o = Parse(file, nullptr);
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(o->name, "");
    EXPECT_EQ(o->faceCount, 1);
    KAVLO_DELETE(o);
}

TEST(Load3DS, LongNamesAreMatchedByTheirFirst64Characters) {
    const std::string seventy(70, 'q');
    const std::string sixtyFour = seventy.substr(0, 64);
    const auto file = EditorFile([&](ChunkWriter& w) {
        ObjectBlock(w, seventy, [](ChunkWriter& m) {
            VertexList(m, kTriangle);
            FaceList(m, kOneFace);
        });
    });
    Object* o = Parse(file, sixtyFour.c_str());
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(std::string(o->name), sixtyFour);
    KAVLO_DELETE(o);
    EXPECT_EQ(Parse(file, seventy.c_str()), nullptr);
    EXPECT_EQ(Parse(file, sixtyFour.substr(0, 63).c_str()), nullptr);

    std::vector<MeshSummary3DS> meshes;
    ASSERT_TRUE(Describe3DSMeshes(file.data(), file.size(), &meshes));
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_EQ(meshes[0].name, sixtyFour);
}

TEST(Load3DS, MisplacedOrOversizedTexCoordsAreSkipped) {
    // Before the vertex list: nowhere to put them.
    auto file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Early", [](ChunkWriter& m) {
            TexCoordList(m, {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}});
            VertexList(m, kTriangle);
            FaceList(m, kOneFace);
        });
    });
    Object* o = Parse(file, "Early");
    ASSERT_NE(o, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(o->texCoords[i].s, 0.0f);
        EXPECT_EQ(o->texCoords[i].t, 0.0f);
    }
    KAVLO_DELETE(o);

    // More coordinates than vertices: skipped whole, the chunk after it still read.
    file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Many", [](ChunkWriter& m) {
            VertexList(m, kTriangle);
            TexCoordList(m, {{1, 1}, {1, 1}, {1, 1}, {1, 1}});
            FaceList(m, kOneFace);
        });
    });
    o = Parse(file, "Many");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->texCoords[0].s, 0.0f);
    EXPECT_EQ(o->faceCount, 1);
    KAVLO_DELETE(o);

    // Fewer coordinates than vertices fill the first ones only.
    file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Few", [](ChunkWriter& m) {
            VertexList(m, kTriangle);
            TexCoordList(m, {{0.5f, 0.25f}});
            FaceList(m, kOneFace);
        });
    });
    o = Parse(file, "Few");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->texCoords[0].t, -0.25f);
    EXPECT_EQ(o->texCoords[1].s, 0.0f);
    KAVLO_DELETE(o);
}

TEST(Load3DS, UnknownChunksAtEveryLevelAreSkipped) {
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x0002);  // version
    w.U32(3);
    w.End();
    w.Begin(0x3D3D);
    w.Begin(0xAFFF);  // a material block
    w.Begin(0xA000);
    w.Name("Steel");
    w.End();
    w.End();
    w.Begin(0x4000);  // a light that shares the name: passed over
    w.Name("Thing");
    w.Begin(0x4600);
    w.F32(1);
    w.F32(2);
    w.F32(3);
    w.End();
    w.End();
    w.Begin(0x4000);
    w.Name("Thing");
    w.Begin(0x4700);  // a camera chunk before the mesh in the same block
    w.End();
    w.Begin(0x4100);
    w.Begin(0x4160);  // local axes, 12 floats
    for (int i = 0; i < 12; ++i) w.F32(float(i));
    w.End();
    VertexList(w, kTriangle);
    w.Begin(0x4120);
    w.U16(1);
    w.U16(0);
    w.U16(1);
    w.U16(2);
    w.U16(7);
    w.Begin(0x4130);  // the face list's own material group, met by the mesh loop
    w.Name("Steel");
    w.U16(1);
    w.U16(0);
    w.End();
    w.Begin(0x4150);  // smoothing groups
    w.U32(1);
    w.End();
    w.End();
    w.End();
    w.End();
    w.End();
    w.Begin(0xB000);  // keyframer
    w.Begin(0xB00A);
    w.U16(5);
    w.End();
    w.End();
    w.End();

    Object* o = Parse(w.Bytes(), "thing");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->vertexCount, 3);
    EXPECT_EQ(o->faceCount, 1);
    EXPECT_EQ(o->faces[0].c, 2u);
    KAVLO_DELETE(o);
}

TEST(Load3DS, TheFirstMatchingMeshWins) {
    const auto file = Written({{"Dup", kTriangle, {}, {}}, {"DUP", kTriangle, kOneFace, {}}});
    // The first block has an empty face list; it is still the one taken.
    Object* o = Parse(file, "dup");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->faceCount, 0);
    KAVLO_DELETE(o);
}

TEST(Load3DS, AMeshWithoutVerticesOrFacesIsNull) {
    auto file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "NoFaces", [](ChunkWriter& m) { VertexList(m, kTriangle); });
        ObjectBlock(w, "NoVertices", [](ChunkWriter& m) { FaceList(m, kOneFace); });
    });
    EXPECT_EQ(Parse(file, "NoFaces"), nullptr);
    EXPECT_EQ(Parse(file, "NoVertices"), nullptr);
}

TEST(Load3DS, DamagedFilesGiveNull) {
    const auto good = Written({{"Mesh", kTriangle, kOneFace, {{0, 0}, {1, 0}, {0, 1}}}});
    Object* ok = Parse(good, "Mesh");
    ASSERT_NE(ok, nullptr);
    KAVLO_DELETE(ok);

    EXPECT_EQ(Parse3DSObject(nullptr, 0, "Mesh"), nullptr);
    EXPECT_EQ(Parse3DSObject(good.data(), 5, "Mesh"), nullptr);

    auto wrongMagic = good;
    wrongMagic[0] = 0x4E;
    EXPECT_EQ(Parse(wrongMagic, "Mesh"), nullptr);

    // A main chunk longer than the data.
    auto longMain = good;
    longMain[2] = uint8_t(good.size() + 1);
    longMain[3] = uint8_t((good.size() + 1) >> 8);
    EXPECT_EQ(Parse(longMain, "Mesh"), nullptr);

    // Every shorter prefix of the file is refused without reading past it.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> prefix(good.begin(), good.begin() + n);
        EXPECT_EQ(Parse(prefix, "Mesh"), nullptr) << n;
    }
}

TEST(Load3DS, ChunksReachingOutsideTheirParentGiveNull) {
    // The vertex chunk claims 100 bytes more than the mesh holds.
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x3D3D);
    w.Begin(0x4000);
    w.Name("Mesh");
    w.Begin(0x4100);
    VertexList(w, kTriangle);
    FaceList(w, kOneFace);
    const size_t meshLength = w.OpenLengthOffset();
    w.End();
    w.End();
    w.End();
    w.End();
    auto bytes = w.Bytes();
    const uint32_t meshLen = bytes[meshLength] | bytes[meshLength + 1] << 8;
    // Patch the vertex list's length (right after the mesh header).
    const size_t vertexLength = meshLength + 4 + 2;
    const uint32_t tooLong = meshLen + 100;
    for (int i = 0; i < 4; ++i) bytes[vertexLength + i] = uint8_t(tooLong >> (8 * i));
    EXPECT_EQ(Parse(bytes, "Mesh"), nullptr);

    // A length below its own header would loop or step backwards.
    for (int i = 0; i < 4; ++i) bytes[vertexLength + i] = uint8_t(5u >> (8 * i));
    EXPECT_EQ(Parse(bytes, "Mesh"), nullptr);
    for (int i = 0; i < 4; ++i) bytes[vertexLength + i] = 0;
    EXPECT_EQ(Parse(bytes, "Mesh"), nullptr);
}

TEST(Load3DS, CountsThatOverrunTheirChunkGiveNull) {
    // Ten vertices announced, three stored.
    auto file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Mesh", [](ChunkWriter& m) {
            m.Begin(0x4110);
            m.U16(10);
            for (int i = 0; i < 9; ++i) m.F32(1);
            m.End();
            FaceList(m, kOneFace);
        });
    });
    EXPECT_EQ(Parse(file, "Mesh"), nullptr);

    // Two faces announced, one stored; then a third face list entry's worth missing.
    file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Mesh", [](ChunkWriter& m) {
            VertexList(m, kTriangle);
            m.Begin(0x4120);
            m.U16(2);
            m.U16(0);
            m.U16(1);
            m.U16(2);
            m.U16(0);
            m.End();
        });
    });
    EXPECT_EQ(Parse(file, "Mesh"), nullptr);

    // Three coordinates announced (fits the vertex count), one stored.
    file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Mesh", [](ChunkWriter& m) {
            VertexList(m, kTriangle);
            m.Begin(0x4140);
            m.U16(3);
            m.F32(0.5f);
            m.F32(0.5f);
            m.End();
            FaceList(m, kOneFace);
        });
    });
    EXPECT_EQ(Parse(file, "Mesh"), nullptr);
}

TEST(Load3DS, FaceIndicesAtOrPastTheVertexCountGiveNull) {
    for (uint16_t bad : {uint16_t(3), uint16_t(4), uint16_t(65535)}) {
        const auto file = EditorFile([&](ChunkWriter& w) {
            ObjectBlock(w, "Mesh", [&](ChunkWriter& m) {
                FaceList(m, {{0, 1, 2}, {2, bad, 0}});
                VertexList(m, kTriangle);
            });
        });
        EXPECT_EQ(Parse(file, "Mesh"), nullptr) << bad;
    }
    // The last valid index is fine, with the faces read before the vertices.
    const auto file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Mesh", [](ChunkWriter& m) {
            FaceList(m, {{2, 2, 2}});
            VertexList(m, kTriangle);
        });
    });
    Object* o = Parse(file, "Mesh");
    ASSERT_NE(o, nullptr);
    KAVLO_DELETE(o);
}

TEST(Load3DS, ANameWithoutTerminatorGivesNull) {
    ChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x3D3D);
    w.Begin(0x4000);
    w.Raw("Unterminated", 12);
    w.End();
    w.End();
    w.End();
    EXPECT_EQ(Parse(w.Bytes(), "Unterminated"), nullptr);
    std::vector<MeshSummary3DS> meshes;
    EXPECT_FALSE(Describe3DSMeshes(w.Bytes().data(), w.Bytes().size(), &meshes));
}

TEST(Load3DS, NothingLeaksOnSuccessOrFailure) {
    const auto good = Written({{"Mesh", kTriangle, kOneFace, {}}});
    const auto badIndex = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Mesh", [](ChunkWriter& m) {
            VertexList(m, kTriangle);
            VertexList(m, kTriangle);  // a second list replaces the first
            FaceList(m, {{0, 1, 9}});
        });
    });
    const unsigned before = MemoryTracker::LiveUnitCount();
    Object* o = Parse(good, "Mesh");
    EXPECT_NE(o, nullptr);
    if (o) KAVLO_DELETE(o);
    EXPECT_EQ(Parse(badIndex, "Mesh"), nullptr);
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
}

TEST(Load3DS, DescribeListsEveryMeshBlockWithFlippedBounds) {
    const auto file = EditorFile([](ChunkWriter& w) {
        ObjectBlock(w, "Alpha", [](ChunkWriter& m) {
            VertexList(m, {{-1, 2, 3}, {4, -5, -6}});
            FaceList(m, {{0, 1, 1}});
        });
        w.Begin(0x4000);  // a light: no mesh, not listed
        w.Name("Lamp");
        w.Begin(0x4600);
        w.End();
        w.End();
        ObjectBlock(w, "Broken", [](ChunkWriter& m) { VertexList(m, kTriangle); });
    });
    std::vector<MeshSummary3DS> meshes;
    ASSERT_TRUE(Describe3DSMeshes(file.data(), file.size(), &meshes));
    ASSERT_EQ(meshes.size(), 2u);
    EXPECT_EQ(meshes[0].name, "Alpha");
    EXPECT_TRUE(meshes[0].loaded);
    EXPECT_EQ(meshes[0].vertexCount, 2);
    EXPECT_EQ(meshes[0].faceCount, 1);
    EXPECT_EQ(meshes[0].min[0], -1.0f);
    EXPECT_EQ(meshes[0].max[1], 2.0f);
    EXPECT_EQ(meshes[0].min[2], -3.0f);  // z flipped
    EXPECT_EQ(meshes[0].max[2], 6.0f);
    EXPECT_EQ(meshes[1].name, "Broken");
    EXPECT_FALSE(meshes[1].loaded);
    EXPECT_EQ(List3DSObjectNames(file.data(), file.size()),
              (std::vector<std::string>{"Alpha", "Broken"}));
}

TEST(Writer3DS, RefusesWhatTheFormatCannotHold) {
    std::vector<uint8_t> out;
    std::string error;
    threeds::Mesh tooMany{"Big", std::vector<threeds::Vertex>(65536, {0, 0, 0}), {}, {}};
    EXPECT_FALSE(threeds::Write3DS({tooMany}, &out, &error));
    EXPECT_NE(error.find("65535"), std::string::npos);
    threeds::Mesh badFace{"Bad", kTriangle, {{0, 1, 3}}, {}};
    EXPECT_FALSE(threeds::Write3DS({badFace}, &out, &error));
    threeds::Mesh badCoords{"Bad", kTriangle, kOneFace, {{0, 0}}};
    EXPECT_FALSE(threeds::Write3DS({badCoords}, &out, &error));

    // The largest mesh the format holds goes through writer and reader.
    threeds::Mesh biggest{"Big", std::vector<threeds::Vertex>(65535, {1, 1, 1}),
                          std::vector<threeds::Triangle>(65535, {65534, 0, 1}), {}};
    ASSERT_TRUE(threeds::Write3DS({biggest}, &out, &error)) << error;
    Object* o = Parse3DSObject(out.data(), out.size(), "Big");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->vertexCount, 65535);
    EXPECT_EQ(o->faceCount, 65535);
    EXPECT_EQ(o->faces[65534].a, 65534u);
    KAVLO_DELETE(o);

    threeds::ChunkWriter w;
    EXPECT_FALSE(w.End());
    EXPECT_FALSE(w.PatchU32(0, 1));
}

TEST(LoadScene, AppendsTheNamedMeshesFromTheArchiveInArgumentOrder) {
    const auto file = Written({{"Box01", kTriangle, kOneFace, {}},
                               {"SPHERE01", kTriangle, {{0, 1, 2}, {0, 2, 1}}, {}}});
    rarpack::RarWriter archive;
    archive.Add("3ds/scene.3ds", file.data(), file.size(), rarpack::EntryOptions{});
    std::string error;
    ASSERT_TRUE(archive.WriteFile("megadata.rar", &error)) << error;

    SceneLoad3DS* scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 3, "3ds/scene.3ds", "Sphere01", "Cylinder01", "Box01");
    ASSERT_EQ(scene->ObjectCount(), 2);
    EXPECT_TRUE(scene->ObjectAt(0)->HasName("Sphere01"));
    EXPECT_EQ(scene->ObjectAt(0)->faceCount, 2);
    EXPECT_TRUE(scene->ObjectAt(1)->HasName("Box01"));
    EXPECT_EQ(scene->FindObject("Cylinder01"), nullptr);
    // The archive's buffer is released inside LoadScene (the sanitized run's leak
    // check would report it otherwise).
    EXPECT_EQ(scene->buffer, nullptr);

    // A name missing from the archive adds nothing.
    LoadScene(scene, 1, "3ds/other.3ds", "Box01");
    EXPECT_EQ(scene->ObjectCount(), 2);

    // The effect deletes the objects it looked up, then the scene.
    Object* sphere = scene->FindObject("Sphere01");
    Object* box = scene->FindObject("Box01");
    KAVLO_DELETE(sphere);
    KAVLO_DELETE(box);
    KAVLO_DELETE(scene);
    std::remove("megadata.rar");
}

TEST(LoadScene, AMissingArchiveLeavesTheSceneEmpty) {
    SceneLoad3DS* scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 2, "3ds/none.3ds", "Sphere01", "Box01");
    EXPECT_EQ(scene->ObjectCount(), 0);
    EXPECT_EQ(scene->buffer, nullptr);
    KAVLO_DELETE(scene);
}

}  // namespace
