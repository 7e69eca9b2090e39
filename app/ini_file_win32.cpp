// Reading and saving INI files on Windows through the system's private-profile functions:
// the system decodes the file (ANSI code page, UTF-16LE or UTF-8 with BOM) and keeps its
// encoding when it writes, as a user's existing file expects.
#include "fw/windows/windows_api.h"

#include <string>

#include "app/ini_file.h"
#include "fw/windows/wide.h"

namespace app {

namespace {

using fw::windows::Narrow;
using fw::windows::Wide;

// The profile functions look for a file named without a folder in the Windows folder, and
// not every version takes '/' for a separator: the path is handed over with backslashes.
std::wstring ProfilePath(const std::string& path) {
    std::wstring w = Wide(path);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

// A missing file is readable (it holds nothing); one that exists must open for reading.
bool Readable(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// A list the profile functions answer as "a\0b\0\0" (section names, or a section's
// "key=value" lines), with the room grown until it fits.
std::wstring ReadList(const std::wstring& path, const wchar_t* section) {
    std::wstring buf(4096, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buf.size());
        const DWORD n = section ? GetPrivateProfileSectionW(section, buf.data(), size, path.c_str())
                                : GetPrivateProfileSectionNamesW(buf.data(), size, path.c_str());
        if (n + 2 < size) {
            buf.resize(n);
            return buf;
        }
        if (buf.size() >= (1u << 27)) return {};  // a list this long is no profile of ours
        buf.resize(buf.size() * 4);
    }
}

template <class F>
void ForEachItem(const std::wstring& list, F f) {
    for (std::size_t pos = 0; pos < list.size();) {
        std::size_t end = list.find(L'\0', pos);
        if (end == std::wstring::npos) end = list.size();
        if (end > pos) f(std::wstring_view(list).substr(pos, end - pos));
        pos = end + 1;
    }
}

// The system's text for an error code ("There is not enough space on the disk."), without
// its line end.
std::string SystemErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    if (text) LocalFree(text);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ')) w.pop_back();
    return Narrow(w);
}

// The system keeps the last profile file it read; a file changed since must be read anew.
void ForgetCachedFile(const std::wstring& path) { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()); }

}  // namespace

IniFile IniFile::Load(const std::string& pathUtf8, bool* ok) {
    const std::wstring path = ProfilePath(pathUtf8);
    const bool good = Readable(path);
    if (ok) *ok = good;
    if (!good) return IniFile();
    ForgetCachedFile(path);
    // The sections and their keys as the system sees them, in INI form for the parser.
    std::wstring text;
    ForEachItem(ReadList(path, nullptr), [&](std::wstring_view name) {
        const std::wstring section(name);
        text += L"[" + section + L"]\r\n";
        ForEachItem(ReadList(path, section.c_str()), [&](std::wstring_view line) {
            text += line;
            text += L"\r\n";
        });
    });
    return Parse(Narrow(text));
}

bool IniFile::Save(const std::string& pathUtf8, std::string* error) const {
    const std::wstring path = ProfilePath(pathUtf8);
    // A file its owner made read-only is left alone (a process with the rights to write it
    // anyway, as root under Wine, would otherwise change it).
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        if (error) *error = attributes & FILE_ATTRIBUTE_DIRECTORY ? "not a regular file" : "the file is read-only";
        return false;
    }
    bool all = true;
    for (const Change& c : changes_) {
        if (!WritePrivateProfileStringW(Wide(c.section).c_str(), Wide(c.key).c_str(), Wide(c.value).c_str(),
                                        path.c_str())) {
            if (all && error) *error = SystemErrorText(GetLastError());
            all = false;
        }
    }
    ForgetCachedFile(path);  // on the disk now
    return all;
}

}  // namespace app
