#include "app/raduvove_app.h"

#include "app/main_wnd.h"
#include "fw/app.h"
#include "fw/text.h"

int CRaduVoveApp::StartModeFor(const std::string& tail) {
    return fw::TrimSpace(tail) == "-hh" ? CMainWnd::kHiddenStart : CMainWnd::kNormalStart;
}

bool CRaduVoveApp::InitInstance(const std::string& tail) {
    int mode = StartModeFor(tail);
    fw::ShowCmd show = mode == CMainWnd::kHiddenStart ? fw::ShowCmd::Hide : fw::ShowCmd::Show;
    m_pMainWnd = new CMainWnd(mode);
    if (!m_pMainWnd->Created()) {
        delete m_pMainWnd;
        m_pMainWnd = nullptr;
        return false;
    }
    fw::SetMainWindow(m_pMainWnd);
    m_pMainWnd->Show(show);
    m_pMainWnd->UpdateNow();
    return true;
}
