#include "settings/settings_store.h"

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
        EXPECT_NE(reports[0].find("rvt_ini.txt"), std::string::npos) << reports[0];
    }
    std::vector<fs::path> entries() const {
        return {fs::directory_iterator(dir), fs::directory_iterator()};
    }
};

TEST_F(SaveFailureTest, MissingOrBlockedDirectoryIsReported) {
    expect_refused(dir / "missing");
    EXPECT_FALSE(fs::exists(dir / "missing"));

    write_bytes(dir / "plain", "x");
    expect_refused(dir / "plain");
    EXPECT_EQ(read_bytes(dir / "plain"), "x");
}

TEST_F(SaveFailureTest, SettingsPathThatIsADirectoryFailsBothWays) {
    fs::create_directory(dir / "rvt_ini.txt");
    expect_refused(dir);
    std::vector<std::string> reports;
    Settings s;
    EXPECT_FALSE(
        SettingsStore(dir, [&](const std::string& t) { reports.push_back(t); }).load_settings(s));
    EXPECT_EQ(reports.size(), 1u);
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
    // A file size limit makes the write of the new content stop part way,
    // as a full disk does.
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
    EXPECT_EQ(entries(), std::vector<fs::path>{dir / "rvt_ini.txt"});
    Settings s;
    EXPECT_TRUE(SettingsStore(dir).load_settings(s));
    EXPECT_EQ(s.port_number, 2);
}

TEST_F(SaveFailureTest, ReplacementKeepsPermissionsAndSymbolicLinks) {
    fs::create_directory(dir / "real");
    write_bytes(dir / "real" / "settings.ini", old_file);
    fs::permissions(dir / "real" / "settings.ini",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real/settings.ini", dir / "rvt_ini.txt");
    Settings s;
    s.port_number = 5;
    ASSERT_TRUE(SettingsStore(dir).save_settings(s));
    EXPECT_TRUE(fs::is_symlink(dir / "rvt_ini.txt"));
    EXPECT_NE(read_bytes(dir / "real" / "settings.ini").find("BROJ=5"), std::string::npos);
    EXPECT_EQ(fs::status(dir / "real" / "settings.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(fs::directory_iterator(dir / "real")->path(), dir / "real" / "settings.ini");
}

} // namespace
} // namespace tessal::settings
