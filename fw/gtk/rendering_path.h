#pragma once
// How the GTK back end's web views draw on this machine: with the engine's accelerated
// compositing, or painted on the CPU without it.
//
// Accelerated compositing pays off with a real GPU. On a software GL (Mesa's llvmpipe and the
// like) the compositor's GL work runs on the CPU as well, and a page that animates costs three
// to five times the CPU per frame that painting without compositing costs, with about 150 MB
// more memory in its web process (bench/RESULTS-rendering.md). So a control that asks for
// acceleration (BrowserOptions::accelerated) gets it only where the machine renders GL in
// hardware; a control that does not ask never gets it.
//
// The choice is made once per run from facts about the machine: the environment and the
// render nodes (read before the toolkit starts) and, only where those do not settle it, the
// GL renderer (asked on the browser module's loading thread). Choose decides from the facts
// and does nothing else. RV_RENDERING=auto|accelerated|software in the environment overrides the
// choice for diagnosis; with RV_TRACE=1 the choice and its reason are a mark.
#include <string>
#include <string_view>

namespace fw::gtk::rendering {

enum class Path { Accelerated, Software };

// RV_RENDERING's value.
enum class Override { Auto, Accelerated, Software, Invalid };

// What the machine says about its GL.
struct Facts {
    Override override = Override::Auto;
    // LIBGL_ALWAYS_SOFTWARE asks Mesa for its software renderer.
    bool libglSoftware = false;
    // A DRM render node (/dev/dri/renderD*) this user may open: without one, GL is software.
    bool renderNode = false;
    // GL_RENDERER of a context made on the render node; empty when it was not (or could not
    // be) asked.
    std::string glRenderer;
};

struct Decision {
    Path path = Path::Accelerated;
    std::string reason;  // a short phrase for the trace mark
};

// RV_RENDERING's value (null, empty or "auto": Auto), ignoring case.
Override ParseOverride(const char* value);

// An environment variable read as Mesa reads its booleans: "1", "true", "y", "yes" (any case) are
// true; anything else, null included, false.
bool MesaTrue(const char* value);

// True when a GL renderer string names a renderer that draws on the CPU (llvmpipe, softpipe,
// swrast, SwiftShader, ...).
bool NamesSoftwareRenderer(std::string_view renderer);

// True when the machine must be looked at: the environment has not settled the path.
bool NeedsMachine(const Facts& facts);

// True when only the GL renderer can settle the path: the environment has not, and there is
// a render node.
bool NeedsGlRenderer(const Facts& facts);

// The path for these facts. An unknown renderer on a render node keeps acceleration, the
// engine's own default.
Decision Choose(const Facts& facts);

// Whether a view made with `asked` acceleration is accelerated on `path`.
inline bool Accelerate(Path path, bool asked) { return asked && path == Path::Accelerated; }

// True when `dir` holds a DRM render node (an entry named renderD<number>) that this process
// may open for reading and writing.
bool HasRenderNode(const std::string& dir);

// The environment's facts (RV_RENDERING, LIBGL_ALWAYS_SOFTWARE).
Facts ReadEnvironment();

// Adds whether /dev/dri has a render node, when the environment has not settled the path.
// Costs a look at one folder.
void LookForRenderNode(Facts& facts);

// Adds the renderer of a GL context made on the render node through EGL, when only that can
// settle the path (NeedsGlRenderer). It loads the GL driver, which takes tens of
// milliseconds: for the browser module's loading thread, once WebKit (and EGL with it) is
// loaded. No GTK.
void AskGlRenderer(Facts& facts);

}  // namespace fw::gtk::rendering
