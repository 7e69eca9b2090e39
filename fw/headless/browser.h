#pragma once
// The headless desktop's scripted browser: tests read what the client asked of its browser
// controls and play the page's part (navigation events, script calls through
// window.external, the document the client walks).
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "fw/browser.h"
#include "fw/com.h"
#include "fw/geometry.h"
#include "fw/window.h"

namespace fw::headless {

// A script value as a page passes it: undefined, null, a boolean, a number or a string
// (UTF-16 units, so tests can pass unpaired surrogates and NULs).
using ScriptValue = std::variant<std::monostate, std::nullptr_t, bool, double, std::u16string>;

struct ScriptResult {
    bool hasExternal = false;  // the page had a window.external at all
    bool nameKnown = false;    // GetIDsOfNames accepted the name
    HRESULT hr = E_FAIL;       // Invoke's answer
    VARTYPE vt = VT_EMPTY;     // the result's type
    std::string text;          // the result as text (strings, numbers)
};

// A key as it reached the control: through its accelerator translation (the system's
// control does what a browser does with such keys: Tab, the clipboard keys, Backspace going
// back), or dispatched to the page (typing).
struct ControlKeySeen {
    enum Way { Accelerator, Page } way;
    unsigned message;
    WPARAM vk;
    bool operator==(const ControlKeySeen&) const = default;
};

class ScriptedBrowser {
public:
    virtual ~ScriptedBrowser() = default;

    // What the client did with the control.
    virtual const std::vector<std::string>& navigations() const = 0;
    virtual int refreshes() const = 0;  // each asked the server again (BrowserControl::Refresh)
    virtual int stops() const = 0;
    virtual bool quit() const = 0;
    virtual bool silentFlag() const = 0;
    virtual Rect rect() const = 0;
    virtual bool shown() const = 0;
    virtual int id() const = 0;
    virtual Handle parentHandle() const = 0;

    // The page's part. Each answers whether the client cancelled (a new window with no sink
    // set is cancelled). NewWindow's flags are those of a user's click by default (the first
    // new window it asks for).
    virtual bool BeforeNavigate(const std::string& url) = 0;
    virtual void NavigateComplete(const std::string& url) = 0;
    virtual void DocumentComplete(const std::string& url) = 0;
    virtual bool NewWindow(const std::string& url, unsigned flags = NWMF_USERINITED | NWMF_FIRST) = 0;
    virtual bool WindowClosing() = 0;
    virtual void TitleChange(const std::string& title) = 0;
    // The whole load of what the client asked for last. After a Navigate: BeforeNavigate
    // (unless cancelled, then NavigateComplete and DocumentComplete) of that address. After
    // a Refresh: NavigateComplete and DocumentComplete of the current page, as the engine
    // reloads it (no BeforeNavigate). Without a request since the last load: the load of
    // the last address navigated to again.
    virtual void CompleteLoad() = 0;
    // The same request fails instead: BeforeNavigate (not for a Refresh), then NavigateError.
    virtual void FailLoad() = 0;
    // The engine process of the page ends unexpectedly (EngineProcessEnded). The page is
    // gone until the client navigates or refreshes.
    virtual void CrashEngine(EngineExit why = EngineExit::Crashed) = 0;
    virtual bool engineRunning() const = 0;

    // What the document walk finds: the text of the first element of a tag with an id.
    virtual void SetElementText(const std::string& tag, const std::string& id, std::optional<std::string> text) = 0;

    // window.external.name(args...), the way a script engine calls it.
    virtual ScriptResult CallExternal(const std::string& name, const std::vector<ScriptValue>& args) = 0;

    // Keys typed into the page (KeyDownInBrowser), in the order they reached the control.
    virtual const std::vector<ControlKeySeen>& keys() const = 0;
    // Whether the accelerator translation takes the keys it is given (it answers that it
    // did, as the system's control does for its accelerators); false at the start.
    virtual void SetAcceleratorTakesKeys(bool takes) = 0;

    // What the host tells the control: GetHostInfo flags, and whether a right click would
    // show the engine's context menu.
    virtual DWORD HostFlags() const = 0;
    virtual bool ContextMenuWouldShow() const = 0;
};

// A key pressed (WM_KEYDOWN, or WM_SYSKEYDOWN with Alt) while the page of the browser control
// `id` inside `w` has the focus: it goes through the pre-translation of `w` and its
// ancestors and then the way w.KeyForControl says, as on the system's message loop. Answers
// false when there is no such control.
bool KeyDownInBrowser(Window& w, int id, unsigned vk, bool alt = false);

// The live scripted browsers, oldest first.
std::vector<ScriptedBrowser*> Browsers();
// The next BrowserControl::Create fails (as a control that cannot be made).
void FailNextBrowserCreation();
// The browser that is a child of `parent` with this id (null when none).
ScriptedBrowser* FindBrowser(const Window& parent, int id);

}  // namespace fw::headless
