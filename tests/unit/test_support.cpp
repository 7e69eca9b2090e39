#include "test_support.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <sstream>
#include <unistd.h>

namespace testing_support {

TempDir::TempDir() {
    // A name no folder has yet: process ids are reused (under Wine by every run), and a
    // folder left by a run that crashed must not be taken over.
    static std::atomic<int> counter{0};
    static std::mt19937_64 random{std::random_device{}()};
    static std::mutex mutex;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        std::uint64_t tag;
        {
            std::lock_guard<std::mutex> lock(mutex);
            tag = random();
        }
        path_ = base / ("rv-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                        std::to_string(tag % 1000000));
        if (std::filesystem::create_directories(path_)) break;
    }
}

TempDir::~TempDir() {
    // Write permission back on everything inside (links are not followed), or a read-only
    // entry would keep its folder on systems where that blocks removal.
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink(ec)) continue;
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
        ec.clear();
    }
    std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Touch(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path.string(), "data of " + path.filename().string());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace testing_support
