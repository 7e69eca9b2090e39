// Runs the test program itself again with other arguments, for tests of what happens when a
// process ends (the test's own main hands those arguments to the part to run).
#pragma once

#include "fw/windows/windows_api.h"

#include <gtest/gtest.h>

#include <string>

namespace net_test {

// Runs this program with `args` and waits up to `timeoutMs` for it to end; false when it did
// not end in time (it is then ended). `exitCode` gets its exit code, or the error of
// CreateProcessW when it did not start (which counts as ended).
inline bool RunSelf(const std::string& args, DWORD timeoutMs, DWORD* exitCode) {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe, n) + L"\" ";
    command.append(args.begin(), args.end());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        *exitCode = GetLastError();
        return true;
    }
    const bool ended = WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 1);
    GetExitCodeProcess(pi.hProcess, exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ended;
}

// Runs this program with `args` `runs` times, one after the other: each run must end within
// 20 s, with exit code 0.
inline void ExpectEachRunEnds(const std::string& args, int runs) {
    for (int run = 0; run < runs; ++run) {
        DWORD code = 0;
        ASSERT_TRUE(RunSelf(args, 20000, &code)) << "run " << run << " did not end";
        EXPECT_EQ(code, 0u) << "run " << run;
    }
}

}  // namespace net_test
