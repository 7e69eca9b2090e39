#include "web/page_host.h"

#include "web/js_dispatch.h"
#include "web/web_ctrl_interface.h"

CPageHost::CPageHost(IJSDispatch* bridge, Ending ending) : m_ending(ending), m_pHost(new CWebCtrlInterFace()) {
    if (bridge) m_pHost->m_pExternal = new CJSDispatch(bridge);
}

CPageHost::~CPageHost() { End(); }

bool CPageHost::Create(fw::Window& parent, int id, const fw::Rect& rect, fw::BrowserEvents* events,
                       const fw::BrowserOptions& options) {
    if (!m_pHost || m_wndBrowser) return false;
    m_wndBrowser = fw::BrowserControl::Create(parent, id, rect, options);
    if (!m_wndBrowser) return false;
    IUnknown* control = m_wndBrowser->GetControlUnknown();
    if (!fw::QueryAs<IWebBrowser2>(control, IID_IWebBrowser2)) {
        m_wndBrowser.reset();
        return false;
    }
    AttachToControl(m_pHost.Get(), control);
    m_wndBrowser->SetEvents(events);
    m_wndBrowser->SetSilent(true);
    return true;
}

void CPageHost::End() {
    // The window's reference goes first: the control's, given back when it quits or goes, is
    // then the last, and the host object never outlives the control that calls it.
    m_pHost.Reset();
    if (m_wndBrowser && m_ending == Ending::StopAndQuit) {
        m_wndBrowser->Stop();
        m_wndBrowser->Quit();
    }
    m_wndBrowser.reset();
}
