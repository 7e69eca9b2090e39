#pragma once
// Our own reader and writer of INI files (sections, key=value lines, ';' comments),
// with the lookup rules of the system's private-profile functions: section and key names
// compare without regard to ASCII case, blanks around names and values are dropped, and a
// value wrapped in one pair of matching quotes loses them.
//
// Files: on Windows, Load and Save go through the system's private-profile functions, so a
// file is read and kept in the encoding it has (ANSI code page, UTF-16LE or UTF-8 with BOM),
// as a user's existing file expects. Elsewhere files are read as UTF-8 (with or without BOM)
// or UTF-16LE with BOM, and written as UTF-8 without BOM by writing a temporary file beside
// the original and renaming it over the original, so that a failure never leaves a
// half-written file.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class IniFile {
public:
    // Parses text already decoded to UTF-8.
    static IniFile Parse(std::string_view utf8);
    // Decodes raw file bytes (BOM detection, invalid UTF-8 replaced) and parses them.
    static IniFile FromBytes(std::string_view bytes);
    // Reads a file. A missing file gives an empty IniFile with ok = true; a file that exists
    // but cannot be read gives an empty IniFile with ok = false. (On Windows the IniFile holds
    // the sections and keys as the profile functions list them; comments are not among them.)
    static IniFile Load(const std::string& path, bool* ok = nullptr);

    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // Replaces the key's value in place, or appends the key to its section (the section is
    // appended when missing). Other lines keep their text and order. A value is one line: what
    // follows a line break in it is not written. A value that reading would change (blanks at
    // either end, matching quotes around it) is written in quotes, so Get gives it back as set.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    std::string Serialize() const;
    // Off Windows: atomic save of Serialize(); false when the temporary file could not be
    // written or renamed. On Windows: the keys Set since Parse or Load are written with the
    // profile functions, which change those lines of the file and keep the rest; false when
    // one of them failed. The reason of a failure goes to `error` when one is given (the
    // system's own text: "No space left on device").
    bool Save(const std::string& path, std::string* error = nullptr) const;

private:
    struct Line {
        std::string text;     // the line as read (without its line end)
        std::string eol;      // its line end as read ("\r\n", "\n" or none)
        std::string section;  // for section headers: the name; for keys: the section they are in
        std::string key;      // empty unless a key line
        bool isSection = false;
        bool isKey = false;
    };
    struct Change {
        std::string section, key, value;
    };
    std::vector<Line> lines_;
    std::string newline_ = "\r\n";  // for lines we add: the file's own line end
    std::vector<Change> changes_;   // every Set, in order (what Save writes on Windows)
};

}  // namespace app
