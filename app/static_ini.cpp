#include "app/static_ini.h"

#include <climits>
#include <cstdio>

#include "app/ini_file.h"
#include "fw/text.h"

namespace app {

namespace {
constexpr const char* kSection = "dmor";
constexpr std::size_t kValueUnits = 259;

// Saves the file, or says on standard error that the settings were not saved, where and why
// (a full disk, a read-only file). The same failure of the same file is said once, not again
// at each later attempt (the game window's place is saved as it moves).
bool SaveOrSay(const IniFile& ini, const std::string& path, bool readable) {
    static std::string said;
    std::string reason = "the file exists but cannot be read (it is left as it is)";
    if (readable && ini.Save(path, &reason)) {
        said.clear();
        return true;
    }
    std::string line = "raduvove: settings not saved to " + fw::ShownInLog(path) + ": " + reason;
    if (line != said) std::fprintf(stderr, "%s\n", line.c_str());
    said = std::move(line);
    return false;
}
}  // namespace

shared::Hosts ReadHosts(const IniFile& f) {
    shared::Hosts h = shared::DefaultHosts();
    auto take = [&](const char* key, std::string& field) {
        auto v = f.Get("hosts", key);
        if (!v) return;
        if (shared::IsValidHost(*v)) {
            field = *v;
            return;
        }
        // Said aloud: an ignored host sends the client to the default platform, which is hard
        // to tell from a platform that is down. The usual cause is a "; comment" after the
        // value, which INI files keep as part of it.
        std::fprintf(stderr,
                     "raduvove: static.ini [hosts] %s=\"%s\" ignored: not a host name with an optional :port%s\n", key,
                     fw::ShownInLog(*v).c_str(),
                     v->find_first_of(";#") != std::string::npos ? " (a comment goes on a line of its own)" : "");
    };
    take("portal", h.portal);
    take("game", h.game);
    take("pay", h.pay);
    take("forum", h.forum);
    take("cs", h.cs);
    return h;
}

std::optional<fw::Rect> ParseGameRect(const std::string& text) {
    int v[4];
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t end = i < 3 ? text.find(',', pos) : text.size();
        if (end == std::string::npos) return std::nullopt;
        const std::string part = fw::TrimSpace(text.substr(pos, end - pos));
        std::size_t d = part.size() > 1 && (part[0] == '-' || part[0] == '+') ? 1 : 0;
        if (d == part.size() || part.size() - d > 7) return std::nullopt;
        long long n = 0;
        for (; d < part.size(); ++d) {
            if (part[d] < '0' || part[d] > '9') return std::nullopt;
            n = n * 10 + (part[d] - '0');
        }
        if (n > kGameCoordLimit) return std::nullopt;
        v[i] = static_cast<int>(part[0] == '-' ? -n : n);
        pos = end + 1;
    }
    return fw::Rect{v[0], v[1], v[2], v[3]};
}

bool WriteGamePlace(const std::string& iniPath, const fw::Rect& r, bool maximized) {
    bool readable = true;
    IniFile ini = IniFile::Load(iniPath, &readable);
    // An unreadable file is never replaced: its contents would be lost.
    ini.Set(kSection, "gameRect",
            std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                std::to_string(r.bottom));
    ini.Set(kSection, "gameMax", maximized ? "1" : "0");
    return SaveOrSay(ini, iniPath, readable);
}

std::string ProfileValueLimit(const std::string& value) { return fw::Utf8PrefixUtf16Units(value, kValueUnits); }

std::int32_t ParseHotKeyText(const std::string& text) {
    std::string s = fw::TrimSpace(text);
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    long long n = 0;
    bool any = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        any = true;
        n = n * 10 + (s[i] - '0');
        if (n > static_cast<long long>(INT32_MAX) + 1) n = static_cast<long long>(INT32_MAX) + 1;
    }
    if (!any) return 0;
    if (neg) return n > static_cast<long long>(INT32_MAX) ? INT32_MIN : static_cast<std::int32_t>(-n);
    return n > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n);
}

void SplitFileName(const std::string& fileName, std::string& uid, std::string& suid) {
    std::string left = fileName;
    auto dot = left.rfind('.');
    if (dot != std::string::npos) left.erase(dot);
    auto us = left.find('_');
    if (us != std::string::npos) {
        uid = left.substr(0, us);
        suid = left.substr(us + 1);
    } else {
        uid = left;
        suid.clear();
    }
}

StaticIniValues ReadStaticIni(const std::string& iniPath) {
    bool readable = true;
    IniFile ini = IniFile::Load(iniPath, &readable);
    auto readString = [&](const char* key, const char* def) {
        auto v = ini.Get(kSection, key);
        return ProfileValueLimit(v ? *v : std::string(def));
    };

    StaticIniValues out;
    out.hosts = ReadHosts(ini);
    std::string hotKeyText = readString("hotkey", "121");
    out.hotKeyName = readString("hotName", "F10");
    out.hotKey = hotKeyText.empty() ? -1 : ParseHotKeyText(hotKeyText);
    if (auto v = ini.Get(kSection, "gameRect")) out.gameRect = ParseGameRect(*v);
    if (auto v = ini.Get(kSection, "gameMax")) {
        const std::string t = fw::TrimSpace(*v);
        if (t == "0" || t == "1") out.gameMaximized = t == "1";
    }

    int start = -1;
    if (auto v = ini.Get(kSection, "start")) {
        // The profile's integer reading: leading decimal digits, 0 without any.
        start = ParseHotKeyText(ProfileValueLimit(*v));
    }

    if (start == 1) {
        out.suid = readString("filename", "");
        out.uid = readString("uid", "");
        return out;
    }

    out.firstStart = true;
    std::string f = readString("filename", "");
    if (!f.empty()) {
        std::string uid, suid;
        SplitFileName(f, uid, suid);
        out.uid = uid;
        f = suid;
    }
    (void)readString("gid", "");  // read and not used
    out.suid = f;
    ini.Set(kSection, "start", "1");
    ini.Set(kSection, "filename", f);
    ini.Set(kSection, "uid", out.uid);
    // A file that exists but could not be read is never replaced: its contents would be lost.
    out.written = SaveOrSay(ini, iniPath, readable);
    return out;
}

}  // namespace app
