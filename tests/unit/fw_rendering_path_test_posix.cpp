// The GTK back end's choice of how web views draw: from the facts about the machine to
// accelerated compositing or painting on the CPU, and the facts that need no GL.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "fw/gtk/rendering_path.h"
#include "test_support.h"

namespace {

namespace rd = fw::gtk::rendering;
using rd::Override;
using rd::Path;

rd::Facts OnRenderNode(const std::string& renderer) {
    rd::Facts f;
    f.renderNode = true;
    f.glRenderer = renderer;
    return f;
}

// Sets an environment variable for the life of the object, then restores what was there.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(RenderingPath, SoftwareGlRenderersAreToldFromHardwareOnes) {
    for (const char* soft :
         {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer",
          "zink Vulkan 1.3(llvmpipe (LLVM 15.0.6, 256 bits) (MESA_LLVMPIPE))", "zink (lavapipe)", "Google SwiftShader",
          "SWIFTSHADER Device (Subzero)", "D3D12 (Microsoft Basic Render Driver)", "GDI Generic"}) {
        EXPECT_TRUE(rd::NamesSoftwareRenderer(soft)) << soft;
        EXPECT_EQ(rd::Choose(OnRenderNode(soft)).path, Path::Software) << soft;
    }
    // Hardware drivers built with LLVM name it too: only llvmpipe is the software one.
    for (const char* hard : {"AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)",
                             "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce GTX 1050/PCIe/SSE2",
                             "D3D12 (NVIDIA GeForce RTX 3060)", "virgl (AMD Radeon RX 6600)", "V3D 4.2"}) {
        EXPECT_FALSE(rd::NamesSoftwareRenderer(hard)) << hard;
        rd::Decision d = rd::Choose(OnRenderNode(hard));
        EXPECT_EQ(d.path, Path::Accelerated) << hard;
        EXPECT_NE(d.reason.find(hard), std::string::npos) << d.reason;  // the mark names it
    }
}

TEST(RenderingPath, WithoutRenderNodeOrWithSoftwareForcedViewsAreNotComposited) {
    rd::Facts none;  // no render node: Mesa draws GL with llvmpipe under X
    EXPECT_EQ(rd::Choose(none).path, Path::Software);
    EXPECT_EQ(rd::Choose(none).reason, "no DRM render node");

    rd::Facts forced = OnRenderNode("AMD Radeon RX 6600 (radeonsi)");
    forced.libglSoftware = true;  // Mesa would ignore the GPU
    EXPECT_EQ(rd::Choose(forced).path, Path::Software);

    // A render node whose renderer could not be asked keeps the engine's default.
    rd::Decision unknown = rd::Choose(OnRenderNode(""));
    EXPECT_EQ(unknown.path, Path::Accelerated);
    EXPECT_EQ(unknown.reason, "render node, GL renderer unknown");
}

TEST(RenderingPath, OverrideWinsOverEveryFactAndInvalidActsAsAuto) {
    rd::Facts soft;  // no render node, LIBGL_ALWAYS_SOFTWARE
    soft.libglSoftware = true;
    soft.override = Override::Accelerated;
    EXPECT_EQ(rd::Choose(soft).path, Path::Accelerated);
    EXPECT_FALSE(rd::NeedsMachine(soft));

    rd::Facts gpu = OnRenderNode("Mesa Intel(R) UHD Graphics 620");
    gpu.override = Override::Software;
    EXPECT_EQ(rd::Choose(gpu).path, Path::Software);
    EXPECT_FALSE(rd::NeedsMachine(gpu));

    gpu.override = Override::Invalid;
    EXPECT_EQ(rd::Choose(gpu).path, Path::Accelerated);
    EXPECT_TRUE(rd::NeedsMachine(gpu));
    rd::Facts bare;
    bare.override = Override::Invalid;
    EXPECT_EQ(rd::Choose(bare).path, Path::Software);
}

TEST(RenderingPath, GlIsAskedOnlyWhenNothingElseSettlesThePath) {
    rd::Facts f;
    EXPECT_TRUE(rd::NeedsMachine(f));
    EXPECT_FALSE(rd::NeedsGlRenderer(f));  // no render node: software without asking GL
    f.renderNode = true;
    EXPECT_TRUE(rd::NeedsGlRenderer(f));
    f.glRenderer = "llvmpipe";
    EXPECT_FALSE(rd::NeedsGlRenderer(f));  // asked already
    f.glRenderer.clear();
    f.override = Override::Invalid;
    EXPECT_TRUE(rd::NeedsGlRenderer(f));
    f.libglSoftware = true;
    EXPECT_FALSE(rd::NeedsMachine(f));
    EXPECT_FALSE(rd::NeedsGlRenderer(f));
    f.libglSoftware = false;
    f.override = Override::Accelerated;
    EXPECT_FALSE(rd::NeedsGlRenderer(f));
}

TEST(RenderingPath, OnlyViewsThatAskAreEverAccelerated) {
    EXPECT_TRUE(rd::Accelerate(Path::Accelerated, true));
    EXPECT_FALSE(rd::Accelerate(Path::Accelerated, false));
    EXPECT_FALSE(rd::Accelerate(Path::Software, true));
    EXPECT_FALSE(rd::Accelerate(Path::Software, false));
}

TEST(RenderingPath, EnvironmentIsReadAsDocumented) {
    EXPECT_EQ(rd::ParseOverride(nullptr), Override::Auto);
    EXPECT_EQ(rd::ParseOverride(""), Override::Auto);
    EXPECT_EQ(rd::ParseOverride("AUTO"), Override::Auto);
    EXPECT_EQ(rd::ParseOverride("Accelerated"), Override::Accelerated);
    EXPECT_EQ(rd::ParseOverride("software"), Override::Software);
    EXPECT_EQ(rd::ParseOverride("gpu"), Override::Invalid);
    EXPECT_EQ(rd::ParseOverride(" software"), Override::Invalid);

    for (const char* yes : {"1", "true", "TRUE", "y", "Yes"}) EXPECT_TRUE(rd::MesaTrue(yes)) << yes;
    for (const char* no : {"0", "false", "no", "", "2", "on"}) EXPECT_FALSE(rd::MesaTrue(no)) << no;
    EXPECT_FALSE(rd::MesaTrue(nullptr));

    EnvVar a("RV_RENDERING", "SOFTWARE");
    EnvVar b("LIBGL_ALWAYS_SOFTWARE", "0");
    rd::Facts f = rd::ReadEnvironment();
    EXPECT_EQ(f.override, Override::Software);
    EXPECT_FALSE(f.libglSoftware);
    EnvVar c("RV_RENDERING", nullptr);
    EnvVar d("LIBGL_ALWAYS_SOFTWARE", "true");
    f = rd::ReadEnvironment();
    EXPECT_EQ(f.override, Override::Auto);
    EXPECT_TRUE(f.libglSoftware);
}

TEST(RenderingPath, RenderNodeMustBeNamedSoAndOpenable) {
    testing_support::TempDir dir;
    const std::string dri = dir.file("dri");
    EXPECT_FALSE(rd::HasRenderNode(dri));  // no folder at all
    std::filesystem::create_directory(dri);
    EXPECT_FALSE(rd::HasRenderNode(dri));
    // A card node alone is the display side; names that only start like a render node are
    // not one.
    for (const char* name : {"card0", "renderD", "renderD12x", "xrenderD128"})
        testing_support::WriteFile(dri + "/" + name, "");
    EXPECT_FALSE(rd::HasRenderNode(dri));
    // A node that cannot be opened (here: a link to nothing) is no use to GL.
    std::filesystem::create_symlink(dir.file("gone"), dri + "/renderD129");
    EXPECT_FALSE(rd::HasRenderNode(dri));
    testing_support::WriteFile(dri + "/renderD128", "");
    EXPECT_TRUE(rd::HasRenderNode(dri));
}

}  // namespace
