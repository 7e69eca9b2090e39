// static.ini: defaults, the one-time derivation of uid and suid, and files that are
// missing, unreadable, read-only, huge, binary or in UTF-16.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "app/ini_file.h"
#include "app/static_ini.h"
#include "test_support.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

app::StaticIniValues ReadWith(const TempDir& d, const std::string& content) {
    WriteFile(d.file("static.ini"), content);
    return app::ReadStaticIni(d.file("static.ini"));
}

std::string Key(const TempDir& d, const char* key) {
    return app::IniFile::Load(d.file("static.ini")).Get("dmor", key).value_or("<absent>");
}

// 70000 bytes of every value, the text, and the same bytes again.
std::string BinaryAround(const std::string& text) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) % 256);
    return binary + text + binary;
}

size_t FilesIn(const TempDir& d) {
    size_t n = 0;
    for (auto& e : std::filesystem::directory_iterator(d.path())) (void)e, ++n;
    return n;
}

}  // namespace

TEST(SplitFileName, CutsAtLastDotThenFirstUnderscore) {
    struct Case {
        const char* in;
        const char* uid;
        const char* suid;
    } cases[] = {
        {"abc_xyz.exe", "abc", "xyz"},
        {"abc_x_y.exe", "abc", "x_y"},
        {"abc.exe", "abc", ""},
        {"abc.def_ghi", "abc", ""},
        {".exe", "", ""},
        {"abc_xyz", "abc", "xyz"},
        {"_xyz.exe", "", "xyz"},
        {"a.b.c_d", "a.b", ""},
        {"a_b.c.d", "a", "b.c"},
    };
    for (auto& c : cases) {
        std::string uid = "?", suid = "?";
        app::SplitFileName(c.in, uid, suid);
        EXPECT_EQ(uid, c.uid) << c.in;
        EXPECT_EQ(suid, c.suid) << c.in;
    }
}

TEST(StaticIni, FirstStartDerivesAndWritesBack) {
    TempDir d;
    auto v = ReadWith(d, "[dmor]\r\nfilename=abc_xyz.exe\r\ngid=77\r\n");
    EXPECT_TRUE(v.firstStart);
    EXPECT_TRUE(v.written);
    EXPECT_EQ(v.uid, "abc");
    EXPECT_EQ(v.suid, "xyz");
    EXPECT_EQ(Key(d, "start"), "1");
    EXPECT_EQ(Key(d, "filename"), "xyz");
    EXPECT_EQ(Key(d, "uid"), "abc");
    EXPECT_EQ(Key(d, "gid"), "77");  // never written, kept

    // The next start takes both values as they stand.
    auto again = app::ReadStaticIni(d.file("static.ini"));
    EXPECT_FALSE(again.firstStart);
    EXPECT_EQ(again.uid, "abc");
    EXPECT_EQ(again.suid, "xyz");
}

TEST(StaticIni, LaterStartDoesNotSplit) {
    TempDir d;
    auto v = ReadWith(d, "[dmor]\nstart=1\nfilename=abc_xyz.exe\nuid=u9\n");
    EXPECT_FALSE(v.firstStart);
    EXPECT_EQ(v.suid, "abc_xyz.exe");
    EXPECT_EQ(v.uid, "u9");
    EXPECT_EQ(ReadFile(d.file("static.ini")), "[dmor]\nstart=1\nfilename=abc_xyz.exe\nuid=u9\n");
}

TEST(StaticIni, StartOtherThanOneDerivesAgain) {
    for (const char* start : {"2", "0", "-1", "x"}) {
        TempDir d;
        auto v = ReadWith(d, std::string("[dmor]\nstart=") + start + "\nfilename=k_l.txt\nuid=old\n");
        EXPECT_TRUE(v.firstStart) << start;
        EXPECT_EQ(v.uid, "k") << start;
        EXPECT_EQ(v.suid, "l") << start;
        EXPECT_EQ(Key(d, "start"), "1");
    }
}

TEST(StaticIni, MissingFileIsCreatedWithEmptyIds) {
    TempDir d;
    auto v = app::ReadStaticIni(d.file("static.ini"));
    EXPECT_EQ(v.hotKey, 121);
    EXPECT_EQ(v.hotKeyName, "F10");
    EXPECT_EQ(v.uid, "");
    EXPECT_EQ(v.suid, "");
    EXPECT_TRUE(v.written);
    EXPECT_EQ(Key(d, "start"), "1");
    EXPECT_EQ(Key(d, "filename"), "");
    EXPECT_EQ(Key(d, "uid"), "");
    EXPECT_EQ(FilesIn(d), 1u);  // no temporary file left behind
}

TEST(StaticIni, HotKeyText) {
    TempDir d;
    EXPECT_EQ(ReadWith(d, "[dmor]\nstart=1\nhotkey=\n").hotKey, -1);
    EXPECT_EQ(ReadWith(d, "[dmor]\nstart=1\n").hotKey, 121);
    EXPECT_EQ(ReadWith(d, "[dmor]\nstart=1\nhotkey=393337\n").hotKey, 393337);
    EXPECT_EQ(ReadWith(d, "[dmor]\nstart=1\nhotkey=F10\n").hotKey, 0);
    EXPECT_EQ(ReadWith(d, "[dmor]\nstart=1\nhotkey=122abc\n").hotKey, 122);
    EXPECT_EQ(ReadWith(d, "[dmor]\nstart=1\nhotkey=99999999999999\n").hotKey, INT32_MAX);
    EXPECT_EQ(ReadWith(d, "[dmor]\nstart=1\nhotkey=-1\n").hotKey, -1);
    EXPECT_EQ(ReadWith(d, "[dmor]\nstart=1\nhotName=Ctrl + Alt + F10\n").hotKeyName, "Ctrl + Alt + F10");

    EXPECT_EQ(app::ParseHotKeyText(" \t+42x"), 42);
    EXPECT_EQ(app::ParseHotKeyText("-"), 0);
    EXPECT_EQ(app::ParseHotKeyText("\xe3\x80\x80"
                                   "7"),
              7);  // ideographic space is blank to wcstol
}

TEST(StaticIni, ValuesAreCutAt259Units) {
    TempDir d;
    std::string longName(300, 'n');
    auto v = ReadWith(d, "[dmor]\nstart=1\nfilename=" + longName + "\nhotName=" + std::string(280, '\xe4') + "\n");
    EXPECT_EQ(v.suid, std::string(259, 'n'));
    // Characters are never split: 259 units of a multi-byte character still count as units.
    // (With a BOM: Windows reads a file without one in the ANSI code page.)
    std::string cjk;
    for (int i = 0; i < 300; ++i) cjk += "键";
    auto w = ReadWith(d, "\xEF\xBB\xBF[dmor]\nstart=1\nhotName=" + cjk + "\n");
    EXPECT_EQ(w.hotKeyName.size(), 259u * 3);
}

TEST(StaticIni, Utf16FileWithBomIsRead) {
    TempDir d;
    std::u16string text = u"[dmor]\r\nfilename=\u7528\u6237_\u670d.exe\r\nhotkey=393337\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    WriteFile(d.file("static.ini"), bytes);
    auto v = app::ReadStaticIni(d.file("static.ini"));
    EXPECT_EQ(v.uid, "用户");
    EXPECT_EQ(v.suid, "服");
    EXPECT_EQ(v.hotKey, 393337);
    // Rewritten as UTF-8 without BOM, nothing lost.
    std::string now = ReadFile(d.file("static.ini"));
    EXPECT_NE(now.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(now.find("hotkey=393337"), std::string::npos);
    EXPECT_EQ(Key(d, "uid"), "用户");
}

TEST(StaticIni, Utf8BomAndCaseInsensitiveNames) {
    TempDir d;
    auto v = ReadWith(d, "\xEF\xBB\xBF[DMOR]\nHotKey = 120 \nFILENAME=\"q_r.z\"\n");
    EXPECT_EQ(v.hotKey, 120);
    EXPECT_EQ(v.uid, "q");
    EXPECT_EQ(v.suid, "r");
}

TEST(StaticIni, UnreadableFileIsNeverReplaced) {
    TempDir d;
    // A folder where the file should be cannot be read (not even by root) nor replaced.
    std::filesystem::create_directory(d.file("static.ini"));
    auto v = app::ReadStaticIni(d.file("static.ini"));
    EXPECT_EQ(v.hotKey, 121);
    EXPECT_FALSE(v.written);
    EXPECT_TRUE(std::filesystem::is_directory(d.file("static.ini")));
    EXPECT_EQ(FilesIn(d), 1u);
}

TEST(StaticIni, ReadOnlyFileKeepsItsBytes) {
    TempDir d;
    std::string content = "[dmor]\nfilename=abc_xyz.exe\n";
    WriteFile(d.file("static.ini"), content);
    ::chmod(d.file("static.ini").c_str(), 0444);
    testing::internal::CaptureStderr();
    auto v = app::ReadStaticIni(d.file("static.ini"));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(v.uid, "abc");  // the values are still used for this run
    EXPECT_EQ(v.suid, "xyz");
    EXPECT_FALSE(v.written);
    // Said once, with the file and the reason; not again when a later save fails the same way.
    EXPECT_EQ(said, "raduvove: settings not saved to " + d.file("static.ini") + ": the file is read-only\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(app::WriteGamePlace(d.file("static.ini"), {0, 0, 1300, 820}, false));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ReadFile(d.file("static.ini")), content);
    EXPECT_EQ(FilesIn(d), 1u);
}

TEST(StaticIni, GamePlaceIsWrittenBesideTheRestOrNotAtAll) {
    TempDir d;
    WriteFile(d.file("static.ini"), "[dmor]\nstart=1\nuid=U\ngameMax=yes\n[hosts]\ngame=g.test\n");
    EXPECT_FALSE(app::ReadStaticIni(d.file("static.ini")).gameMaximized);
    ASSERT_TRUE(app::WriteGamePlace(d.file("static.ini"), {-10, 5, 1290, 825}, true));
    auto v = app::ReadStaticIni(d.file("static.ini"));
    EXPECT_EQ(v.gameRect, (fw::Rect{-10, 5, 1290, 825}));
    EXPECT_EQ(v.gameMaximized, true);
    EXPECT_EQ(v.uid, "U");
    EXPECT_EQ(v.hosts.game, "g.test");
    // A folder that is not there: nothing is written, nothing is left behind.
    EXPECT_FALSE(app::WriteGamePlace(d.file("gone/static.ini"), {0, 0, 1300, 820}, false));
    EXPECT_EQ(FilesIn(d), 1u);
}

TEST(StaticIni, HugeBinaryAndLongLinesDoNotBreakReading) {
    TempDir d;
    std::string huge = "[other]\n";
    for (int i = 0; i < 200000; ++i) huge += "k" + std::to_string(i) + "=" + std::string(20, 'v') + "\n";
    huge += "[dmor]\nhotkey=118\nfilename=" + std::string(5000, 'x') + "_y.z\n";
    auto v = ReadWith(d, huge);
    EXPECT_EQ(v.hotKey, 118);
    EXPECT_EQ(v.uid, std::string(259, 'x'));  // the cut comes before the split
    EXPECT_EQ(v.suid, "");
    // Everything else survived the rewrite.
    EXPECT_EQ(app::IniFile::Load(d.file("static.ini")).Get("other", "k199999"), std::string(20, 'v'));

    EXPECT_EQ(ReadWith(d, BinaryAround("\n[dmor]\nhotkey=119\n")).hotKey, 119);
}

TEST(StaticIni, RewriteKeepsTheBytesThatAreNotOurs) {
    TempDir d;
    const std::string withKeys = BinaryAround("\n[dmor]\nhotkey=119\n");
    auto b = ReadWith(d, withKeys);
    EXPECT_EQ(b.hotKey, 119);
    EXPECT_TRUE(b.written);
    std::string after = ReadFile(d.file("static.ini"));
    EXPECT_EQ(after.substr(0, 70000), withKeys.substr(0, 70000));
    EXPECT_NE(after.find(withKeys.substr(withKeys.size() - 1000)), std::string::npos);
}

TEST(StaticIni, EmptyFile) {
    TempDir d;
    auto v = ReadWith(d, "");
    EXPECT_EQ(v.hotKey, 121);
    EXPECT_EQ(v.hotKeyName, "F10");
    EXPECT_TRUE(v.written);
    EXPECT_EQ(Key(d, "start"), "1");
}

TEST(StaticIni, RejectedHostsAreNamedOnStandardError) {
    TempDir d;
    testing::internal::CaptureStderr();
    auto v = ReadWith(d,
                      "[hosts]\nportal=127.0.0.1:8080   ; launcher page\ngame=game.test:81\n"
                      "pay=a\x1b[31mb\n");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(v.hosts.portal, shared::DefaultHosts().portal);
    EXPECT_EQ(v.hosts.game, "game.test:81");
    EXPECT_EQ(v.hosts.pay, shared::DefaultHosts().pay);
    EXPECT_EQ(err,
              "raduvove: static.ini [hosts] portal=\"127.0.0.1:8080   ; launcher page\" ignored: not a host name "
              "with an optional :port (a comment goes on a line of its own)\n"
              "raduvove: static.ini [hosts] pay=\"a?[31mb\" ignored: not a host name with an optional :port\n");
}
