// Loading of the browser module, and the web engine's services that go through it (the
// clearing of website data; the cache folder is known without it).
//
// The module (and WebKit with it) is opened on a detached thread; the symbols of all the
// libraries it brings are bound there too (not lazily), which would otherwise happen
// piecemeal on the UI thread. The thread touches nothing of GTK: it hands its result to the
// UI thread through an idle source of the default main context, where the module is made and
// the waiting browser controls get their views. Once WebKit is loaded the thread also looks at
// the machine's GL for the views' rendering path (rendering_path.h), so that the answer is
// there before the first view is made and costs the UI thread nothing.
#include <gdk/gdk.h>
#include <glib.h>
#include <gmodule.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fw/gtk/browser_loader.h"
#include "fw/gtk/browser_webkit.h"
#include "fw/gtk/gtk_native.h"
#include "fw/gtk/rendering_path.h"
#include "fw/system.h"
#include "fw/trace.h"

namespace fw::gtk {

namespace {

constexpr const char* kAppDir = "raduvove";

std::string Join(const char* base, const char* leaf) {
    gchar* p = g_build_filename(base, leaf, nullptr);
    std::string s(p);
    g_free(p);
    return s;
}

void FinishLater(std::function<void()> done) {
    auto* d = new std::function<void()>(std::move(done));
    g_idle_add(
        [](gpointer data) -> gboolean {
            std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(data));
            if (*fn) (*fn)();
            return G_SOURCE_REMOVE;
        },
        d);
}

}  // namespace

namespace browser {

namespace {

enum class State { NotStarted, Loading, Ready, Failed };

// What the load thread found; handed to the UI thread with the idle source.
struct LoadResult {
    GModule* handle = nullptr;
    EntryPoint entry = nullptr;
    std::string error;
    rendering::Facts facts;  // the environment's on the way in, the machine's added
};

struct Waiter {
    unsigned ticket;
    std::function<void(Module*)> fn;
};

// UI thread only.
State g_state = State::NotStarted;
Module* g_module = nullptr;
std::vector<Waiter> g_waiters;
unsigned g_nextTicket = 1;
rendering::Path g_path = rendering::Path::Accelerated;
rendering::Facts g_facts;  // the environment's and the render nodes', once read
bool g_factsRead = false;
bool g_dmabufOff = false;  // we turned the engine's DMA-BUF renderer off

void Report(const std::string& what) {
    std::fprintf(stderr, "raduvove: %s: web pages cannot be shown\n", what.c_str());
}

void RunWaiters() {
    // One at a time from the front: a waiter may add waiters (they run at once now) or
    // cancel others.
    while (!g_waiters.empty()) {
        Waiter w = std::move(g_waiters.front());
        g_waiters.erase(g_waiters.begin());
        w.fn(g_module);
    }
}

void ReadFacts() {
    if (g_factsRead) return;
    g_factsRead = true;
    g_facts = rendering::ReadEnvironment();
    rendering::LookForRenderNode(g_facts);
    if (g_facts.override == rendering::Override::Invalid)
        std::fprintf(stderr, "raduvove: RV_RENDERING is auto, accelerated or software; choosing as for auto\n");
}

void ChoosePath(const rendering::Facts& facts) {
    rendering::Decision d = rendering::Choose(facts);
    g_path = d.path;
    if (TraceEnabled()) {
        std::string mark = std::string("rendering ") +
                           (d.path == rendering::Path::Software ? "software" : "accelerated") + ": " + d.reason;
        if (g_dmabufOff) mark += "; DMA-BUF renderer off";
        TraceMark(mark.c_str());
    }
}

gboolean OnLoaded(gpointer data) {
    std::unique_ptr<LoadResult> r(static_cast<LoadResult*>(data));
    TraceMark("browser module loaded");
    if (r->entry) {
        ChoosePath(r->facts);
        Paths paths;
        paths.cacheDir = WebCacheDirectory();
        paths.dataDir = Join(g_get_user_data_dir(), kAppDir);
        paths.extensionDir = GetModuleDir() + "webext";
        g_module = r->entry(kModuleVersion, &paths);
        if (!g_module) r->error = std::string(kModuleFile) + " belongs to another build of the program";
    }
    if (g_module) {
        g_state = State::Ready;
    } else {
        g_state = State::Failed;
        Report(r->error.empty() ? std::string("cannot load ") + kModuleFile : r->error);
        // A library that loaded but is of no use stays loaded: WebKit cannot be unloaded.
    }
    RunWaiters();
    // With no control waiting the context and its processes start anyway: the first page
    // of the program need not wait for them.
    if (g_module) g_module->Prewarm();
    return G_SOURCE_REMOVE;
}

void Load(std::string path, rendering::Facts facts) {
    auto* r = new LoadResult;
    r->facts = std::move(facts);
    // No GTK here: only the loader's work, which takes the longest. Through GModule, whose
    // lock is taken before the dynamic loader's, as on the UI thread: a library constructor
    // that opens a module itself (libsoup's does) would otherwise wait for the UI thread while
    // the UI thread, inside g_module_open, waits for the loader.
    r->handle = g_module_open(path.c_str(), G_MODULE_BIND_LOCAL);
    if (!r->handle) {
        const char* e = g_module_error();
        r->error = std::string("cannot load ") + kModuleFile + (e ? std::string(" (") + e + ")" : std::string());
    } else {
        gpointer entry = nullptr;
        if (g_module_symbol(r->handle, kEntryPoint, &entry) && entry)
            r->entry = reinterpret_cast<EntryPoint>(entry);
        else
            r->error = std::string(kModuleFile) + " has no entry point";
    }
    TraceMark("browser module opened");
    if (r->entry) rendering::AskGlRenderer(r->facts);
    // After the layout and drawing that are due: windows already exposed are painted before
    // the engine's start takes the UI thread for a while.
    g_idle_add_full(GDK_PRIORITY_REDRAW + 10, OnLoaded, r, nullptr);
}

}  // namespace

void PrepareEnvironment() {
    ReadFacts();
    if (rendering::NeedsGlRenderer(g_facts) || rendering::Choose(g_facts).path != rendering::Path::Software) return;
    if (g_getenv("WEBKIT_DISABLE_DMABUF_RENDERER")) return;  // the user's own setting stands
    g_setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", TRUE);
    g_dmabufOff = true;
}

void StartLoading() {
    if (g_state != State::NotStarted) return;
    std::string path = GetModuleDir() + kModuleFile;
    if (access(path.c_str(), R_OK) != 0) {
        g_state = State::Failed;
        Report(path + " is missing");
        return;
    }
    g_state = State::Loading;
    TraceMark("browser module loading");
    ReadFacts();
    std::thread(Load, std::move(path), g_facts).detach();
}

bool Unavailable() { return g_state == State::Failed; }

bool Accelerated(bool asked) { return rendering::Accelerate(g_path, asked); }

unsigned WhenLoaded(std::function<void(Module*)> fn) {
    if (g_state == State::NotStarted) StartLoading();
    if (g_state == State::Ready || g_state == State::Failed) {
        fn(g_module);
        return 0;
    }
    unsigned ticket = g_nextTicket++;
    if (ticket == 0) ticket = g_nextTicket++;  // wrapped
    g_waiters.push_back({ticket, std::move(fn)});
    return ticket;
}

void CancelWaiter(unsigned ticket) {
    if (ticket == 0) return;
    for (auto it = g_waiters.begin(); it != g_waiters.end(); ++it) {
        if (it->ticket == ticket) {
            g_waiters.erase(it);
            return;
        }
    }
}

}  // namespace browser

std::string WebCacheDirectory() { return Join(g_get_user_cache_dir(), kAppDir); }

void ClearWebsiteDataExceptCookies(std::function<void()> done) {
    if (!Ready()) {
        FinishLater(std::move(done));
        return;
    }
    // Waits for the module; the engine answers later in any case.
    browser::WhenLoaded([done = std::move(done)](browser::Module* m) mutable {
        if (m)
            m->ClearWebsiteDataExceptCookies(std::move(done));
        else
            FinishLater(std::move(done));
    });
}

}  // namespace fw::gtk

namespace fw {

bool MuteAllPages(bool muted) {
    if (!gtk::Ready()) return false;
    // Before the module is there no page exists: the views made once it is follow.
    gtk::browser::WhenLoaded([muted](gtk::browser::Module* m) {
        if (m) m->MuteAll(muted);
    });
    return true;
}

}  // namespace fw
