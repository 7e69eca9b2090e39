// Deleting a folder tree on Windows. Every entry is opened as itself
// (FILE_FLAG_OPEN_REPARSE_POINT), so a junction or a symbolic link is removed as a link and
// what it points to is never entered or changed; removal goes through that handle (the
// read-only mark cleared, then the entry marked for deletion), so the checks and the removal
// are about the same object. A folder is listed while a handle to it is held that does not
// share deletion: it cannot be renamed or replaced by a link in the middle of its listing.
#include "fw/windows/windows_api.h"

#include <string>

#include "fw/windows/wide.h"
#include "game/cache_clear.h"

namespace {

// A folder deeper than this is left as it is (each level holds a handle and a path).
constexpr int kMaxDepth = 256;

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (ok()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenItself(const std::wstring& path, DWORD access, DWORD share) {
    return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsDotOrDotDot(const wchar_t* n) { return n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0)); }

bool IsDesktopIni(const wchar_t* n) { return CompareStringOrdinal(n, -1, L"desktop.ini", -1, TRUE) == CSTR_EQUAL; }

// Removes the entry (a file, a link, an empty folder) through a handle to it. A read-only
// entry loses its mark only when the removal was refused for it: where the system cannot
// tell a link to a file from the file (Wine), the mark read is the target's, and the target
// is never changed.
void RemoveItself(const std::wstring& path) {
    Handle h(OpenItself(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll));
    if (!h.ok()) return;
    FILE_DISPOSITION_INFO gone{};
    gone.DeleteFile = TRUE;
    if (SetFileInformationByHandle(h.get(), FileDispositionInfo, &gone, sizeof gone)) return;
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(h.get(), FileBasicInfo, &basic, sizeof basic) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
        return;               // a folder that kept something, an entry in use: it stays
    FILE_BASIC_INFO clear{};  // zero times: left as they are
    clear.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (clear.FileAttributes == 0) clear.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (SetFileInformationByHandle(h.get(), FileBasicInfo, &clear, sizeof clear))
        SetFileInformationByHandle(h.get(), FileDispositionInfo, &gone, sizeof gone);
}

// Deletes what the folder `path` holds (the caller holds a handle that keeps it in place).
void DeleteContents(const std::wstring& path, bool deleteDesktopIni, int depth) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDotOrDotDot(data.cFileName)) continue;
        if (!deleteDesktopIni && IsDesktopIni(data.cFileName)) continue;
        const std::wstring child = path + L"\\" + data.cFileName;
        const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                            !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (folder && depth < kMaxDepth) {
            // Entered only when it still is a plain folder now that it is held.
            Handle held(
                OpenItself(child, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
            BY_HANDLE_FILE_INFORMATION info{};
            if (held.ok() && GetFileInformationByHandle(held.get(), &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                DeleteContents(child, deleteDesktopIni, depth + 1);
        }
        RemoveItself(child);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

// An absolute path in the form that has no length limit ("\\?\C:\..." or "\\?\UNC\...").
std::wstring LongPath(const std::wstring& path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return {};
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size()) return {};
    full.resize(n);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    if (full.rfind(L"\\\\?\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace

int DeleteTree(const std::string& folder, bool deleteDesktopIni) {
    if (folder.empty()) return 0;
    std::wstring path = LongPath(fw::windows::Wide(folder));
    if (path.empty()) return 0;
    // The folder itself may be reached through a link; only what lies inside it is never followed.
    Handle held(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                            nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!held.ok() || !GetFileInformationByHandle(held.get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    if (path.back() == L'\\') path.pop_back();  // a drive's root: "\\?\C:" + "\*"
    WIN32_FIND_DATAW probe;
    HANDLE find = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &probe, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return 0;  // cannot be listed
    FindClose(find);
    DeleteContents(path, deleteDesktopIni, 0);
    return 1;
}
