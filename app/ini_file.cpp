// INI text: parsing, lookups and changes that keep every other line as it was, and the
// profile functions on top of reading and saving a file (ini_file_posix.cpp).
#include "app/ini_file.h"

#include "fw/text.h"

namespace app {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// UTF-16LE bytes (after the BOM) to UTF-8.
std::string DecodeUtf16Le(std::string_view bytes) {
    std::u16string u;
    u.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto lo = static_cast<unsigned char>(bytes[i]);
        auto hi = static_cast<unsigned char>(bytes[i + 1]);
        u.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    return fw::Utf16ToUtf8(u);
}

// A key line's name and value, or false for other lines.
bool SplitKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    auto eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(line.substr(0, eq));
    if (key.empty()) return false;
    value = Trim(line.substr(eq + 1));
    return true;
}

std::string Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// What Set writes for a value so that it reads back the same: its first line only (a line
// break would start lines of its own, a section or keys among them), in quotes when reading
// would otherwise change it: blanks at either end are dropped, and a pair of matching quotes
// around it is taken off.
std::string StoredValue(std::string_view value) {
    value = value.substr(0, value.find_first_of("\r\n"));
    const bool blankEnd = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    const bool quoted =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (blankEnd || quoted) return "\"" + std::string(value) + "\"";
    return std::string(value);
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile f;
    std::string current;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view raw = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        Line line;
        if (nl != std::string_view::npos) line.eol = "\n";
        if (!raw.empty() && raw.back() == '\r' && nl != std::string_view::npos) {
            raw.remove_suffix(1);
            line.eol = "\r\n";
        }
        line.text = std::string(raw);
        // Lookups work on valid UTF-8; the line itself is kept byte for byte. Plain ASCII
        // lines (nearly all of them) need no cleaning.
        bool ascii = true;
        for (char c : raw) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                ascii = false;
                break;
            }
        }
        std::string clean = ascii ? std::string() : fw::SanitizeUtf8(raw);
        std::string_view t = Trim(ascii ? raw : std::string_view(clean));
        if (!t.empty() && t.front() == '[') {
            auto close = t.find(']');
            current =
                std::string(Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            line.isSection = true;
            line.section = current;
        } else if (!t.empty() && t.front() != ';') {
            std::string_view k, v;
            if (SplitKeyLine(t, k, v)) {
                line.isKey = true;
                line.key = std::string(k);
                line.section = current;
            }
        }
        f.lines_.push_back(std::move(line));
        if (nl == std::string_view::npos) break;
        pos = nl + 1;
    }
    // A final empty piece after the last line end is not a line of its own.
    if (!f.lines_.empty() && f.lines_.back().text.empty() && f.lines_.back().eol.empty()) f.lines_.pop_back();
    if (!f.lines_.empty() && f.lines_.front().eol == "\n") f.newline_ = "\n";
    return f;
}

IniFile IniFile::FromBytes(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return Parse(DecodeUtf16Le(bytes.substr(2)));
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        bytes.remove_prefix(3);
    return Parse(bytes);
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    // The first section of that name decides, as the system's profile functions do.
    bool seenSection = false;
    bool inSection = false;
    for (const Line& l : lines_) {
        if (l.isSection) {
            if (inSection) return std::nullopt;
            inSection = !seenSection && EqualNoCase(l.section, section);
            if (inSection) seenSection = true;
            continue;
        }
        if (inSection && l.isKey && EqualNoCase(l.key, key)) {
            std::string clean = fw::SanitizeUtf8(l.text);
            std::string_view k, v;
            SplitKeyLine(Trim(clean), k, v);
            return Unquote(v);
        }
    }
    return std::nullopt;
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string stored = StoredValue(value);
    changes_.push_back({std::string(section), std::string(key), stored});
    std::string newLine = std::string(key) + "=" + stored;
    int sectionAt = -1;
    int lastInSection = -1;
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        Line& l = lines_[i];
        if (l.isSection) {
            if (inSection) break;
            if (sectionAt < 0 && EqualNoCase(l.section, section)) {
                inSection = true;
                sectionAt = static_cast<int>(i);
                lastInSection = static_cast<int>(i);
            }
            continue;
        }
        if (!inSection) continue;
        if (l.isKey && EqualNoCase(l.key, key)) {
            l.text = newLine;
            return;
        }
        if (!Trim(l.text).empty()) lastInSection = static_cast<int>(i);
    }
    Line line;
    line.text = newLine;
    line.eol = newline_;
    line.isKey = true;
    line.key = std::string(key);
    line.section = std::string(section);
    if (sectionAt < 0) {
        Line head;
        head.text = "[" + std::string(section) + "]";
        head.eol = newline_;
        if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = newline_;
        head.isSection = true;
        head.section = std::string(section);
        lines_.push_back(std::move(head));
        lines_.push_back(std::move(line));
        return;
    }
    Line& before = lines_[static_cast<size_t>(lastInSection)];
    if (before.eol.empty()) before.eol = newline_;
    lines_.insert(lines_.begin() + lastInSection + 1, std::move(line));
}

std::string IniFile::Serialize() const {
    std::string out;
    for (const Line& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

}  // namespace app
