#pragma once
// The application object: starts the platform services, reads the command line and makes
// the launcher, visible or hidden.
#include <string>

class CMainWnd;

class CRaduVoveApp {
public:
    // The start mode the command line selects: 1 (hidden) for exactly "-hh" once blanks
    // around it are trimmed, 0 for everything else.
    static int StartModeFor(const std::string& commandLineTail);

    // Creates the launcher and shows it as the start mode says. Answers false when the
    // launcher could not be created.
    bool InitInstance(const std::string& commandLineTail);
    CMainWnd* mainWnd() const { return m_pMainWnd; }

private:
    CMainWnd* m_pMainWnd = nullptr;  // lives until the process ends
};
