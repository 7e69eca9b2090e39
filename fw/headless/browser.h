#pragma once
// The headless desktop's scripted browser: tests read what the client asked of its browser
// controls and play the page's part (navigation events, script calls through
// window.external, the document the client walks).
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

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

class ScriptedBrowser {
public:
    virtual ~ScriptedBrowser() = default;

    // What the client did with the control.
    virtual const std::vector<std::string>& navigations() const = 0;
    virtual int refreshes() const = 0;
    virtual int stops() const = 0;
    virtual bool quit() const = 0;
    virtual bool silentFlag() const = 0;
    virtual Rect rect() const = 0;
    virtual bool shown() const = 0;
    virtual int id() const = 0;
    virtual Handle parentHandle() const = 0;

    // The page's part. Each answers whether the client cancelled.
    virtual bool BeforeNavigate(const std::string& url) = 0;
    virtual void NavigateComplete(const std::string& url) = 0;
    virtual void DocumentComplete(const std::string& url) = 0;
    virtual bool NewWindow(const std::string& url) = 0;
    virtual bool WindowClosing() = 0;
    virtual void TitleChange(const std::string& title) = 0;
    // The whole load of the last address navigated to: BeforeNavigate (unless cancelled,
    // then NavigateComplete and DocumentComplete).
    virtual void CompleteLoad() = 0;

    // What the document walk finds: the text of the first element of a tag with an id.
    virtual void SetElementText(const std::string& tag, const std::string& id,
                                std::optional<std::string> text) = 0;

    // window.external.name(args...), the way a script engine calls it.
    virtual ScriptResult CallExternal(const std::string& name, const std::vector<ScriptValue>& args) = 0;

    // What the host tells the control: GetHostInfo flags, and whether a right click would
    // show the engine's context menu.
    virtual DWORD HostFlags() const = 0;
    virtual bool ContextMenuWouldShow() const = 0;
};

// The live scripted browsers, oldest first.
std::vector<ScriptedBrowser*> Browsers();
// The next BrowserControl::Create fails (as a control that cannot be made).
void FailNextBrowserCreation();
// The browser that is a child of `parent` with this id (null when none).
ScriptedBrowser* FindBrowser(const Window& parent, int id);

}  // namespace fw::headless
