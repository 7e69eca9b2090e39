// The GL renderer of the machine's render node, for the rendering path (rendering_path.h).
//
// EGL is opened at run time (the executable links no GL; WebKit, loaded before this runs,
// has already loaded libEGL). A context without any surface is made on Mesa's surfaceless
// platform, which takes the render node (and falls back to its software renderer by itself
// when the node's driver cannot be used), else on the first EGL device; its GL_RENDERER is
// the answer. Everything made is destroyed again before this returns, so the engine later
// finds EGL as it would have.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "fw/gtk/rendering_path.h"

namespace fw::gtk::rendering {

namespace {

constexpr unsigned kGlRenderer = 0x1F01;  // GL_RENDERER
using GetString = const unsigned char* (*)(unsigned);

bool HasExtension(const char* list, const char* name) {
    if (!list) return false;
    const std::size_t n = std::strlen(name);
    for (const char* p = std::strstr(list, name); p; p = std::strstr(p + 1, name)) {
        const bool starts = p == list || p[-1] == ' ';
        const bool ends = p[n] == '\0' || p[n] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

class Egl {
public:
    Egl() {
        lib_ = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!lib_) return;
        getProc_ = reinterpret_cast<PFNEGLGETPROCADDRESSPROC>(dlsym(lib_, "eglGetProcAddress"));
        if (!getProc_) return;
        Load(queryString_, "eglQueryString");
        Load(getPlatformDisplay_, "eglGetPlatformDisplayEXT");
        Load(queryDevices_, "eglQueryDevicesEXT");
        Load(initialize_, "eglInitialize");
        Load(terminate_, "eglTerminate");
        Load(bindApi_, "eglBindAPI");
        Load(chooseConfig_, "eglChooseConfig");
        Load(createContext_, "eglCreateContext");
        Load(destroyContext_, "eglDestroyContext");
        Load(makeCurrent_, "eglMakeCurrent");
        Load(releaseThread_, "eglReleaseThread");
        Load(glGetString_, "glGetString");
    }
    ~Egl() {
        if (releaseThread_) releaseThread_();
        if (lib_) dlclose(lib_);
    }
    Egl(const Egl&) = delete;
    Egl& operator=(const Egl&) = delete;

    std::string Renderer() {
        if (!queryString_ || !getPlatformDisplay_ || !initialize_ || !terminate_ || !bindApi_ || !chooseConfig_ ||
            !createContext_ || !destroyContext_ || !makeCurrent_ || !glGetString_)
            return {};
        const char* client = queryString_(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (HasExtension(client, "EGL_MESA_platform_surfaceless")) {
            std::string r =
                RendererOn(getPlatformDisplay_(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
            if (!r.empty()) return r;
        }
        if (HasExtension(client, "EGL_EXT_platform_device") && queryDevices_) {
            EGLDeviceEXT device = nullptr;
            EGLint count = 0;
            if (queryDevices_(1, &device, &count) && count > 0)
                return RendererOn(getPlatformDisplay_(EGL_PLATFORM_DEVICE_EXT, device, nullptr));
        }
        return {};
    }

private:
    // Core functions from the library, extensions (and GL) through eglGetProcAddress.
    template <typename Fn>
    void Load(Fn& fn, const char* name) {
        void* sym = dlsym(lib_, name);
        fn = sym ? reinterpret_cast<Fn>(sym) : reinterpret_cast<Fn>(getProc_(name));
    }

    std::string RendererOn(EGLDisplay dpy) {
        if (dpy == EGL_NO_DISPLAY) return {};
        EGLint major = 0, minor = 0;
        if (!initialize_(dpy, &major, &minor)) return {};
        std::string renderer;
        const EGLint configAttrs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
        const EGLint contextAttrs[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint configs = 0;
        if (HasExtension(queryString_(dpy, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context") &&
            bindApi_(EGL_OPENGL_ES_API) && chooseConfig_(dpy, configAttrs, &config, 1, &configs) && configs > 0) {
            EGLContext ctx = createContext_(dpy, config, EGL_NO_CONTEXT, contextAttrs);
            if (ctx != EGL_NO_CONTEXT) {
                if (makeCurrent_(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx)) {
                    const unsigned char* s = glGetString_(kGlRenderer);
                    if (s) renderer = reinterpret_cast<const char*>(s);
                    makeCurrent_(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
                }
                destroyContext_(dpy, ctx);
            }
        }
        terminate_(dpy);
        return renderer;
    }

    void* lib_ = nullptr;
    PFNEGLGETPROCADDRESSPROC getProc_ = nullptr;
    PFNEGLQUERYSTRINGPROC queryString_ = nullptr;
    PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay_ = nullptr;
    PFNEGLQUERYDEVICESEXTPROC queryDevices_ = nullptr;
    PFNEGLINITIALIZEPROC initialize_ = nullptr;
    PFNEGLTERMINATEPROC terminate_ = nullptr;
    PFNEGLBINDAPIPROC bindApi_ = nullptr;
    PFNEGLCHOOSECONFIGPROC chooseConfig_ = nullptr;
    PFNEGLCREATECONTEXTPROC createContext_ = nullptr;
    PFNEGLDESTROYCONTEXTPROC destroyContext_ = nullptr;
    PFNEGLMAKECURRENTPROC makeCurrent_ = nullptr;
    PFNEGLRELEASETHREADPROC releaseThread_ = nullptr;
    GetString glGetString_ = nullptr;
};

}  // namespace

void AskGlRenderer(Facts& facts) {
    if (!NeedsGlRenderer(facts)) return;
    Egl egl;
    facts.glRenderer = egl.Renderer();
}

}  // namespace fw::gtk::rendering
