// The browser control on Win32: the system's WebBrowser control in a small OLE container of
// our own (browser_site.h has the picture of its files). This file is the control as the
// client sees it, fw::BrowserControl over the container's site: making it, navigating, and
// looking into its document.
//
// - The engine runs inside this process: it cannot end by itself while the program runs, so
//   EngineProcessEnded never comes from this control.
#include "fw/win32/browser_site.h"

#include <mshtml.h>

#include <string>

#include "fw/windows/wide.h"

namespace fw::win32 {

namespace browser_detail {

class Win32Browser final : public BrowserControl {
public:
    explicit Win32Browser(Site* site) : site_(site) { site_->owner = this; }
    ~Win32Browser() override {
        site_->owner = nullptr;
        site_->Shutdown();
        site_->Release();
    }

    BrowserEvents* events() const { return events_; }
    Site* site() const { return site_; }

    IUnknown* GetControlUnknown() override { return site_->ole; }
    void SetEvents(BrowserEvents* sink) override { events_ = sink; }

    void Navigate(const std::string& url) override {
        if (!site_->wb) return;
        site_->refresh.End();
        BSTR b = SysAllocString(windows::Wide(url).c_str());
        VARIANT empty;
        VariantInit(&empty);
        site_->wb->Navigate(b, &empty, &empty, &empty, &empty);
        SysFreeString(b);
    }
    void Refresh() override {
        if (!site_->wb) return;
        site_->refresh.Refresh(LocationUrl());
        // Past the cache: the server is always asked.
        VARIANT level;
        VariantInit(&level);
        level.vt = VT_I4;
        level.lVal = REFRESH_COMPLETELY;
        site_->wb->Refresh2(&level);
    }
    void Stop() override {
        if (!site_->wb) return;
        site_->refresh.End();
        site_->wb->Stop();
    }
    void Quit() override {
        quit_ = true;
        site_->Shutdown();
    }
    void SetSilent(bool s) override {
        silent_ = s;
        if (site_->wb) site_->wb->put_Silent(s ? VARIANT_TRUE : VARIANT_FALSE);
    }
    bool silent() const override { return site_->wb ? site_->Silent() : silent_; }
    std::string LocationUrl() const override {
        if (quit_) return "about:blank";
        BSTR b = nullptr;
        std::string url;
        if (site_->wb && SUCCEEDED(site_->wb->get_LocationURL(&b)) && b)
            url = windows::Narrow(std::wstring_view(b, SysStringLen(b)));
        SysFreeString(b);
        return url;
    }

    void Move(const Rect& r) override {
        if (site_->host) MoveWindow(site_->host, r.left, r.top, r.Width(), r.Height(), TRUE);
    }
    void Show(bool show) override {
        if (site_->host) ShowWindow(site_->host, show ? SW_SHOWNA : SW_HIDE);
    }
    bool IsVisible() const override {
        return site_->host && (GetWindowLongW(site_->host, GWL_STYLE) & WS_VISIBLE) != 0;
    }
    void Focus() override {
        if (!site_->ole || !site_->host) return;
        RECT rc;
        GetClientRect(site_->host, &rc);
        site_->ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, site_->host, &rc);
    }

    void FindElementText(const std::string& tag, const std::string& id,
                         std::function<void(std::optional<std::string>)> done) override {
        std::optional<std::string> found = Walk(tag, id);
        if (done) done(std::move(found));
    }

private:
    // The first element of the tag in the top-level document whose id is `id`.
    std::optional<std::string> Walk(const std::string& tag, const std::string& id) const {
        if (!site_->wb) return std::nullopt;
        IDispatch* docDisp = nullptr;
        if (FAILED(site_->wb->get_Document(&docDisp)) || !docDisp) return std::nullopt;
        std::optional<std::string> result;
        IHTMLDocument2* doc = nullptr;
        IHTMLElementCollection* all = nullptr;
        IDispatch* tagsDisp = nullptr;
        IHTMLElementCollection* tags = nullptr;
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        name.bstrVal = SysAllocString(windows::Wide(tag).c_str());
        if (SUCCEEDED(docDisp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc))) && doc &&
            SUCCEEDED(doc->get_all(&all)) && all && SUCCEEDED(all->tags(name, &tagsDisp)) && tagsDisp &&
            SUCCEEDED(tagsDisp->QueryInterface(IID_IHTMLElementCollection, reinterpret_cast<void**>(&tags))) && tags) {
            const std::wstring wantId = windows::Wide(id);
            long count = 0;
            tags->get_length(&count);
            for (long i = 0; i < count && !result; ++i) {
                VARIANT index, unused;
                VariantInit(&index);
                VariantInit(&unused);
                index.vt = VT_I4;
                index.lVal = i;
                IDispatch* itemDisp = nullptr;
                if (FAILED(tags->item(index, unused, &itemDisp)) || !itemDisp) continue;
                IHTMLElement* el = nullptr;
                if (SUCCEEDED(itemDisp->QueryInterface(IID_IHTMLElement, reinterpret_cast<void**>(&el))) && el) {
                    BSTR elId = nullptr;
                    if (SUCCEEDED(el->get_id(&elId)) && elId && std::wstring_view(elId, SysStringLen(elId)) == wantId) {
                        BSTR text = nullptr;
                        el->get_innerText(&text);
                        result = text ? windows::Narrow(std::wstring_view(text, SysStringLen(text))) : std::string();
                        SysFreeString(text);
                    }
                    SysFreeString(elId);
                    el->Release();
                }
                itemDisp->Release();
            }
        }
        VariantClear(&name);
        if (tags) tags->Release();
        if (tagsDisp) tagsDisp->Release();
        if (all) all->Release();
        if (doc) doc->Release();
        docDisp->Release();
        return result;
    }

    Site* site_;
    BrowserEvents* events_ = nullptr;
    bool silent_ = false;
    bool quit_ = false;
};

BrowserEvents* EventsOf(const Win32Browser& owner) { return owner.events(); }

}  // namespace browser_detail

using browser_detail::Site;
using browser_detail::Win32Browser;

IDispatch* BrowserEventSinkForTesting(BrowserControl& control) {
    auto* b = dynamic_cast<Win32Browser*>(&control);
    return b ? b->site()->sink() : nullptr;
}

std::unique_ptr<BrowserControl> CreateBrowser(HWND parent, int id, const Rect& rect) {
    if (!parent || !EnsureStarted()) return nullptr;
    auto* site = new Site();
    if (!site->Open(parent, id, rect)) {
        site->Close(false);
        site->Release();
        return nullptr;
    }
    return std::make_unique<Win32Browser>(site);
}

}  // namespace fw::win32

namespace fw {

std::unique_ptr<BrowserControl> BrowserControl::Create(Window& parent, int id, const Rect& rect,
                                                       const BrowserOptions& options) {
    (void)options;  // the system's control chooses its rendering itself
    return win32::CreateBrowser(win32::HwndOf(parent.handle()), id, rect);
}

}  // namespace fw
