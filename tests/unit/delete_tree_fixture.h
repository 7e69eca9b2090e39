#pragma once
// The fixture of the DeleteTree tests: a cache folder inside a private temporary folder, and a
// listing of what is left in a tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace testing_support {

// Everything under `root`, relative with '/' between names, sorted; links are listed, not
// entered.
inline std::vector<std::string> Listing(const std::filesystem::path& root) {
    std::vector<std::string> out;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it)
        out.push_back(it->path().lexically_relative(root).generic_string());
    std::sort(out.begin(), out.end());
    return out;
}

class DeleteTreeTest : public ::testing::Test {
protected:
    std::filesystem::path cache() const { return dir.path() / "cache"; }
    TempDir dir;
};

}  // namespace testing_support
