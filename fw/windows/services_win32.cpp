// Working-set trimming with a toolhelp snapshot, and the WinInet URL cache.
#include "fw/windows/windows_api.h"

#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <wininet.h>

#include <vector>

#include "fw/windows/services.h"
#include "fw/windows/wide.h"

namespace fw::windows {

bool EnableDebugPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES p{};
    p.PrivilegeCount = 1;
    p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // AdjustTokenPrivileges succeeds without the privilege too: ERROR_NOT_ALL_ASSIGNED says so.
    const bool ok = LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &p.Privileges[0].Luid) &&
                    AdjustTokenPrivileges(token, FALSE, &p, sizeof p, nullptr, nullptr) &&
                    GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

TrimResult TrimAllProcesses() {
    TrimResult r;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return r;
    r.listed = true;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry)) {
        ++r.processes;
        // Only the rights the two calls need, and no handle that a child could inherit.
        HANDLE p = OpenProcess(PROCESS_SET_QUOTA | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
        if (!p) continue;
        const BOOL a = SetProcessWorkingSetSize(p, static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
        const BOOL b = EmptyWorkingSet(p);
        if (a || b) ++r.trimmed;
        CloseHandle(p);
        entry.dwSize = sizeof entry;
    }
    CloseHandle(snap);
    return r;
}

namespace {

// Reads an entry into `buf`, growing it to the size the cache asks for. `read` is the
// FindFirst or FindNext call with the given buffer and size.
template <class Read>
bool ReadEntry(std::vector<std::uint8_t>& buf, Read read) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = static_cast<DWORD>(buf.size());
        auto* info = buf.empty() ? nullptr : reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buf.data());
        if (read(info, &size)) return true;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buf.size()) return false;
        buf.assign(size, 0);
    }
    return false;
}

}  // namespace

UrlCacheResult ClearUrlCacheExceptCookies() {
    UrlCacheResult r;
    // Room for an entry that is 8-aligned, as the entry's structure is.
    std::vector<std::uint8_t> buf(4096);
    HANDLE find = nullptr;
    const bool first = ReadEntry(buf, [&](INTERNET_CACHE_ENTRY_INFOW* info, DWORD* size) {
        find = FindFirstUrlCacheEntryW(nullptr, info, size);
        return find != nullptr;
    });
    if (!first) {
        r.listed = GetLastError() == ERROR_NO_MORE_ITEMS;  // an empty cache
        return r;
    }
    r.listed = true;
    // The entries to delete are collected first: deleting while enumerating may make the
    // enumeration skip entries.
    std::vector<std::wstring> urls;
    for (bool more = true; more;) {
        const auto* info = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buf.data());
        if (info->CacheEntryType & COOKIE_CACHE_ENTRY)
            ++r.kept;
        else if (info->lpszSourceUrlName)
            urls.emplace_back(info->lpszSourceUrlName);
        more = ReadEntry(buf, [&](INTERNET_CACHE_ENTRY_INFOW* i, DWORD* size) {
            return FindNextUrlCacheEntryW(find, i, size) != FALSE;
        });
    }
    FindCloseUrlCache(find);
    for (const std::wstring& url : urls) {
        if (DeleteUrlCacheEntryW(url.c_str()))
            ++r.deleted;
        else
            ++r.failed;
    }
    return r;
}

std::string InternetCacheFolder() {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_INTERNET_CACHE, FALSE)) return {};
    return Narrow(path);
}

}  // namespace fw::windows
