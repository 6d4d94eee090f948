// A mesh that twists itself: each Deform rebuilds the positions from the rest shape
// by three table-driven rotations whose angles vary with distance from the origin.
#pragma once

#include "object.h"

class ObjectVortex : public Object {
public:
    // Entries 0-1023: 2 sin(k * step); 1024-2047: 2 cos(k * step). The amplitude 2 and
    // the step just under 2 pi / 1024 are part of the look.
    float* waveTable;
    Vector3* restVertices;
    Vector3 twist;

    // Copies geometry, name and material of source (which stays unchanged) and sets up
    // the rest shape and the table.
    explicit ObjectVortex(const Object& source);
    ~ObjectVortex() override;

    // Zero twist, rest shape = current vertices, fresh table.
    void Setup();
    void SetTwist(float x, float y, float z) { twist.Set(x, y, z); }
    // Recomputes vertices from restVertices and twist; normals, texture coordinates and
    // faces are left alone. Deterministic: the same twist gives the same positions.
    void Deform();

    static const int kWaveTableSize = 2048;
    static constexpr double kWaveStep = 0.0061357421875;

private:
    void ReleaseVortex();
};
