#include "settings/settings_store.h"
#include "settings/text_file.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tessal::settings {
namespace {

namespace fs = std::filesystem;

using test_support::read_bytes;
using test_support::write_bytes;

const std::string old_file = "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PORT]\r\nBROJ=2\r\nBOUD=9600\r\n";

class SaveFailureTest : public test_support::TempDirTest {
  protected:
    // Saves into the directory and expects a reported failure.
    void expect_refused(const fs::path& directory) {
        std::vector<std::string> reports;
        SettingsStore store(directory, [&](const std::string& text) { reports.push_back(text); });
        Settings s;
        s.operator_names[0] = std::string(500, 'x');
        EXPECT_FALSE(store.save_settings(s));
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find(display_path(directory)), std::string::npos) << reports[0];
    }
};

TEST_F(SaveFailureTest, BlockedPathsAreReported) {
    expect_refused(dir / "missing");
    EXPECT_FALSE(fs::exists(dir / "missing"));

    write_bytes(dir / "plain", "x");
    expect_refused(dir / "plain");
    EXPECT_EQ(read_bytes(dir / "plain"), "x");

    fs::create_directory(dir / "rvt_ini.txt");
    expect_refused(dir);
    bool reported = false;
    Settings s;
    EXPECT_FALSE(SettingsStore(dir, [&](const std::string&) { reported = true; }).load_settings(s));
    EXPECT_TRUE(reported);
}

TEST_F(SaveFailureTest, ReadOnlyFileOrDirectoryIsReported) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permission bits do not stop root";
    }
    write_bytes(dir / "rvt_ini.txt", old_file);
    fs::permissions(dir / "rvt_ini.txt", fs::perms::owner_read);
    expect_refused(dir);
    fs::permissions(dir / "rvt_ini.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    expect_refused(dir);
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(read_bytes(dir / "rvt_ini.txt"), old_file);
}

TEST_F(SaveFailureTest, FailureHalfWayLeavesTheOldFileWhole) {
    write_bytes(dir / "rvt_ini.txt", old_file);
    // A file size limit stops the write of the new content part way, as a
    // full disk does.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    expect_refused(dir);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(read_bytes(dir / "rvt_ini.txt"), old_file);
    const std::vector<fs::path> left{fs::directory_iterator(dir), fs::directory_iterator()};
    EXPECT_EQ(left, std::vector<fs::path>{dir / "rvt_ini.txt"});
}

TEST_F(SaveFailureTest, ReplacementKeepsPermissionsAndSymbolicLinks) {
    const fs::path real = dir / "real" / "settings.ini";
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::create_directory(dir / "real");
    write_bytes(real, old_file);
    fs::permissions(real, mode);
    fs::create_symlink("real/settings.ini", dir / "rvt_ini.txt");
    Settings s;
    s.port_number = 5;
    ASSERT_TRUE(SettingsStore(dir).save_settings(s));
    EXPECT_TRUE(fs::is_symlink(dir / "rvt_ini.txt"));
    EXPECT_NE(read_bytes(real).find("BROJ=5"), std::string::npos);
    EXPECT_EQ(fs::status(real).permissions(), mode);
}

} // namespace
} // namespace tessal::settings
