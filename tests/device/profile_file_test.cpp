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

// A file that cannot be used says why; the console's limits are checked
// too, so no front end skips them; a file larger than any profile is not
// read further, one of 1 MiB is.
TEST_F(ProfileFileTest, AFileThatCannotBeUsedSaysWhy) {
    const QString missing = QDir(dir_.path()).filePath(QStringLiteral("nema-č.json"));
    const QByteArray padded = QByteArray(kKasa).leftJustified(1024 * 1024, ' ');
    const char* const unreadable = "the profile file cannot be read";
    const struct {
        QString path;
        Outcome outcome;
        bool read;
        const char* message;
        std::string problem;
    } rows[] = {
        {missing, Outcome::missing, false, unreadable,
         missing.toStdString() + ": No such file or directory"},
        {dir_.path(), Outcome::unreadable, false, unreadable,
         QDir(dir_.path()).path().toStdString() + " je direktorijum, a ne datoteka."},
        {write("v2.json", R"({"schema": 2})"), Outcome::not_a_profile, true, "",
         "schema: not a profile of schema 1"},
        {write("1mib.json", padded), Outcome::loaded, true, "", ""},
        {write("large.json", padded + " "), Outcome::not_a_profile, true, "",
         "not a profile: larger than 1 MiB"},
        {write("long.json",
               R"({"schema": 1, "ftp": {"user": "a-user-name-of-thirty-three-chars"}})"),
         Outcome::does_not_fit, true, "", "ftp.user: longer than 32 characters"},
        {write("jad.json", R"({"schema": 1, "jad": {"PIB": ")" + QByteArray(256, '7') + R"("}})"),
         Outcome::does_not_fit, true, "", "jad.PIB: longer than 255 characters"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.problem);
        const LoadedProfile loaded = load_profile(row.path);
        EXPECT_EQ(loaded.outcome, row.outcome);
        EXPECT_EQ(loaded.read(), row.read);
        EXPECT_EQ(loaded.message, row.message);
        EXPECT_EQ(loaded.problem, row.problem);
        EXPECT_EQ(loaded.profile.has_value(), row.outcome == Outcome::loaded);
    }
}

} // namespace
} // namespace tessal::device
