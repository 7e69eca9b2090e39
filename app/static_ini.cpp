#include "app/static_ini.h"

#include <climits>
#include <cstdio>

#include "app/ini_file.h"
#include "fw/text.h"

namespace app {

namespace {
constexpr const char* kSection = "dmor";
constexpr std::size_t kValueUnits = 259;
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
    out.written = readable && ini.Save(iniPath);
    return out;
}

}  // namespace app
