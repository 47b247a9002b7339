// SPDX-License-Identifier: Apache-2.0
// Profile files: names with Serbian letters open whether the name comes as
// a window's text or as a command line's UTF-8, and each file that cannot
// be used says why.
#include "device/profile_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace tessal::device {
namespace {

using Outcome = LoadedProfile::Outcome;

constexpr const char* kKasa =
    R"({"schema": 1, "ftp": {"user": "servis"}, "jad": {"CASH_TYPE": "7"}})";

class ProfileFileTest : public ::testing::Test {
  protected:
    // The file made by Qt, which names files as the system wants them.
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = QDir(dir_.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(bytes);
        return path;
    }
    QTemporaryDir dir_;
};

TEST_F(ProfileFileTest, SerbianNamesLoadFromTextAndFromUtf8) {
    for (const QString& name : {QStringLiteral("profil-čćž.json"), QStringLiteral("kasa-č.json")}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = write(name, kKasa);
        for (const LoadedProfile& loaded : {load_profile(path), load_profile(path.toStdString())}) {
            EXPECT_EQ(loaded.outcome, Outcome::loaded) << loaded.problem;
            ASSERT_TRUE(loaded.profile);
            EXPECT_EQ(loaded.profile->ftp[FtpParameter::user], "servis");
            EXPECT_EQ(loaded.profile->jad,
                      (std::vector<std::pair<std::string, std::string>>{{"CASH_TYPE", "7"}}));
            EXPECT_EQ(loaded.sha256,
                      "f4bb3182d575076dea4369503672718a433aaf5163838b2a46ac61952d49e7f9");
            EXPECT_EQ(loaded.message, "");
        }
    }
}

TEST_F(ProfileFileTest, SavedUnderASerbianNameOpensAgainWithOrWithoutTheSecret) {
    Profile profile;
    profile.ftp[FtpParameter::user] = "servis";
    profile.ftp[FtpParameter::password] = "trobelik";
    const QString path = QDir(dir_.path()).filePath(QStringLiteral("profil-čćž.json"));
    std::string error;
    ASSERT_TRUE(save_profile(path, profile, false, error)) << error;
    {
        QFile saved(path); // closed again: Windows replaces no file held open
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_FALSE(saved.readAll().contains("trobelik"));
    }
    EXPECT_EQ(load_profile(path).profile->ftp[FtpParameter::password], std::nullopt);
    ASSERT_TRUE(save_profile(path.toStdString(), profile, true, error)) << error;
    EXPECT_EQ(load_profile(path).profile->ftp[FtpParameter::password], "trobelik");
    // A folder that is not there takes no file.
    EXPECT_FALSE(save_profile(dir_.path() + QStringLiteral("/nema/p.json"), profile, false, error));
    EXPECT_NE(error, "");
}

TEST_F(ProfileFileTest, AFileThatCannotBeUsedSaysWhy) {
    const QString missing = QDir(dir_.path()).filePath(QStringLiteral("nema-č.json"));
    LoadedProfile loaded = load_profile(missing);
    EXPECT_EQ(loaded.outcome, Outcome::missing);
    EXPECT_FALSE(loaded.read());
    EXPECT_EQ(loaded.message, "the profile file cannot be read");
    EXPECT_EQ(loaded.problem, missing.toStdString() + ": No such file or directory");
    EXPECT_FALSE(loaded.profile);

    loaded = load_profile(dir_.path());
    EXPECT_EQ(loaded.outcome, Outcome::unreadable);
    EXPECT_EQ(loaded.message, "the profile file cannot be read");
    EXPECT_EQ(loaded.problem,
              QDir(dir_.path()).path().toStdString() + " je direktorijum, a ne datoteka.");

    loaded = load_profile(write("v2.json", R"({"schema": 2})"));
    EXPECT_EQ(loaded.outcome, Outcome::not_a_profile);
    EXPECT_TRUE(loaded.read());
    EXPECT_EQ(loaded.message, "");
    EXPECT_EQ(loaded.problem, "schema: not a profile of schema 1");
    EXPECT_FALSE(loaded.profile);

    // A file larger than any profile is not read further; one of 1 MiB is.
    const QByteArray padded = QByteArray(kKasa).leftJustified(1024 * 1024, ' ');
    EXPECT_EQ(load_profile(write("1mib.json", padded)).outcome, Outcome::loaded);
    loaded = load_profile(write("large.json", padded + " "));
    EXPECT_EQ(loaded.outcome, Outcome::not_a_profile);
    EXPECT_EQ(loaded.problem, "not a profile: larger than 1 MiB");
    EXPECT_FALSE(loaded.profile);

    // The console's limits are checked too: no front end skips them.
    loaded = load_profile(write(
        "long.json", R"({"schema": 1, "ftp": {"user": "a-user-name-of-thirty-three-chars"}})"));
    EXPECT_EQ(loaded.outcome, Outcome::does_not_fit);
    EXPECT_EQ(loaded.problem, "ftp.user: longer than 32 characters");
    EXPECT_FALSE(loaded.profile);
    loaded = load_profile(
        write("jad.json", R"({"schema": 1, "jad": {"PIB": ")" + QByteArray(256, '7') + R"("}})"));
    EXPECT_EQ(loaded.outcome, Outcome::does_not_fit);
    EXPECT_EQ(loaded.problem, "jad.PIB: longer than 255 characters");
}

} // namespace
} // namespace tessal::device
