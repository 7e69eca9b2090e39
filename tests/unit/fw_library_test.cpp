// Shared libraries loaded at run time (fw/library.h), with the tests' chat library as the
// library at hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "chat_double/chat_double.h"
#include "fw/library.h"
#include "fw/system.h"
#include "test_support.h"

namespace {

std::string DoubleFile(const std::string& variant) {
    return (std::filesystem::path(fw::GetModuleDir()) / fw::SharedLibraryName("chat_double_" + variant)).string();
}

}  // namespace

TEST(FwLibrary, LoadsByPathOnceAndFindsItsExports) {
    // The build names its libraries as the system does.
    ASSERT_TRUE(std::filesystem::exists(DoubleFile("full"))) << DoubleFile("full");
    std::string why = "untouched";
    const fw::LibraryHandle a = fw::LoadSharedLibrary(DoubleFile("full"), &why);
    ASSERT_NE(a, nullptr) << why;
    EXPECT_EQ(why, "untouched");
    EXPECT_EQ(fw::LoadSharedLibrary(DoubleFile("full")), a);  // the same file: the same library
    EXPECT_NE(fw::FindSymbol(a, "init"), nullptr);
    EXPECT_NE(fw::FindSymbol(a, CHAT_DOUBLE_DELIVER), nullptr);
    EXPECT_EQ(fw::FindSymbol(a, "no_such_export"), nullptr);
    EXPECT_EQ(fw::FindSymbol(a, nullptr), nullptr);
    EXPECT_EQ(fw::FindSymbol(nullptr, "init"), nullptr);

    // A variant without an export is another library, and lacks it.
    const fw::LibraryHandle b = fw::LoadSharedLibrary(DoubleFile("without_setacc"));
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b, a);
    EXPECT_EQ(fw::FindSymbol(b, "setacc"), nullptr);
    EXPECT_NE(fw::FindSymbol(b, "setlnk"), nullptr);
}

TEST(FwLibrary, WhatIsNoLibraryLoadsNothingAndSaysWhy) {
    testing_support::TempDir dir;
    const std::string text = dir.file(fw::SharedLibraryName("text"));
    testing_support::WriteFile(text, "not a library at all");
    for (const std::string& path : {dir.file(fw::SharedLibraryName("missing")), text, dir.dir(), std::string()}) {
        SCOPED_TRACE(path);
        std::string why;
        EXPECT_EQ(fw::LoadSharedLibrary(path, &why), nullptr);
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(fw::LoadSharedLibrary(path), nullptr);  // without asking why
    }
}
