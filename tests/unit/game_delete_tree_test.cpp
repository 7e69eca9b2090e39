// DeleteTree on real temporary trees, on every system: nested folders, desktop.ini kept with
// the folders on its path, folders that cannot be listed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "delete_tree_fixture.h"
#include "game/cache_clear.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testing_support::DeleteTreeTest;
using testing_support::Listing;
using testing_support::Touch;

TEST_F(DeleteTreeTest, EmptiesNestedFoldersButKeepsTheFolderItself) {
    Touch(cache() / "a.bin");
    Touch(cache() / "x" / "y" / "z" / "deep.bin");
    Touch(cache() / "x" / ".hidden");
    fs::create_directories(cache() / "empty" / "again");
    EXPECT_EQ(DeleteTree(cache().string(), false), 1);
    EXPECT_TRUE(fs::is_directory(cache()));
    EXPECT_TRUE(fs::is_empty(cache()));
    // A trailing separator names the same folder.
    Touch(cache() / "b.bin");
    EXPECT_EQ(DeleteTree(cache().string() + "/", false), 1);
    EXPECT_TRUE(fs::is_empty(cache()));
    // Nothing to delete is still a listing that started.
    EXPECT_EQ(DeleteTree(cache().string(), false), 1);
}

TEST_F(DeleteTreeTest, DesktopIniStaysWithTheFoldersOnItsPath) {
    Touch(cache() / "desktop.ini");
    Touch(cache() / "one" / "Desktop.INI");
    Touch(cache() / "one" / "two" / "DESKTOP.ini");
    Touch(cache() / "one" / "two" / "gone.dat");
    Touch(cache() / "one" / "sibling" / "gone.dat");
    Touch(cache() / "desktop.ini.bak");
    Touch(cache() / "notdesktop.ini");
    ASSERT_EQ(DeleteTree(cache().string(), false), 1);
    EXPECT_EQ(Listing(cache()),
              (std::vector<std::string>{"desktop.ini", "one", "one/Desktop.INI", "one/two", "one/two/DESKTOP.ini"}));
    // With the flag they go too.
    ASSERT_EQ(DeleteTree(cache().string(), true), 1);
    EXPECT_TRUE(fs::is_empty(cache()));
}

TEST_F(DeleteTreeTest, FoldersThatCannotBeListedAnswerZero) {
    EXPECT_EQ(DeleteTree((dir.path() / "missing").string(), false), 0);
    EXPECT_EQ(DeleteTree("", false), 0);
    Touch(dir.path() / "plain.txt");
    EXPECT_EQ(DeleteTree((dir.path() / "plain.txt").string(), false), 0);
    EXPECT_TRUE(fs::exists(dir.path() / "plain.txt"));
}
