// static.ini through the system's profile functions: a user's existing file keeps the
// encoding it has (UTF-16LE or UTF-8 with BOM, or the ANSI code page), and its values are
// read in that encoding.
#include "fw/windows/windows_api.h"

#include <gtest/gtest.h>

#include <string>

#include "app/ini_file.h"
#include "app/static_ini.h"
#include "test_support.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::string Utf16Le(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

TEST(StaticIniWin32, ExistingEncodingsAreKept) {
    {
        TempDir d;
        WriteFile(d.file("static.ini"), Utf16Le(u"[dmor]\r\nfilename=\u7528\u6237_\u670d.exe\r\nhotkey=393337\r\n"));
        auto v = app::ReadStaticIni(d.file("static.ini"));
        EXPECT_EQ(v.uid, "用户");
        EXPECT_EQ(v.suid, "服");
        EXPECT_EQ(v.hotKey, 393337);
        EXPECT_TRUE(v.written);
        const std::string now = ReadFile(d.file("static.ini"));
        ASSERT_EQ(now.substr(0, 2), "\xFF\xFE") << "still UTF-16";
        EXPECT_NE(now.find(Utf16Le(u"uid=\u7528\u6237").substr(2)), std::string::npos);
        EXPECT_NE(now.find(Utf16Le(u"hotkey=393337").substr(2)), std::string::npos);
        EXPECT_EQ(app::IniFile::Load(d.file("static.ini")).Get("dmor", "filename").value_or(""), "服");
    }
    {
        TempDir d;
        WriteFile(d.file("static.ini"), "\xEF\xBB\xBF[dmor]\r\nfilename=\xE7\x94\xA8_x.exe\r\n");
        auto v = app::ReadStaticIni(d.file("static.ini"));
        EXPECT_EQ(v.uid, "用");
        EXPECT_EQ(v.suid, "x");
        const std::string now = ReadFile(d.file("static.ini"));
        EXPECT_EQ(now.substr(0, 3), "\xEF\xBB\xBF") << "still UTF-8 with its BOM";
        EXPECT_NE(now.find("uid=\xE7\x94\xA8"), std::string::npos);
    }
}

TEST(StaticIniWin32, AFileWithoutBomIsInTheAnsiCodePage) {
    std::string ansiName, uid;  // "<uid>_s.exe" in the code page's bytes, and the uid in UTF-8
    switch (GetACP()) {
    case 1252:
        ansiName = "ab\xE9_s.exe";
        uid = "ab\xC3\xA9";
        break;
    case 936:
        ansiName = "\xD3\xC3_s.exe";
        uid = "\xE7\x94\xA8";
        break;
    default: GTEST_SKIP() << "no cases for ANSI code page " << GetACP();
    }
    TempDir d;
    WriteFile(d.file("static.ini"), "[dmor]\r\nfilename=" + ansiName + "\r\n");
    auto v = app::ReadStaticIni(d.file("static.ini"));
    EXPECT_EQ(v.uid, uid);
    EXPECT_EQ(v.suid, "s");
    // Written back in the same code page, so an older reader of the file still understands it.
    const std::string now = ReadFile(d.file("static.ini"));
    EXPECT_NE(now.find("uid=" + ansiName.substr(0, ansiName.find('_'))), std::string::npos) << now;
    EXPECT_EQ(now.find("\xEF\xBB\xBF"), std::string::npos);
}

}  // namespace
