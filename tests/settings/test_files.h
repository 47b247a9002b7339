#pragma once

// A fresh directory per test and whole-file helpers for the settings tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace tessal::settings::test_support {

namespace fs = std::filesystem;

inline std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Made under the working directory (the build tree), removed afterwards.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // create_directory is false for a name that exists: another is tried.
        std::random_device random;
        std::error_code ec;
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            const fs::path name =
                fs::current_path() / ("settings-test-" + std::to_string(random()));
            if (fs::create_directory(name, ec)) {
                dir = name;
            }
        }
        ASSERT_FALSE(dir.empty()) << ec.message();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    fs::path dir;
};

} // namespace tessal::settings::test_support
