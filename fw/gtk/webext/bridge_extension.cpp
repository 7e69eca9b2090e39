// The client's web-process extension: gives page script a synchronous window.external.
//
// WebKit loads this library into every web process of the client's web context. Whenever a
// frame (the main frame or any iframe) gets a fresh window object, the extension asks the UI
// process whether that frame gets the page's external object (a frame of another site than
// the page's and the platform's does not). If it does,
// window.external becomes an object on which every property is a function; calling
// window.external.NAME(args...) sends NAME and the arguments to the UI process over a
// blocking UNIX socket and returns the answer, so the call is synchronous as in the system
// browser control. A name the external object does not know throws a TypeError; a UI
// process that went away makes calls return undefined.
//
// The JavaScriptCore C API is used (rather than the GObject one) because it hands strings
// over as the UTF-16 units they are: embedded NULs and unpaired surrogates survive the trip.
//
// It also gives the web process the client's font aliases (font_aliases.h), before any page.
#include <JavaScriptCore/JavaScript.h>
#include <fontconfig/fontconfig.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <webkit2/webkit-web-extension.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "fw/gtk/browser_bridge_wire.h"
#include "fw/posix/font_aliases.h"

namespace {

namespace wire = fw::gtk::bridge;

// How long a call waits for the UI process. The UI process answers at once unless the
// client is wedged; a wedged client must not hang the page for ever.
constexpr int kAnswerTimeoutMs = 60'000;

// The same message the system's script engine gives for a name the object does not support.
constexpr const char* kNoSuchMember = "Object doesn't support this property or method";

std::string g_socketPath;
int g_fd = -1;
std::uint32_t g_seq = 0;

// --- The connection to the UI process ------------------------------------------------------

void Drop() {
    if (g_fd >= 0) close(g_fd);
    g_fd = -1;
}

bool Connect() {
    if (g_fd >= 0) return true;
    if (g_socketPath.empty()) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (g_socketPath.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, g_socketPath.c_str(), g_socketPath.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int r;
    do r = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    while (r < 0 && errno == EINTR);
    if (r < 0) {
        close(fd);
        return false;
    }
    g_fd = fd;
    return true;
}

bool WriteAll(const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t k = send(g_fd, p, n, MSG_NOSIGNAL);
        if (k < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

bool ReadAll(char* p, std::size_t n) {
    while (n > 0) {
        pollfd pfd{g_fd, POLLIN, 0};
        int r = poll(&pfd, 1, kAnswerTimeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;  // error or no answer in time
        ssize_t k = recv(g_fd, p, n, 0);
        if (k < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        if (k == 0) return false;  // the UI process closed the connection
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

// One request and its answer. False when the UI process could not be asked or answered
// nonsense; the connection is then dropped (a late answer can never be taken for the
// answer to a later request) and made anew on the next request.
bool Exchange(wire::Request& rq, wire::Response& rs) {
    if (!Connect()) return false;
    rq.seq = ++g_seq;
    std::string frame;
    if (!wire::EncodeRequest(rq, frame)) return false;  // too large to send: nothing was sent
    if (!WriteAll(frame.data(), frame.size())) {
        Drop();
        return false;
    }
    char header[4];
    if (!ReadAll(header, sizeof header)) {
        Drop();
        return false;
    }
    std::uint32_t len = wire::FrameLength(header);
    if (!wire::FrameLengthValid(len)) {
        Drop();
        return false;
    }
    std::string payload(len, '\0');
    if (!ReadAll(payload.data(), len) || !wire::DecodeResponse(payload.data(), len, rs) || rs.seq != rq.seq) {
        Drop();
        return false;
    }
    return true;
}

// --- Values between JavaScript and the wire ------------------------------------------------

wire::Value FromJs(JSContextRef ctx, JSValueRef v) {
    switch (JSValueGetType(ctx, v)) {
    case kJSTypeNull: return wire::Value::Null();
    case kJSTypeBoolean: return wire::Value::Bool(JSValueToBoolean(ctx, v));
    case kJSTypeNumber: {
        double d = JSValueToNumber(ctx, v, nullptr);
        if (std::isfinite(d) && d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0 &&
            !(d == 0 && std::signbit(d)))
            return wire::Value::Int(static_cast<std::int32_t>(d));
        return wire::Value::Double(d);
    }
    case kJSTypeString: {
        JSStringRef s = JSValueToStringCopy(ctx, v, nullptr);
        if (!s) return wire::Value::String({});
        const JSChar* units = JSStringGetCharactersPtr(s);
        std::u16string text(reinterpret_cast<const char16_t*>(units), JSStringGetLength(s));
        JSStringRelease(s);
        return wire::Value::String(std::move(text));
    }
    case kJSTypeObject: return wire::Value::Object();
    default:  // undefined, symbols, big integers
        return wire::Value::Undefined();
    }
}

JSValueRef ToJs(JSContextRef ctx, const wire::Value& v) {
    switch (v.tag) {
    case wire::Tag::Null: return JSValueMakeNull(ctx);
    case wire::Tag::Bool: return JSValueMakeBoolean(ctx, v.b);
    case wire::Tag::Int: return JSValueMakeNumber(ctx, v.i);
    case wire::Tag::Double: return JSValueMakeNumber(ctx, v.d);
    case wire::Tag::String: {
        JSStringRef s = JSStringCreateWithCharacters(reinterpret_cast<const JSChar*>(v.s.data()), v.s.size());
        JSValueRef r = JSValueMakeString(ctx, s);
        JSStringRelease(s);
        return r;
    }
    default: return JSValueMakeUndefined(ctx);
    }
}

JSStringRef Str(const char* s) { return JSStringCreateWithUTF8CString(s); }

JSValueRef Property(JSContextRef ctx, JSObjectRef obj, const char* name) {
    JSStringRef n = Str(name);
    JSValueRef v = JSObjectGetProperty(ctx, obj, n, nullptr);
    JSStringRelease(n);
    return v;
}

// A TypeError made by the frame's own constructor (kept on the call object when it was
// installed, before any page script ran); a plain Error if that fails.
JSValueRef MakeTypeError(JSContextRef ctx, JSObjectRef callObject, const char* message) {
    JSStringRef m = Str(message);
    JSValueRef arg = JSValueMakeString(ctx, m);
    JSStringRelease(m);
    JSValueRef ctor = Property(ctx, callObject, "typeError");
    if (ctor && JSValueIsObject(ctx, ctor)) {
        JSObjectRef c = JSValueToObject(ctx, ctor, nullptr);
        if (c && JSObjectIsConstructor(ctx, c)) {
            JSValueRef exc = nullptr;
            JSObjectRef e = JSObjectCallAsConstructor(ctx, c, 1, &arg, &exc);
            if (e && !exc) return e;
        }
    }
    return JSObjectMakeError(ctx, 1, &arg, nullptr);
}

JSValueRef MakeError(JSContextRef ctx, const wire::Value& message) {
    JSValueRef arg = message.tag == wire::Tag::String ? ToJs(ctx, message) : nullptr;
    if (!arg) {
        JSStringRef m = Str("Unspecified error");
        arg = JSValueMakeString(ctx, m);
        JSStringRelease(m);
    }
    return JSObjectMakeError(ctx, 1, &arg, nullptr);
}

// --- The call object ---------------------------------------------------------------------

struct CallInfo {
    std::uint64_t page;
};

// call(name, args...): what window.external.NAME(args...) comes down to (the property's
// function is this object bound to the name).
JSValueRef OnCall(JSContextRef ctx, JSObjectRef function, JSObjectRef, std::size_t argc, const JSValueRef argv[],
                  JSValueRef* exception) {
    auto* info = static_cast<CallInfo*>(JSObjectGetPrivate(function));
    if (!info || argc < 1 || !JSValueIsString(ctx, argv[0])) return JSValueMakeUndefined(ctx);
    wire::Request rq;
    rq.kind = wire::Kind::Call;
    rq.page = info->page;
    rq.name = FromJs(ctx, argv[0]).s;
    rq.args.reserve(argc - 1);
    for (std::size_t k = 1; k < argc; ++k) rq.args.push_back(FromJs(ctx, argv[k]));
    wire::Response rs;
    if (!Exchange(rq, rs)) return JSValueMakeUndefined(ctx);
    switch (rs.status) {
    case wire::Status::Ok: return ToJs(ctx, rs.value);
    case wire::Status::UnknownName:
        if (exception) *exception = MakeTypeError(ctx, function, kNoSuchMember);
        return JSValueMakeUndefined(ctx);
    case wire::Status::Failed:
        if (exception) *exception = MakeError(ctx, rs.value);
        return JSValueMakeUndefined(ctx);
    default: return JSValueMakeUndefined(ctx);
    }
}

void OnFinalize(JSObjectRef object) { delete static_cast<CallInfo*>(JSObjectGetPrivate(object)); }

JSClassRef CallClass() {
    static JSClassRef cls = [] {
        JSClassDefinition def = kJSClassDefinitionEmpty;
        def.className = "ExternalCall";
        def.callAsFunction = OnCall;
        def.finalize = OnFinalize;
        return JSClassCreate(&def);
    }();
    return cls;
}

// Makes window.external from the call object. Runs before any script of the new document,
// so the built-ins it captures are the frame's own. Every string-named property is a
// function (the same one on every read); assignments are ignored.
constexpr const char* kFactory = R"JS((function (call) {
  'use strict';
  var bind = Function.prototype.bind, apply = Reflect.apply;
  var cache = Object.create(null);
  return new Proxy(Object.create(null), {
    get: function (target, key) {
      if (typeof key !== 'string') return undefined;
      var f = cache[key];
      if (f === undefined) f = cache[key] = apply(bind, call, [null, key]);
      return f;
    },
    has: function (target, key) { return typeof key === 'string'; },
    set: function () { return true; },
    defineProperty: function () { return true; },
    deleteProperty: function () { return true; }
  });
}))JS";

void Install(JSGlobalContextRef ctx, std::uint64_t page) {
    JSObjectRef global = JSContextGetGlobalObject(ctx);
    JSObjectRef call = JSObjectMake(ctx, CallClass(), new CallInfo{page});
    JSStringRef name = Str("typeError");
    JSObjectSetProperty(ctx, call, name, Property(ctx, global, "TypeError"),
                        kJSPropertyAttributeReadOnly | kJSPropertyAttributeDontEnum | kJSPropertyAttributeDontDelete,
                        nullptr);
    JSStringRelease(name);

    JSStringRef src = Str(kFactory);
    JSValueRef exc = nullptr;
    JSValueRef factory = JSEvaluateScript(ctx, src, nullptr, nullptr, 1, &exc);
    JSStringRelease(src);
    if (exc || !factory || !JSValueIsObject(ctx, factory)) return;
    JSObjectRef f = JSValueToObject(ctx, factory, nullptr);
    JSValueRef arg = call;
    JSValueRef external = JSObjectCallAsFunction(ctx, f, nullptr, 1, &arg, &exc);
    if (exc || !external) return;
    name = Str("external");
    JSObjectSetProperty(ctx, global, name, external, kJSPropertyAttributeReadOnly | kJSPropertyAttributeDontDelete,
                        nullptr);
    JSStringRelease(name);
}

// What script in the frame answers for `expr`, as text ("" when it throws or gives no
// string). It runs in a script world of the extension's own, where nothing that page script
// changed is visible.
std::string Ask(WebKitFrame* frame, const char* expr) {
    static WebKitScriptWorld* const world = webkit_script_world_new();
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    JSGlobalContextRef ctx = frame ? webkit_frame_get_javascript_context_for_script_world(frame, world) : nullptr;
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (!ctx) return {};
    JSStringRef src = Str(expr);
    JSValueRef exc = nullptr;
    JSValueRef v = JSEvaluateScript(ctx, src, nullptr, nullptr, 1, &exc);
    JSStringRelease(src);
    if (exc || !v || !JSValueIsString(ctx, v)) return {};
    JSStringRef text = JSValueToStringCopy(ctx, v, nullptr);
    if (!text) return {};
    std::string out(JSStringGetMaximumUTF8CStringSize(text), '\0');
    out.resize(JSStringGetUTF8CString(text, out.data(), out.size()) - 1);
    JSStringRelease(text);
    return out;
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer) {
    wire::Request rq;
    rq.kind = wire::Kind::Query;
    rq.page = webkit_web_page_get_id(page);
    // The UI process decides which frames get it: the page's own document, frames that may
    // script it (the same origin: the engine's own check, which also knows about:blank and
    // srcdoc frames), and frames whose origin is one of the platform's.
    rq.mainFrame = webkit_frame_is_main_frame(frame);
    if (!rq.mainFrame) {
        rq.sameOrigin =
            Ask(frame, "(function () { try { return top.document ? 'y' : ''; } catch (e) { return ''; } })()") == "y";
        rq.frameUrl = Ask(frame, "self.origin");
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        rq.topUrl = Ask(webkit_web_page_get_main_frame(page), "self.origin");
        G_GNUC_END_IGNORE_DEPRECATIONS
    }
    wire::Response rs;
    if (!Exchange(rq, rs) || rs.status != wire::Status::Ok) return;  // no window.external
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    JSGlobalContextRef ctx = webkit_frame_get_javascript_context_for_script_world(frame, world);
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (ctx) Install(ctx, rq.page);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension*,
                                                                               const GVariant* data) {
    if (FcInit())
        FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(fw::kFontAliasesXml),
                                       FcTrue);
    // The UI process hands over the socket's path as "(s)".
    auto* v = const_cast<GVariant*>(data);
    if (v && g_variant_is_of_type(v, G_VARIANT_TYPE("(s)"))) {
        const char* path = nullptr;
        g_variant_get(v, "(&s)", &path);
        if (path) g_socketPath = path;
    }
    if (g_socketPath.empty()) return;  // no bridge: pages get no window.external
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(OnWindowObjectCleared),
                     nullptr);
}
