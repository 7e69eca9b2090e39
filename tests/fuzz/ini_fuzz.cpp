// Fuzzes the INI reader and writer with any file bytes (UTF-8 with or without BOM, UTF-16LE
// with BOM, binary) and a few changes of the keys static.ini has. It traps when:
// - the text read is not written back as it was (a UTF-8 file byte for byte, without its BOM);
// - a value set does not read back the same from what Serialize wrote (a value is one line:
//   what follows its first line break is not written; invalid UTF-8 reads back replaced);
// - a change alters another key's value, or a line of the file that is not one of the keys set;
// - a value read is not valid UTF-8, or a [hosts] value taken is not a valid host.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/ini_file.h"
#include "app/static_ini.h"
#include "fw/text.h"
#include "shared/hosts.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr std::array<const char*, 3> kSections = {"dmor", "hosts", "DMOR"};
constexpr std::array<const char*, 8> kKeys = {"hotkey", "hotName", "filename", "uid", "start", "portal", "CS", "gid"};

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The file's lines without their line ends. A change may give the last line a line end, so
// that a carriage return at its end becomes part of it: carriage returns at the ends of lines
// are left out.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        while (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(std::move(line));
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return out;
}

using Values = std::map<std::pair<std::string, std::string>, std::optional<std::string>>;

Values Probe(const app::IniFile& f) {
    Values v;
    for (const char* s : kSections)
        for (const char* k : kKeys) {
            auto got = f.Get(s, k);
            if (got) FUZZ_CHECK(fw::SanitizeUtf8(*got) == *got);
            v[{Lower(s), Lower(k)}] = std::move(got);
        }
    return v;
}

void CheckHosts(const app::IniFile& f) {
    const shared::Hosts h = app::ReadHosts(f);
    const shared::Hosts& d = shared::DefaultHosts();
    auto one = [&](const char* key, const std::string& taken, const std::string& def) {
        const auto v = f.Get("hosts", key);
        if (v && shared::IsValidHost(*v))
            FUZZ_CHECK(taken == *v);
        else
            FUZZ_CHECK(taken == def);
    };
    one("portal", h.portal, d.portal);
    one("game", h.game, d.game);
    one("pay", h.pay, d.pay);
    one("forum", h.forum, d.forum);
    one("cs", h.cs, d.cs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string bytes = in.ConsumeRandomLengthString(4096);
    app::IniFile f = app::IniFile::FromBytes(bytes);
    const std::string before = f.Serialize();

    const bool utf16 = bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0;
    if (!utf16) {
        const bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
        FUZZ_CHECK(before == (bom ? bytes.substr(3) : bytes));
    } else {
        FUZZ_CHECK(app::IniFile::Parse(before).Serialize() == before);
    }
    CheckHosts(f);
    const Values old = Probe(f);

    // The changes; the last one of a key counts.
    std::map<std::pair<std::string, std::string>, std::string> set;
    const int changes = in.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < changes; ++i) {
        const std::string section = kSections[in.ConsumeIntegralInRange<std::size_t>(0, kSections.size() - 1)];
        const std::string key = kKeys[in.ConsumeIntegralInRange<std::size_t>(0, kKeys.size() - 1)];
        const std::string value = in.ConsumeRandomLengthString(300);
        f.Set(section, key, value);
        set[{Lower(section), Lower(key)}] = value;
    }
    const std::string after = f.Serialize();
    const app::IniFile again = app::IniFile::Parse(after);
    CheckHosts(again);
    const Values now = Probe(again);
    for (const auto& [name, value] : now) {
        auto it = set.find(name);
        if (it == set.end()) {
            FUZZ_CHECK(value == old.at(name));
            continue;
        }
        const std::string oneLine = it->second.substr(0, it->second.find_first_of("\r\n"));
        FUZZ_CHECK(value && *value == fw::SanitizeUtf8(oneLine));
    }

    // Every line that names none of the keys set is still there, in its order.
    std::vector<std::string> keys;
    for (const auto& entry : set) keys.push_back(entry.first.second);
    const std::vector<std::string> afterLines = Lines(after);
    std::size_t at = 0;
    for (const std::string& line : Lines(before)) {
        const std::string low = Lower(line);
        bool ours = false;
        for (const std::string& k : keys) ours = ours || low.find(k) != std::string::npos;
        if (ours) continue;
        while (at < afterLines.size() && afterLines[at] != line) ++at;
        FUZZ_CHECK(at < afterLines.size());
        ++at;
    }
    return 0;
}
