// The steps of cache clearing on Windows, on real files, processes and the URL cache:
// DeleteTree with read-only files and folders, paths beyond 260 characters and folder and
// file links that must not be followed; trimming every process of a toolhelp snapshot; and
// the URL cache losing all but its cookies. (The URL cache is the user's: under Wine it is the
// test run's own prefix.)
#include "fw/windows/windows_api.h"

#include <winioctl.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "delete_tree_fixture.h"
#include "fw/windows/services.h"
#include "game/cache_clear.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testing_support::DeleteTreeTest;
using testing_support::ReadFile;
using testing_support::Touch;

namespace {

DWORD Attributes(const fs::path& p) { return GetFileAttributesW(p.wstring().c_str()); }
bool Exists(const fs::path& p) { return Attributes(p) != INVALID_FILE_ATTRIBUTES; }
void MakeReadOnly(const fs::path& p) {
    SetFileAttributesW(p.wstring().c_str(), Attributes(p) | FILE_ATTRIBUTE_READONLY);
}

// Everything under `root`, relative with '/' between names, sorted; reparse points are
// listed, never entered.
void ListReparseAware(const std::wstring& folder, const std::string& rel, std::vector<std::string>& out) {
    WIN32_FIND_DATAW d;
    HANDLE f = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (f == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::string r = (rel.empty() ? "" : rel + "/") + fs::path(name).string();
        out.push_back(r);
        if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ListReparseAware(folder + L"\\" + name, r, out);
    } while (FindNextFileW(f, &d));
    FindClose(f);
}

std::vector<std::string> LinkListing(const fs::path& root) {
    std::vector<std::string> out;
    ListReparseAware(root.wstring(), "", out);
    std::sort(out.begin(), out.end());
    return out;
}

// A junction to a folder, the way Windows makes one without privileges.
bool MakeJunction(const fs::path& link, const fs::path& target) {
    if (!CreateDirectoryW(link.wstring().c_str(), nullptr)) return false;
    HANDLE h = CreateFileW(link.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool ok = false;
    if (h != INVALID_HANDLE_VALUE) {
        const std::wstring sub = L"\\??\\" + fs::absolute(target).wstring();
        struct {
            DWORD tag;
            WORD dataLength, reserved;
            WORD subOffset, subLength, printOffset, printLength;
            WCHAR path[1024];
        } b{};
        b.tag = IO_REPARSE_TAG_MOUNT_POINT;
        std::copy(sub.begin(), sub.end(), b.path);
        b.subLength = static_cast<WORD>(sub.size() * 2);
        b.printOffset = static_cast<WORD>(b.subLength + 2);
        b.dataLength = static_cast<WORD>(8 + b.subLength + 2 + 2);
        DWORD got = 0;
        ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &b, b.dataLength + 8u, nullptr, 0, &got, nullptr);
        CloseHandle(h);
    }
    if (!ok) RemoveDirectoryW(link.wstring().c_str());
    return ok;
}

using ToUnixName = char*(CDECL*)(LPCWSTR);

// Wine's way from a Windows path to the Unix one; null on Windows itself.
ToUnixName WineToUnix() {
    return reinterpret_cast<ToUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

// Under Wine, which makes no Windows links, a symbolic link of the Unix side to a folder
// (Wine shows it as a reparse point). False elsewhere, or when it did not appear.
bool MakeUnixLink(const fs::path& link, const fs::path& target) {
    const ToUnixName toUnix = WineToUnix();
    if (!toUnix) return false;
    auto unix = [&](const fs::path& p) {
        char* s = toUnix(fs::absolute(p).wstring().c_str());
        std::string out = s ? s : "";
        if (s) HeapFree(GetProcessHeap(), 0, s);
        return out;
    };
    const std::string t = unix(target), l = unix(link);
    if (t.empty() || l.empty()) return false;
    std::wstring cmd = L"ln -s \"" + fs::path(t).wstring() + L"\" \"" + fs::path(l).wstring() + L"\"";
    for (wchar_t& c : cmd)
        if (c == L'\\') c = L'/';
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\ln", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 250 && !Exists(link); ++i) Sleep(20);  // Wine cannot wait for a Unix process
    return Exists(link);
}

// A link at `link` to the folder `target`: a junction, or where the system makes none, a link
// of the Unix side under Wine. Answers whether the link exists and is a reparse point.
bool MakeFolderLink(const fs::path& link, const fs::path& target) {
    if (!MakeJunction(link, target) && !MakeUnixLink(link, target)) return false;
    const DWORD a = Attributes(link);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A symbolic link to a file, where the system lets this user make one (Windows in developer
// mode). Not under Wine: it cannot tell a Unix link to a file from the file itself.
bool MakeFileLink(const fs::path& link, const fs::path& target) {
    return CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
           Exists(link) && (Attributes(link) & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

TEST_F(DeleteTreeTest, ReadOnlyEntriesAndLongPathsGo) {
    Touch(cache() / "a.bin");
    Touch(cache() / "one" / "desktop.ini");
    // Read-only files and folders go like the others.
    Touch(cache() / "ro" / "inner" / "file.txt");
    MakeReadOnly(cache() / "ro" / "inner" / "file.txt");
    MakeReadOnly(cache() / "ro" / "inner");
    MakeReadOnly(cache() / "a.bin");
    // A path longer than the classic 260 characters.
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + fs::absolute(cache() / "long").wstring()).c_str(), nullptr));
    {
        std::wstring p = L"\\\\?\\" + fs::absolute(cache() / "long").wstring();
        for (int i = 0; i < 12; ++i) {
            p += L"\\" + std::wstring(30, static_cast<wchar_t>(L'a' + i));
            ASSERT_TRUE(CreateDirectoryW(p.c_str(), nullptr));
        }
        HANDLE h = CreateFileW((p + L"\\leaf.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }

    MakeReadOnly(cache() / "one" / "desktop.ini");  // kept all the same
    ASSERT_EQ(DeleteTree(cache().string(), false), 1);
    EXPECT_EQ(LinkListing(cache()), (std::vector<std::string>{"one", "one/desktop.ini"}));
    // With the flag they go too; forward slashes and a trailing separator name the same folder.
    std::string slashed = cache().string() + "/";
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    ASSERT_EQ(DeleteTree(slashed, true), 1);
    EXPECT_TRUE(LinkListing(cache()).empty());
    EXPECT_TRUE(Exists(cache()));
}

TEST_F(DeleteTreeTest, LinksAreRemovedAsLinksAndNeverFollowed) {
    const fs::path outside = dir.path() / "outside";
    Touch(outside / "keep" / "precious.txt");
    Touch(outside / "file.txt");
    fs::create_directories(cache() / "sub");
    if (!MakeFolderLink(cache() / "dirlink", outside)) GTEST_SKIP() << "this system makes no folder links here";
    ASSERT_TRUE(MakeFolderLink(cache() / "sub" / "nested-link", outside / "keep"));
    const bool fileLink = MakeFileLink(cache() / "filelink", outside / "file.txt");
    Touch(cache() / "plain.txt");

    ASSERT_EQ(DeleteTree(cache().string(), false), 1);
    EXPECT_EQ(LinkListing(outside), (std::vector<std::string>{"file.txt", "keep", "keep/precious.txt"}));
    EXPECT_EQ(ReadFile((outside / "keep" / "precious.txt").string()), "data of precious.txt");
    EXPECT_EQ(ReadFile((outside / "file.txt").string()), "data of file.txt");
    if (fileLink) {
        EXPECT_FALSE(Exists(cache() / "filelink"));
    }
    if (WineToUnix()) {
        // Wine cannot remove a Unix link to a folder (it tries the folder it names, which is
        // not empty): the links stay, never entered.
        EXPECT_EQ(LinkListing(cache()), (std::vector<std::string>{"dirlink", "sub", "sub/nested-link"}));
    } else {
        EXPECT_TRUE(LinkListing(cache()).empty());
    }
}

// ---- trimming and the browser control's stored data -----------------------------------------

// The debug privilege, when the user holds it, is then on in the process's token.
TEST(TrimWin32, DebugPrivilegeIsOnWhenHeld) {
    const bool enabled = fw::windows::EnableDebugPrivilege();
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<std::uint8_t> buf(size);
    ASSERT_TRUE(GetTokenInformation(token, TokenPrivileges, buf.data(), size, &size));
    CloseHandle(token);
    LUID debug{};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &debug));
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buf.data());
    bool held = false, on = false;
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
        if (p.Luid.LowPart != debug.LowPart || p.Luid.HighPart != debug.HighPart) continue;
        held = true;
        on = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    EXPECT_EQ(enabled, held);
    EXPECT_EQ(on, held);
}

TEST(TrimWin32, EveryProcessOfTheSnapshotThatOpensIsTrimmed) {
    const fw::windows::TrimResult r = fw::windows::TrimAllProcesses();
    ASSERT_TRUE(r.listed);
    EXPECT_GE(r.processes, 1);
    EXPECT_GE(r.trimmed, 1) << "the own process can always be trimmed";
    EXPECT_LE(r.trimmed, r.processes);
}

namespace {

bool AddCacheEntry(const std::wstring& url, DWORD type) {
    wchar_t file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(url.c_str(), 0, L"html", file, 0)) return false;
    HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    ::WriteFile(h, "cached", 6, &n, nullptr);
    CloseHandle(h);
    FILETIME never{};
    return CommitUrlCacheEntryW(url.c_str(), file, never, never, type, nullptr, 0, nullptr, nullptr) != FALSE;
}

bool InCache(const std::wstring& url) {
    DWORD size = 0;
    if (GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size)) return true;
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

TEST(UrlCacheWin32, EverythingButCookiesIsDeleted) {
    const std::wstring page = L"http://rv-test.example/page.html";
    const std::wstring image = L"http://rv-test.example/sprite.png";
    const std::wstring cookie = L"Cookie:player@rv-test.example/";
    ASSERT_TRUE(AddCacheEntry(page, NORMAL_CACHE_ENTRY));
    ASSERT_TRUE(AddCacheEntry(image, NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY));
    ASSERT_TRUE(AddCacheEntry(cookie, COOKIE_CACHE_ENTRY));
    ASSERT_TRUE(InCache(page) && InCache(image) && InCache(cookie));

    const fw::windows::UrlCacheResult r = fw::windows::ClearUrlCacheExceptCookies();
    EXPECT_TRUE(r.listed);
    EXPECT_GE(r.deleted, 2);
    EXPECT_GE(r.kept, 1);
    EXPECT_FALSE(InCache(page));
    EXPECT_FALSE(InCache(image));
    EXPECT_TRUE(InCache(cookie));

    // A second clear finds nothing more to delete, and still keeps the cookie.
    const fw::windows::UrlCacheResult again = fw::windows::ClearUrlCacheExceptCookies();
    EXPECT_TRUE(again.listed);
    EXPECT_EQ(again.deleted, 0);
    EXPECT_TRUE(InCache(cookie));
    DeleteUrlCacheEntryW(cookie.c_str());
}

TEST(UrlCacheWin32, TheTemporaryInternetFilesFolderIsNamed) {
    const std::string folder = fw::windows::InternetCacheFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::path(folder).is_absolute()) << folder;
}
