// The choice of the web views' rendering path from the facts about the machine
// (rendering_path.h), and the facts that need no GL. The GL renderer is asked in
// rendering_probe.cpp.
#include "fw/gtk/rendering_path.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace fw::gtk::rendering {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Renderers that draw on the CPU, as their GL_RENDERER strings name them (lower case): Mesa's
// llvmpipe, softpipe and swrast ("Software Rasterizer"), the Vulkan one under zink, SwiftShader,
// and the software adapters of systems that pass GL through (WSL's "Microsoft Basic Render
// Driver", Windows' "GDI Generic").
constexpr const char* kSoftwareRenderers[] = {
    "llvmpipe",   "softpipe", "swrast", "software rasterizer", "lavapipe", "swiftshader", "microsoft basic render",
    "gdi generic"};

}  // namespace

Override ParseOverride(const char* value) {
    if (!value || !*value) return Override::Auto;
    const std::string v = Lower(value);
    if (v == "auto") return Override::Auto;
    if (v == "accelerated") return Override::Accelerated;
    if (v == "software") return Override::Software;
    return Override::Invalid;
}

bool MesaTrue(const char* value) {
    if (!value) return false;
    const std::string v = Lower(value);
    return v == "1" || v == "true" || v == "y" || v == "yes";
}

bool NamesSoftwareRenderer(std::string_view renderer) {
    const std::string r = Lower(renderer);
    return std::any_of(std::begin(kSoftwareRenderers), std::end(kSoftwareRenderers),
                       [&](const char* name) { return r.find(name) != std::string::npos; });
}

bool NeedsMachine(const Facts& facts) {
    const bool forced = facts.override == Override::Accelerated || facts.override == Override::Software;
    return !forced && !facts.libglSoftware;
}

bool NeedsGlRenderer(const Facts& facts) { return NeedsMachine(facts) && facts.renderNode && facts.glRenderer.empty(); }

Decision Choose(const Facts& facts) {
    switch (facts.override) {
    case Override::Accelerated: return {Path::Accelerated, "RV_RENDERING=accelerated"};
    case Override::Software: return {Path::Software, "RV_RENDERING=software"};
    case Override::Auto:
    case Override::Invalid: break;
    }
    if (facts.libglSoftware) return {Path::Software, "LIBGL_ALWAYS_SOFTWARE"};
    if (!facts.renderNode) return {Path::Software, "no DRM render node"};
    if (facts.glRenderer.empty()) return {Path::Accelerated, "render node, GL renderer unknown"};
    if (NamesSoftwareRenderer(facts.glRenderer)) return {Path::Software, "GL renderer " + facts.glRenderer};
    return {Path::Accelerated, "GL renderer " + facts.glRenderer};
}

bool HasRenderNode(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    bool found = false;
    while (dirent* e = readdir(d)) {
        const char* name = e->d_name;
        if (std::strncmp(name, "renderD", 7) != 0 || !name[7]) continue;
        if (!std::all_of(name + 7, name + std::strlen(name), [](unsigned char c) { return std::isdigit(c) != 0; }))
            continue;
        const std::string path = dir + "/" + name;
        if (access(path.c_str(), R_OK | W_OK) == 0) {
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
}

Facts ReadEnvironment() {
    Facts f;
    f.override = ParseOverride(std::getenv("RV_RENDERING"));
    f.libglSoftware = MesaTrue(std::getenv("LIBGL_ALWAYS_SOFTWARE"));
    return f;
}

void LookForRenderNode(Facts& facts) {
    if (NeedsMachine(facts)) facts.renderNode = HasRenderNode("/dev/dri");
}

}  // namespace fw::gtk::rendering
