// Loading of the five effects: a missing mesh fails Init without touching null, and
// an effect whose Init failed part-way still deletes what it made.
#include "FxbSupport.h"

#include "EffectOrdan.h"
#include "EffectOrdan2.h"
#include "EffectTorus.h"
#include "EffectTorus2.h"
#include "effectbeam.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

template <class E>
bool InitsWith(unsigned meshes, fxb::Window w, const std::string& folder) {
    fxb::ScratchDirectory dir(folder);
    EXPECT_TRUE(dir.Ok());
    std::string error;
    EXPECT_TRUE(fxb::WriteSyntheticArchive(meshes, &error)) << error;
    std::unique_ptr<E> effect(new E());
    const bool ok = effect->Init(fxb::kWidth, fxb::kHeight, w.startMs, w.endMs);
    EXPECT_TRUE(fxb::TakeErrors().empty());
    // The window is stored first, whatever happens to the media.
    EXPECT_FALSE(effect->IsActive(w.startMs));
    EXPECT_TRUE(effect->IsActive(w.startMs + 1));
    return ok;
}

TEST(EffectsInit, EachFailsWithoutItsMeshAndLoadsWithIt) {
    FXB_REQUIRE_GL();
    using namespace fxb;
    const unsigned all = kAllMeshes;
    EXPECT_FALSE(InitsWith<EffectBeam>(all & ~kBeamSphere, kBeamWindow, "no_sphere"));
    EXPECT_TRUE(InitsWith<EffectBeam>(kBeamSphere, kBeamWindow, "only_sphere"));
    EXPECT_FALSE(InitsWith<EffectTorus>(all & ~kBlob, kTorusWindow, "no_blob"));
    EXPECT_TRUE(InitsWith<EffectTorus>(kBlob, kTorusWindow, "only_blob"));
    EXPECT_FALSE(InitsWith<EffectTorus2>(all & ~kTorus, kTorus2Window, "no_torus"));
    EXPECT_TRUE(InitsWith<EffectTorus2>(kTorus, kTorus2Window, "only_torus"));
    EXPECT_FALSE(InitsWith<EffectOrdan>(all & ~kBox, kOrdanWindow, "no_box"));
    EXPECT_TRUE(InitsWith<EffectOrdan>(kBox, kOrdanWindow, "only_box"));
    // Ordan2 needs both of its meshes.
    EXPECT_FALSE(InitsWith<EffectOrdan2>(all & ~kBigSphere, kOrdan2Window, "no_bigsphere"));
    EXPECT_FALSE(InitsWith<EffectOrdan2>(all & ~kRadialDuck, kOrdan2Window, "no_duck"));
    EXPECT_TRUE(InitsWith<EffectOrdan2>(kBigSphere | kRadialDuck, kOrdan2Window, "ordan2_pair"));
}

TEST(EffectsInit, NoArchiveAtAll) {
    FXB_REQUIRE_GL();
    fxb::ScratchDirectory dir("no_archive");
    ASSERT_TRUE(dir.Ok());
    std::unique_ptr<EffectBeam> beam(new EffectBeam());
    std::unique_ptr<EffectTorus> torus(new EffectTorus());
    std::unique_ptr<EffectTorus2> torus2(new EffectTorus2());
    std::unique_ptr<EffectOrdan> ordan(new EffectOrdan());
    std::unique_ptr<EffectOrdan2> ordan2(new EffectOrdan2());
    EXPECT_FALSE(beam->Init(800, 600, 74000, 101000));
    EXPECT_FALSE(torus->Init(800, 600, 100000, 114000));
    EXPECT_FALSE(torus2->Init(800, 600, 114000, 141000));
    EXPECT_FALSE(ordan->Init(800, 600, 140000, 155000));
    EXPECT_FALSE(ordan2->Init(800, 600, 155000, 174000));
}

TEST(EffectsInit, NeverInitialisedEffectsDeleteCleanly) {
    delete new EffectBeam();
    delete new EffectTorus();
    delete new EffectTorus2();
    delete new EffectOrdan();
    delete new EffectOrdan2();
}

}  // namespace
