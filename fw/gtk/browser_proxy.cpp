// The browser control of the GTK back end, as the executable holds it: the control's COM face
// and host site (BrowserBase), and a WebKit view from the browser module (browser_module.h)
// once that is loaded.
//
// Creating a control never waits for the module. Until the view exists the control keeps its
// rectangle and visibility and queues what it is asked to do (navigate, refresh, stop, quit,
// focus, the document walk); the view is made with that rectangle and visibility as soon as
// the module is there, and the queue is replayed on it in order. A control whose view can
// never come (the module failed to load, or the parent window went first) behaves as one whose
// view has gone: it shows nothing and the document walk answers none.
//
// The view asks the control what the system's control asks its host (host flags, context
// menu, window.external) and hands it the page's calls of window.external, which are made
// here on the host's external object through GetIDsOfNames and Invoke, arguments reversed as
// script engines pass them.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fw/bridge_origin.h"
#include "fw/gtk/browser_loader.h"
#include "fw/gtk/browser_module.h"
#include "fw/gtk/gtk_native.h"
#include "fw/common/browser_base.h"

namespace fw::gtk {

namespace {

namespace wire = bridge;

// --- Values between the wire and VARIANTs ----------------------------------------------------

VARIANT ToVariant(const wire::Value& v) {
    VARIANT r;
    VariantInit(&r);
    switch (v.tag) {
    case wire::Tag::Null: r.vt = VT_NULL; break;
    case wire::Tag::Bool:
        r.vt = VT_BOOL;
        r.boolVal = v.b ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case wire::Tag::Int:
        r.vt = VT_I4;
        r.lVal = v.i;
        break;
    case wire::Tag::Double:
        r.vt = VT_R8;
        r.dblVal = v.d;
        break;
    case wire::Tag::String:
        r.vt = VT_BSTR;
        r.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(v.s.data()), static_cast<UINT>(v.s.size()));
        break;
    case wire::Tag::Object:
        r.vt = VT_DISPATCH;
        r.pdispVal = nullptr;
        break;  // the object itself stays in the page
    default: break;
    }
    return r;
}

wire::Value Number(double d) {
    if (d == std::trunc(d) && d >= std::numeric_limits<std::int32_t>::min() &&
        d <= std::numeric_limits<std::int32_t>::max())
        return wire::Value::Int(static_cast<std::int32_t>(d));
    return wire::Value::Double(d);
}

wire::Value FromVariant(const VARIANT& v) {
    const bool ref = (v.vt & VT_BYREF) != 0;
    if (ref && !v.byref) return wire::Value::Undefined();
    switch (v.vt & ~VT_BYREF) {
    case VT_NULL: return wire::Value::Null();
    case VT_BOOL: return wire::Value::Bool((ref ? *v.pboolVal : v.boolVal) != 0);
    case VT_I1: return wire::Value::Int(ref ? *v.pcVal : v.cVal);
    case VT_UI1: return wire::Value::Int(ref ? *v.pbVal : v.bVal);
    case VT_I2: return wire::Value::Int(ref ? *v.piVal : v.iVal);
    case VT_UI2: return wire::Value::Int(ref ? *v.puiVal : v.uiVal);
    case VT_I4: return wire::Value::Int(ref ? *v.plVal : v.lVal);
    case VT_INT: return wire::Value::Int(ref ? *v.pintVal : v.intVal);
    case VT_UI4: return Number(ref ? *v.pulVal : v.ulVal);
    case VT_UINT: return Number(ref ? *v.puintVal : v.uintVal);
    case VT_I8: return Number(static_cast<double>(ref ? *v.pllVal : v.llVal));
    case VT_UI8: return Number(static_cast<double>(ref ? *v.pullVal : v.ullVal));
    case VT_R4: return wire::Value::Double(ref ? *v.pfltVal : v.fltVal);
    case VT_R8: return wire::Value::Double(ref ? *v.pdblVal : v.dblVal);
    case VT_BSTR: {
        BSTR s = ref ? *v.pbstrVal : v.bstrVal;
        return wire::Value::String(s ? std::u16string(reinterpret_cast<const char16_t*>(s), SysStringLen(s))
                                     : std::u16string());
    }
    default: return wire::Value::Undefined();  // empty, objects, dates, ...: undefined in script
    }
}

// window.external.NAME(args...) on the external object. Touches nothing but its arguments.
void InvokeExternal(IDispatch* ext, const std::u16string& name, const std::vector<wire::Value>& args,
                    wire::Response& rs) {
    BSTR bname = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(name.data()), static_cast<UINT>(name.size()));
    if (!bname) {
        rs.status = wire::Status::Failed;
        return;
    }
    LPOLESTR names[1] = {bname};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = ext->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    SysFreeString(bname);
    if (FAILED(hr)) {
        rs.status = wire::Status::UnknownName;
        return;
    }
    // Script engines pass the arguments last first.
    const std::size_t n = args.size();
    std::vector<VARIANT> argv(n);
    for (std::size_t k = 0; k < n; ++k) argv[n - 1 - k] = ToVariant(args[k]);
    DISPPARAMS dp{n ? argv.data() : nullptr, nullptr, static_cast<UINT>(n), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info{};
    UINT argErr = 0;
    hr = ext->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &result, &info, &argErr);
    for (VARIANT& a : argv) VariantClear(&a);
    if (SUCCEEDED(hr)) {
        rs.status = wire::Status::Ok;
        rs.value = FromVariant(result);
    } else {
        rs.status = wire::Status::Failed;
        if (hr == DISP_E_EXCEPTION && info.bstrDescription) {
            rs.value = wire::Value::String(std::u16string(reinterpret_cast<const char16_t*>(info.bstrDescription),
                                                          SysStringLen(info.bstrDescription)));
        } else {
            char text[48];
            std::snprintf(text, sizeof text, "Call failed (0x%08X)", static_cast<unsigned>(hr));
            rs.value = wire::Value::String(std::u16string(text, text + std::strlen(text)));
        }
    }
    VariantClear(&result);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
}

// --- The control ----------------------------------------------------------------------------

class BrowserProxy final : public detail::BrowserBase {
public:
    BrowserProxy(GtkFixed* fixed, const Rect& rect, int id, const BrowserOptions& options);
    ~BrowserProxy() override;

    void Navigate(const std::string& url) override;
    void Refresh() override;
    void Stop() override;
    void Quit() override;
    std::string LocationUrl() const override;
    void Move(const Rect& rect) override;
    void Show(bool show) override;
    bool IsVisible() const override;
    void Focus() override;
    void FindElementText(const std::string& tag, const std::string& id,
                         std::function<void(std::optional<std::string>)> done) override;

private:
    using Alive = std::weak_ptr<char>;
    using WalkDone = std::function<void(std::optional<std::string>)>;

    // The view's questions, answered for the host.
    class Host final : public browser::ViewHost {
    public:
        explicit Host(BrowserProxy& owner) : owner_(owner) {}
        DWORD HostFlags() override { return owner_.HostFlags(); }
        bool HostTakesContextMenu() override { return owner_.HostSuppressesContextMenu(); }
        bool HasExternal(const wire::Request& query) override;
        void CallExternal(const std::u16string& name, const std::vector<wire::Value>& args,
                          wire::Response& rs) override;
        BrowserEvents* Events() override { return owner_.quit_ ? nullptr : owner_.events_; }
        bool Silent() override { return owner_.silent_; }

    private:
        BrowserProxy& owner_;
    };

    // What was asked before the view existed.
    struct Pending {
        enum class Op { Navigate, Refresh, Stop, Quit, Focus, Find } op;
        std::string a, b;  // the address; the walk's tag and id
        WalkDone done;
    };

    bool Waiting() const { return !view_ && !dead_; }
    void Attach(browser::Module* module);
    void GiveUp();  // no view will come
    void AnswerLater(WalkDone done);

    std::shared_ptr<char> alive_ = std::make_shared<char>(0);
    GtkWidget* fixed_ = nullptr;  // the parent's container; weak (cleared when it goes)
    Rect rect_{};
    bool visible_ = true;
    int id_ = 0;
    BrowserOptions options_;
    unsigned ticket_ = 0;  // waiting for the module
    bool dead_ = false;    // no view will come
    bool quit_ = false;
    std::string location_;  // what LocationUrl answers until the view does
    std::vector<Pending> pending_;
    Host host_{*this};
    std::unique_ptr<browser::View> view_;  // after host_: goes first
};

BrowserProxy::BrowserProxy(GtkFixed* fixed, const Rect& rect, int id, const BrowserOptions& options)
    : fixed_(GTK_WIDGET(fixed)), rect_(rect), id_(id), options_(options) {
    g_object_add_weak_pointer(G_OBJECT(fixed_), reinterpret_cast<gpointer*>(&fixed_));
    ticket_ = browser::WhenLoaded([this](browser::Module* m) { Attach(m); });
}

BrowserProxy::~BrowserProxy() {
    alive_.reset();
    browser::CancelWaiter(ticket_);
    view_.reset();
    if (fixed_) g_object_remove_weak_pointer(G_OBJECT(fixed_), reinterpret_cast<gpointer*>(&fixed_));
}

void BrowserProxy::Attach(browser::Module* module) {
    ticket_ = 0;
    if (!module || !fixed_) return GiveUp();
    BrowserOptions options = options_;
    options.accelerated = browser::Accelerated(options_.accelerated);  // what this machine does best
    view_.reset(module->CreateView(GTK_FIXED(fixed_), rect_, visible_, id_, options, &host_));
    if (!view_) return GiveUp();
    // The view no longer needs our weak hold on the container: it keeps its own.
    g_object_remove_weak_pointer(G_OBJECT(fixed_), reinterpret_cast<gpointer*>(&fixed_));
    fixed_ = nullptr;
    std::vector<Pending> ops = std::move(pending_);
    pending_.clear();
    Alive alive = alive_;
    for (Pending& p : ops) {
        switch (p.op) {
        case Pending::Op::Navigate: view_->Navigate(p.a); break;
        case Pending::Op::Refresh: view_->Refresh(); break;
        case Pending::Op::Stop: view_->Stop(); break;
        case Pending::Op::Quit: view_->Quit(); break;
        case Pending::Op::Focus: view_->Focus(); break;
        case Pending::Op::Find: view_->FindElementText(p.a, p.b, std::move(p.done)); break;
        }
        if (alive.expired()) return;
    }
}

void BrowserProxy::GiveUp() {
    dead_ = true;
    std::vector<Pending> ops = std::move(pending_);
    pending_.clear();
    for (Pending& p : ops)
        if (p.op == Pending::Op::Find && p.done) AnswerLater(std::move(p.done));
}

void BrowserProxy::AnswerLater(WalkDone done) {
    struct Walk {
        Alive alive;
        WalkDone done;
    };
    g_idle_add(
        [](gpointer data) -> gboolean {
            std::unique_ptr<Walk> walk(static_cast<Walk*>(data));
            if (!walk->alive.expired()) walk->done(std::nullopt);
            return G_SOURCE_REMOVE;
        },
        new Walk{alive_, std::move(done)});
}

void BrowserProxy::Navigate(const std::string& url) {
    std::string u = ValidUtf8(url);
    if (view_) return view_->Navigate(u);
    if (!Waiting() || quit_) return;
    location_ = u.empty() ? "about:blank" : u;
    pending_.push_back({Pending::Op::Navigate, std::move(u), {}, {}});
}

void BrowserProxy::Refresh() {
    if (view_) return view_->Refresh();
    if (Waiting()) pending_.push_back({Pending::Op::Refresh, {}, {}, {}});
}

void BrowserProxy::Stop() {
    if (view_) return view_->Stop();
    if (Waiting()) pending_.push_back({Pending::Op::Stop, {}, {}, {}});
}

void BrowserProxy::Quit() {
    if (quit_) return;
    quit_ = true;  // from here on no events and no window.external
    if (view_) {
        view_->Quit();
    } else if (Waiting()) {
        location_ = "about:blank";
        pending_.push_back({Pending::Op::Quit, {}, {}, {}});
    }
    ReleaseSite();
}

std::string BrowserProxy::LocationUrl() const { return view_ ? view_->LocationUrl() : location_; }

void BrowserProxy::Move(const Rect& rect) {
    if (view_) return view_->Move(rect);
    rect_ = rect;
}

void BrowserProxy::Show(bool show) {
    if (view_) return view_->Show(show);
    visible_ = show;
}

bool BrowserProxy::IsVisible() const {
    if (view_) return view_->IsVisible();
    return Waiting() && fixed_ && visible_;
}

void BrowserProxy::Focus() {
    if (view_) return view_->Focus();
    if (Waiting()) pending_.push_back({Pending::Op::Focus, {}, {}, {}});
}

void BrowserProxy::FindElementText(const std::string& tag, const std::string& id, WalkDone done) {
    if (!done) return;
    if (view_) return view_->FindElementText(ValidUtf8(tag), ValidUtf8(id), std::move(done));
    if (Waiting())
        pending_.push_back({Pending::Op::Find, ValidUtf8(tag), ValidUtf8(id), std::move(done)});
    else
        AnswerLater(std::move(done));
}

bool BrowserProxy::Host::HasExternal(const wire::Request& query) {
    if (!owner_.AcquireExternal()) return false;
    return query.mainFrame || query.sameOrigin || fw::FrameMayUseBridge(query.topUrl, query.frameUrl);
}

void BrowserProxy::Host::CallExternal(const std::u16string& name, const std::vector<wire::Value>& args,
                                      wire::Response& rs) {
    rs.status = wire::Status::NoExternal;
    // The host object stays while the call runs, even if the call closes the window that
    // owns this control (the host deletes the external object when it goes).
    const ComPtr<IOleClientSite> site(owner_.ClientSite());
    if (!site) return;
    if (const ComPtr<IDispatch> ext = owner_.AcquireExternal())
        InvokeExternal(ext.Get(), name, args, rs);  // the control may be gone afterwards
}

}  // namespace

}  // namespace fw::gtk

namespace fw {

std::unique_ptr<BrowserControl> BrowserControl::Create(Window& parent, int id, const Rect& rect,
                                                       const BrowserOptions& options) {
    if (!gtk::Ready()) return nullptr;
    GtkFixed* fixed = gtk::ContainerOf(parent.native());
    if (!fixed) return nullptr;
    gtk::browser::StartLoading();
    if (gtk::browser::Unavailable()) return nullptr;
    return std::make_unique<gtk::BrowserProxy>(fixed, rect, id, options);
}

}  // namespace fw
