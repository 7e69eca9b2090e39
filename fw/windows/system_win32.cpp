// Facts about the running program on Windows: where it is, and giving memory back.
#include "fw/windows/windows_api.h"

#include <psapi.h>

#include <string>

#include "fw/system.h"
#include "fw/windows/wide.h"

namespace fw {

std::string ExecutablePath() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            return windows::Narrow(buf);
        }
        if (buf.size() >= 32768) return {};  // the longest path Windows has
        buf.resize(buf.size() * 2);          // cut short: try again with more room
    }
}

void TrimOwnWorkingSet() { EmptyWorkingSet(GetCurrentProcess()); }

bool ThreadSchedTimes(long long&, long long&) { return false; }  // Windows does not count the waits

}  // namespace fw
