// The scripted browser control of the headless desktop.
#include <algorithm>
#include <map>
#include <utility>

#include "fw/headless/browser.h"
#include "fw/backend.h"
#include "fw/common/browser_base.h"
#include "fw/dialog.h"
#include "fw/text.h"

namespace fw::headless {

namespace {

class HeadlessBrowser;
std::vector<HeadlessBrowser*>& Live() {
    static std::vector<HeadlessBrowser*> v;
    return v;
}

class HeadlessBrowser final : public fw::detail::BrowserBase, public ScriptedBrowser {
public:
    HeadlessBrowser(Window& parent, int id, const Rect& rect) : parent_(parent.handle()), id_(id), rect_(rect) {
        Live().push_back(this);
    }
    ~HeadlessBrowser() override {
        auto& v = Live();
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }

    // fw::BrowserControl
    void Navigate(const std::string& url) override {
        if (quit_) return;
        navigations_.push_back(url);
        location_ = url;
        request_ = Request::Navigate;
        engineRunning_ = true;
    }
    void Refresh() override {
        if (quit_) return;
        ++refreshes_;
        request_ = Request::Reload;
        engineRunning_ = true;
    }
    void Stop() override { ++stops_; }
    void Quit() override {
        quit_ = true;
        ReleaseSite();
    }
    std::string LocationUrl() const override { return location_; }
    void Move(const Rect& r) override { rect_ = r; }
    void Show(bool show) override { shown_ = show; }
    bool IsVisible() const override { return shown_; }
    void Focus() override {}
    void FindElementText(const std::string& tag, const std::string& id,
                         std::function<void(std::optional<std::string>)> done) override {
        auto it = elements_.find(tag + "#" + id);
        done(it == elements_.end() ? std::nullopt : it->second);
    }

    // ScriptedBrowser
    const std::vector<std::string>& navigations() const override { return navigations_; }
    int refreshes() const override { return refreshes_; }
    int stops() const override { return stops_; }
    bool quit() const override { return quit_; }
    bool silentFlag() const override { return silent_; }
    Rect rect() const override { return rect_; }
    bool shown() const override { return shown_; }
    int id() const override { return id_; }
    Handle parentHandle() const override { return parent_; }

    bool BeforeNavigate(const std::string& url) override {
        bool cancel = false;
        if (events_) events_->BeforeNavigate2(url, cancel);
        return cancel;
    }
    void NavigateComplete(const std::string& url) override {
        location_ = url;
        if (events_) events_->NavigateComplete2(url);
    }
    void DocumentComplete(const std::string& url) override {
        if (events_) events_->DocumentComplete(url);
    }
    bool NewWindow(const std::string& url, unsigned flags) override {
        if (!events_) return true;  // nobody to ask: no window of the engine's own
        bool cancel = false;
        events_->NewWindow3(url, flags, cancel);
        return cancel;
    }
    bool WindowClosing() override {
        bool cancel = false;
        if (events_) events_->WindowClosing(cancel);
        return cancel;
    }
    void TitleChange(const std::string& title) override {
        if (events_) events_->TitleChange(title);
    }
    void CompleteLoad() override {
        const Request request = std::exchange(request_, Request::None);
        if (request == Request::Reload) {
            const std::string url = location_;
            NavigateComplete(url);
            DocumentComplete(url);
            return;
        }
        if (navigations_.empty()) return;
        std::string url = navigations_.back();
        if (BeforeNavigate(url)) return;
        NavigateComplete(url);
        DocumentComplete(url);
    }
    void FailLoad() override {
        const Request request = std::exchange(request_, Request::None);
        std::string url = location_;
        if (request != Request::Reload) {
            if (navigations_.empty()) return;
            url = navigations_.back();
            if (BeforeNavigate(url)) return;
        }
        if (events_) events_->NavigateError(url);
    }
    void CrashEngine(EngineExit why) override {
        if (quit_ || !engineRunning_) return;
        engineRunning_ = false;
        request_ = Request::None;  // a load on its way dies with the page
        if (events_) events_->EngineProcessEnded(why);
    }
    bool engineRunning() const override { return engineRunning_; }
    void SetElementText(const std::string& tag, const std::string& id, std::optional<std::string> text) override {
        elements_[tag + "#" + id] = std::move(text);
    }

    ScriptResult CallExternal(const std::string& name, const std::vector<ScriptValue>& args) override {
        ScriptResult r;
        const ComPtr<IDispatch> ext = AcquireExternal();
        if (!ext) return r;
        r.hasExternal = true;
        std::u16string wname = fw::Utf8ToUtf16(name);
        LPOLESTR names[1] = {reinterpret_cast<LPOLESTR>(wname.data())};
        DISPID id = DISPID_UNKNOWN;
        if (ext->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) != S_OK) return r;
        r.nameKnown = true;
        // Script engines pass the arguments last first.
        std::vector<VARIANT> argv(args.size());
        for (size_t i = 0; i < args.size(); ++i) {
            VARIANT& v = argv[args.size() - 1 - i];
            VariantInit(&v);
            const ScriptValue& a = args[i];
            if (std::holds_alternative<std::nullptr_t>(a)) {
                v.vt = VT_NULL;
            } else if (auto* b = std::get_if<bool>(&a)) {
                v.vt = VT_BOOL;
                v.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
            } else if (auto* d = std::get_if<double>(&a)) {
                v.vt = VT_R8;
                v.dblVal = *d;
            } else if (auto* s = std::get_if<std::u16string>(&a)) {
                v.vt = VT_BSTR;
                v.bstrVal =
                    SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s->data()), static_cast<UINT>(s->size()));
            }
        }
        DISPPARAMS params{argv.empty() ? nullptr : argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
        VARIANT result;
        VariantInit(&result);
        r.hr = ext->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        r.vt = result.vt;
        r.text = fw::VariantToUtf8(result);
        VariantClear(&result);
        for (VARIANT& v : argv) VariantClear(&v);
        return r;
    }

    DWORD HostFlags() const override { return BrowserBase::HostFlags(); }
    bool ContextMenuWouldShow() const override { return !HostSuppressesContextMenu(); }

    const std::vector<ControlKeySeen>& keys() const override { return keys_; }
    void SetAcceleratorTakesKeys(bool takes) override { acceleratorTakes_ = takes; }
    bool TranslateKey(unsigned msg, WPARAM vk) {
        keys_.push_back({ControlKeySeen::Accelerator, msg, vk});
        return acceleratorTakes_;
    }
    void DispatchKey(unsigned msg, WPARAM vk) { keys_.push_back({ControlKeySeen::Page, msg, vk}); }

private:
    Handle parent_;
    int id_;
    Rect rect_;
    bool shown_ = true;
    std::vector<std::string> navigations_;
    std::string location_;
    int refreshes_ = 0;
    int stops_ = 0;
    bool quit_ = false;
    enum class Request { None, Navigate, Reload } request_ = Request::None;  // not loaded yet
    bool engineRunning_ = true;
    std::map<std::string, std::optional<std::string>> elements_;
    std::vector<ControlKeySeen> keys_;
    bool acceleratorTakes_ = false;
};

}  // namespace

bool& FailNext() {
    static bool fail = false;
    return fail;
}

void FailNextBrowserCreation() { FailNext() = true; }

std::vector<ScriptedBrowser*> Browsers() {
    std::vector<ScriptedBrowser*> out;
    for (HeadlessBrowser* b : Live()) out.push_back(b);
    return out;
}

ScriptedBrowser* FindBrowser(const Window& parent, int id) {
    for (HeadlessBrowser* b : Live())
        if (b->parentHandle() == parent.handle() && b->id() == id) return b;
    return nullptr;
}

bool KeyDownInBrowser(Window& w, int id, unsigned vk, bool alt) {
    if (!w.IsWindow() || !FindBrowser(w, id)) return false;
    if (fw::IsDisabled(w)) return true;  // a window under a modal loop takes no input
    const Handle h = w.handle();
    // The control is looked up again after each step: a handler may destroy it.
    auto control = [h, id]() -> HeadlessBrowser* {
        Window* owner = Window::FromHandle(h);
        return owner ? static_cast<HeadlessBrowser*>(FindBrowser(*owner, id)) : nullptr;
    };
    const bool sys = alt || vk == VK_F10;
    const unsigned msg = sys ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const LPARAM lp = 1 | (alt ? (LPARAM{1} << 29) : 0);
    const bool dispatch = fw::detail::RouteControlKey(w, msg, vk, lp, [&] {
        HeadlessBrowser* b = control();
        return b && b->TranslateKey(msg, vk);
    });
    if (dispatch)
        if (HeadlessBrowser* b = control()) b->DispatchKey(msg, vk);
    return true;
}

}  // namespace fw::headless

namespace fw {

std::unique_ptr<BrowserControl> BrowserControl::Create(Window& parent, int id, const Rect& rect,
                                                       const BrowserOptions&) {
    if (!parent.IsWindow()) return nullptr;
    if (headless::FailNext()) {
        headless::FailNext() = false;
        return nullptr;
    }
    return std::make_unique<headless::HeadlessBrowser>(parent, id, rect);
}

}  // namespace fw
