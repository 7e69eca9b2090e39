// INI text without files: the lookup rules of the system's profile functions, the encodings a
// file may come in, and changes that leave every other byte as it was.
#include <gtest/gtest.h>

#include <string>

#include "app/ini_file.h"

namespace {

std::string Value(const app::IniFile& f, const char* section, const char* key) {
    return f.Get(section, key).value_or("<absent>");
}

TEST(IniFile, LookupRules) {
    const app::IniFile f = app::IniFile::Parse(
        "top=before any section\n"
        "[ Dmor ]\r\n"
        "  HotKey  =  120  \n"
        "q1=\"quoted\"\n"
        "q2='single'\n"
        "q3=\"unmatched'\n"
        "q4=\"\n"
        "eq=a=b=c\n"
        "empty=\n"
        "; hidden=1\n"
        "novalue\n"
        "=orphan\n"
        "[open\n"
        "k=v\n"
        "[dmor]\n"
        "later=ignored\n");
    EXPECT_EQ(Value(f, "dmor", "hotkey"), "120") << "names without case, blanks dropped";
    EXPECT_EQ(Value(f, "DMOR", "q1"), "quoted");
    EXPECT_EQ(Value(f, "dmor", "q2"), "single");
    EXPECT_EQ(Value(f, "dmor", "q3"), "\"unmatched'") << "only a matching pair of quotes goes";
    EXPECT_EQ(Value(f, "dmor", "q4"), "\"") << "a lone quote is the value";
    EXPECT_EQ(Value(f, "dmor", "eq"), "a=b=c") << "the first '=' ends the name";
    EXPECT_EQ(Value(f, "dmor", "empty"), "");
    EXPECT_EQ(Value(f, "dmor", "; hidden"), "<absent>") << "a comment line is no key";
    EXPECT_EQ(Value(f, "dmor", "novalue"), "<absent>");
    EXPECT_EQ(Value(f, "dmor", ""), "<absent>");
    EXPECT_EQ(Value(f, "dmor", "top"), "<absent>") << "a key before any section belongs to none";
    EXPECT_EQ(Value(f, "open", "k"), "v") << "a header without its ']' still names the section";
    EXPECT_EQ(Value(f, "dmor", "later"), "<absent>") << "the first section of a name decides";
    EXPECT_EQ(Value(f, "missing", "k"), "<absent>");
}

TEST(IniFile, EncodingsOfTheBytes) {
    // UTF-16LE with BOM (an odd last byte is dropped), UTF-8 with and without BOM.
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[s]\r\nk=\u952e\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(Value(app::IniFile::FromBytes(utf16 + "\x41"), "s", "k"), "键");
    EXPECT_EQ(Value(app::IniFile::FromBytes("\xEF\xBB\xBF[s]\nk=键\n"), "s", "k"), "键");
    EXPECT_EQ(Value(app::IniFile::FromBytes("[s]\nk=键\n"), "s", "k"), "键");
    EXPECT_EQ(Value(app::IniFile::FromBytes(""), "s", "k"), "<absent>");
    EXPECT_EQ(Value(app::IniFile::FromBytes("\xFF\xFE"), "s", "k"), "<absent>");

    // Invalid UTF-8 reads as U+FFFD, and the line keeps its bytes when the file is written.
    const std::string bad = "[s]\nk=a\xC3(b\nj=\xFF\n";
    const app::IniFile f = app::IniFile::FromBytes(bad);
    EXPECT_EQ(Value(f, "s", "k"), "a\xEF\xBF\xBD(b");
    EXPECT_EQ(Value(f, "s", "j"), "\xEF\xBF\xBD");
    EXPECT_EQ(f.Serialize(), bad);
}

TEST(IniFile, SetKeepsOtherLinesAndOrder) {
    app::IniFile f = app::IniFile::Parse("; comment\n[a]\nx=1\n\n[b]\ny=2\n[a]\nz=3\n");
    f.Set("a", "x", "9");
    f.Set("a", "w", "new");
    f.Set("c", "q", "r");
    EXPECT_EQ(f.Serialize(), "; comment\n[a]\nx=9\nw=new\n\n[b]\ny=2\n[a]\nz=3\n[c]\nq=r\n");
    // Line ends are kept as they were; a last line without one gets one before a new line.
    app::IniFile g = app::IniFile::Parse("[a]\r\nx=1");
    g.Set("a", "y", "2");
    EXPECT_EQ(g.Serialize(), "[a]\r\nx=1\r\ny=2\r\n");
    // The first section of a name decides; a key of a later duplicate section is not seen.
    EXPECT_FALSE(f.Get("a", "z").has_value());
    EXPECT_EQ(f.Get("B", "Y").value_or(""), "2");
}

TEST(IniFile, SetInFilesOfEveryShape) {
    // An empty file gets the section with Windows line ends.
    app::IniFile empty = app::IniFile::Parse("");
    empty.Set("dmor", "start", "1");
    EXPECT_EQ(empty.Serialize(), "[dmor]\r\nstart=1\r\n");

    // A key found without regard to case keeps its place and takes the name as given;
    // blanks around the old line do not survive, other lines keep every byte.
    app::IniFile f = app::IniFile::Parse("[DMOR]\n  Start = 0 ; old\nother = x \n");
    f.Set("dmor", "start", "1");
    EXPECT_EQ(f.Serialize(), "[DMOR]\nstart=1\nother = x \n");
    EXPECT_EQ(Value(f, "dmor", "START"), "1");

    // A new key goes after the section's last line that is not blank.
    app::IniFile gap = app::IniFile::Parse("[a]\nx=1\n\n\n[b]\n");
    gap.Set("a", "y", "2");
    EXPECT_EQ(gap.Serialize(), "[a]\nx=1\ny=2\n\n\n[b]\n");

    // A value reads back as set: blanks at its ends and quotes around it are kept by quoting
    // it; a line break ends it, so that it cannot start a section or keys of its own.
    app::IniFile v = app::IniFile::Parse("[dmor]\n");
    v.Set("dmor", "filename", " 7_8 ");
    v.Set("dmor", "hotName", "'F10'");
    v.Set("dmor", "uid", "1\n[hosts]\nportal=evil.example");
    EXPECT_EQ(v.Serialize(), "[dmor]\nfilename=\" 7_8 \"\nhotName=\"'F10'\"\nuid=1\n");
    const app::IniFile back = app::IniFile::Parse(v.Serialize());
    EXPECT_EQ(Value(back, "dmor", "filename"), " 7_8 ");
    EXPECT_EQ(Value(back, "dmor", "hotName"), "'F10'");
    EXPECT_EQ(Value(back, "hosts", "portal"), "<absent>");

    // Mixed line ends and a missing last one are written back as they were read.
    const std::string mixed = "[a]\r\nx=1\ny=2\r\n\r\nlast=3";
    EXPECT_EQ(app::IniFile::Parse(mixed).Serialize(), mixed);
}

}  // namespace
