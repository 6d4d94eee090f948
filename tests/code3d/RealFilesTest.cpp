// 3DS files written by real modelling tools (Debian's gl-117-data) against an
// independent reader: assimp's command-line tool, run as a peer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "SceneLoad3DS.h"
#include "memory/MemoryTracker.h"
#include "object.h"

namespace {

namespace fs = std::filesystem;

const char* kModelDir = "/usr/share/games/gl-117/models";

std::string Run(const std::string& command) {
    std::string out;
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) out.append(chunk, n);
    pclose(p);
    return out;
}

bool HaveAssimp() { return Run("command -v assimp 2>/dev/null").find("assimp") != std::string::npos; }

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// What `assimp info FILE -r` says: faces per mesh, and the meshes of each named node.
struct AssimpInfo {
    std::map<int, int> meshFaces;
    std::map<std::string, std::vector<std::vector<int>>> nodeMeshes;
};

AssimpInfo ReadInfo(const std::string& path) {
    AssimpInfo info;
    const std::string out = Run("assimp info " + Quoted(path) + " -r 2>/dev/null");
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        int index, vertices, bones, faces;
        if (std::sscanf(line.c_str(), " %d (%*d): [%d / %d / %d |", &index, &vertices, &bones,
                        &faces) == 4) {
            info.meshFaces[index] = faces;
            continue;
        }
        // Tree lines: "...\u2574Name (mesh 1, 2)".
        const size_t branch = line.find("\xE2\x95\xB4");
        const size_t meshes = line.find(" (mesh ");
        if (branch == std::string::npos || meshes == std::string::npos) continue;
        const std::string name = line.substr(branch + 3, meshes - branch - 3);
        std::vector<int> list;
        const char* p = line.c_str() + meshes + 7;
        int value, used;
        while (std::sscanf(p, "%d%n", &value, &used) == 1) {
            list.push_back(value);
            p += used;
            while (*p == ',' || *p == ' ') ++p;
        }
        info.nodeMeshes[name].push_back(list);
    }
    return info;
}

// The distinct positions each mesh's faces use, from `assimp export FILE x.obj` (the
// OBJ writer shares equal positions, so distinct indices are distinct positions).
std::map<int, std::set<int>> ReadObjPositions(const std::string& path) {
    std::map<int, std::set<int>> used;
    const std::string obj = "assimp_peer.obj";
    Run("assimp export " + Quoted(path) + " " + obj + " >/dev/null 2>&1");
    std::ifstream in(obj);
    std::string line;
    int group = -1;
    while (std::getline(in, line)) {
        if (line.rfind("g ", 0) == 0) {
            group = std::atoi(line.c_str() + 2);
        } else if (line.rfind("f ", 0) == 0 && group >= 0) {
            const char* p = line.c_str() + 2;
            while (*p) {
                while (*p == ' ') ++p;
                if (!*p) break;
                used[group].insert(std::atoi(p));
                while (*p && *p != ' ') ++p;
            }
        }
    }
    std::remove(obj.c_str());
    std::remove("assimp_peer.mtl");
    return used;
}

std::vector<unsigned char> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), {});
}

size_t DistinctUsedPositions(const Object& o) {
    std::set<std::tuple<float, float, float>> positions;
    for (int f = 0; f < o.faceCount; ++f)
        for (unsigned i : {o.faces[f].a, o.faces[f].b, o.faces[f].c})
            positions.insert({o.vertices[i].x, o.vertices[i].y, o.vertices[i].z});
    return positions.size();
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(RealFiles, MeshesAgreeWithAssimp) {
    if (!fs::is_directory(kModelDir)) GTEST_SKIP() << kModelDir << " missing (gl-117-data)";
    if (!HaveAssimp()) GTEST_SKIP() << "assimp not installed (assimp-utils)";

    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kModelDir))
        if (entry.path().extension() == ".3ds") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());

    int compared = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        const std::vector<unsigned char> bytes = ReadFile(path);
        std::vector<MeshSummary3DS> meshes;
        ASSERT_TRUE(Describe3DSMeshes(bytes.data(), bytes.size(), &meshes));
        ASSERT_FALSE(meshes.empty());
        const AssimpInfo info = ReadInfo(path.string());
        const auto positions = ReadObjPositions(path.string());
        std::set<std::string> seen;
        for (const MeshSummary3DS& mesh : meshes) {
            SCOPED_TRACE(mesh.name);
            ASSERT_TRUE(mesh.loaded);
            // Lookup by name finds the first of a case-insensitive pair only.
            if (!seen.insert(Lower(mesh.name)).second) continue;
            const auto node = info.nodeMeshes.find(mesh.name);
            ASSERT_NE(node, info.nodeMeshes.end());
            ASSERT_EQ(node->second.size(), 1u);
            int faces = 0;
            std::set<int> used;
            for (int m : node->second[0]) {
                ASSERT_TRUE(info.meshFaces.count(m));
                faces += info.meshFaces.at(m);  // assimp splits a mesh per material
                if (positions.count(m)) used.insert(positions.at(m).begin(), positions.at(m).end());
            }
            EXPECT_EQ(mesh.faceCount, faces);

            Object* o = Parse3DSObject(bytes.data(), bytes.size(), mesh.name.c_str());
            ASSERT_NE(o, nullptr);
            EXPECT_EQ(o->vertexCount, mesh.vertexCount);
            // assimp gives every face its own three vertices, so the counts to agree on
            // are the distinct positions the faces use.
            EXPECT_EQ(DistinctUsedPositions(*o), used.size());
            KAVLO_DELETE(o);
            ++compared;
        }
    }
    std::printf("compared %d meshes in %zu files with assimp\n", compared, files.size());
    EXPECT_GT(compared, 0);
}

}  // namespace
