#pragma once
// Shared helpers of the unit tests: a private folder per test and small file helpers.
#include <filesystem>
#include <fstream>
#include <string>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    // The folder with the system's trailing separator, as GetModuleDir gives it.
    std::string dir() const { return (path_ / "").string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
// A file holding "data of <its name>", with the folders on its path.
void Touch(const std::filesystem::path& path);
std::string ReadFile(const std::string& path);

}  // namespace testing_support
