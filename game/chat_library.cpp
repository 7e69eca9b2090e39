#include "game/chat_library.h"

#include <cstdio>
#include <mutex>

#include "fw/library.h"
#include "fw/text.h"
#include "shared/messages.h"

namespace chat {

namespace {

// The library of the process: loaded by the UI thread, read by it only.
fw::LibraryHandle g_hImLibrary = nullptr;

template <class Fn>
Fn Export(const char* name) {
    // Exports are looked up at every use, as the library may be a newer one than we know.
    return reinterpret_cast<Fn>(fw::FindSymbol(g_hImLibrary, name));
}

const char* Arg(const std::string& s) { return s.c_str(); }

struct Inbox {
    std::mutex m;
    fw::Handle target = fw::kNoWindow;
    std::string lastText;
};

Inbox& TheInbox() {
    // Never destroyed: the library's thread may call back while the process ends.
    static Inbox* inbox = new Inbox;
    return *inbox;
}

}  // namespace

std::string LibraryFileName() { return fw::SharedLibraryName("SupportIM"); }

bool LoadLibraryFrom(const std::string& dir) {
    if (g_hImLibrary) return true;
    std::string why;
    g_hImLibrary = fw::LoadSharedLibrary(dir + LibraryFileName(), &why);
    // Without the library there is no customer service, and nothing to tell the player.
    if (!g_hImLibrary) std::fprintf(stderr, "raduvove: no customer-service chat library: %s\n", why.c_str());
    return g_hImLibrary != nullptr;
}

bool LibraryLoaded() { return g_hImLibrary != nullptr; }

void ForgetLibraryForTesting() { g_hImLibrary = nullptr; }

std::optional<bool> Init(const std::string& csHost, const ServiceFields& f) {
    auto init = Export<SupportImInitFn>(SUPPORTIM_EXPORT_INIT);
    if (!init) return std::nullopt;
    const std::string host = fw::Utf8ToSystem(csHost);
    const int r = init(Arg(host), SUPPORTIM_SERVICE_ACCOUNT, SUPPORTIM_SERVICE_NAME, Arg(f[1]), Arg(f[4]), Arg(f[2]),
                       Arg(f[5]), Arg(f[3]), Arg(f[6]), SUPPORTIM_CHAT_TYPE);
    return (r & 0xFF) != 0;  // the low byte answers
}

std::optional<bool> RegisterCallback() {
    auto ongetlok = Export<SupportImOnGetLokFn>(SUPPORTIM_EXPORT_ONGETLOK);
    if (!ongetlok) return std::nullopt;
    ongetlok(&ImInbox::OnMessage);
    return true;
}

std::optional<bool> SetAcc(const ServiceFields& f) {
    auto setacc = Export<SupportImSetAccFn>(SUPPORTIM_EXPORT_SETACC);
    if (!setacc) return std::nullopt;
    const int r = setacc(SUPPORTIM_SERVICE_ACCOUNT, SUPPORTIM_SERVICE_NAME, SUPPORTIM_ASK_PREFIX_CP936, Arg(f[1]));
    return (r & 0xFF) != 0;
}

std::optional<std::string> SetLnk(const ServiceFields& f) {
    auto setlnk = Export<SupportImSetLnkFn>(SUPPORTIM_EXPORT_SETLNK);
    if (!setlnk) return std::nullopt;
    const char* text =
        setlnk(SUPPORTIM_SERVICE_ACCOUNT, SUPPORTIM_SERVICE_NAME, Arg(f[0]), SUPPORTIM_ASK_PREFIX_CP936, Arg(f[1]));
    return fw::SanitizeUtf8(text ? text : "");  // the library's buffer: copied at once
}

void ImInbox::SetTarget(fw::Handle window) {
    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    in.target = window;
}

void ImInbox::ClearTarget(fw::Handle window) {
    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    if (in.target == window) in.target = fw::kNoWindow;
}

std::string ImInbox::LastText() {
    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    return in.lastText;
}

void ImInbox::SetLastText(std::string utf8) {
    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    in.lastText = std::move(utf8);
}

void ImInbox::ResetForTesting() {
    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    in.target = fw::kNoWindow;
    in.lastText.clear();
}

int SUPPORTIM_STDCALL ImInbox::OnMessage(const char* utf8Text) {
    // The text is valid only during this call: copied before anything else.
    std::string text = fw::SanitizeUtf8(utf8Text ? utf8Text : "");
    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    if (in.target == fw::kNoWindow) return 1;  // no game window: dropped
    in.lastText = std::move(text);
    // Posting is safe from any thread; to a window that has just gone it is dropped.
    fw::Window::Post(in.target, WM_IM_ARRIVED);
    return 1;
}

}  // namespace chat
