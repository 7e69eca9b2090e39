// The default browser of the tests' Wine prefix: appends the address it is started with to
// the file named by RV_BROWSER_LOG (one line each), so a test sees which addresses the client
// handed to the desktop's browser.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"RV_BROWSER_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    HANDLE f =
        CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    for (int i = 1; i < argc; ++i) {
        char text[4096];
        const int len = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text, sizeof text - 1, nullptr, nullptr);
        if (len <= 0) continue;
        text[len - 1] = '\n';
        DWORD written = 0;
        WriteFile(f, text, static_cast<DWORD>(len), &written, nullptr);
    }
    CloseHandle(f);
    return 0;
}
