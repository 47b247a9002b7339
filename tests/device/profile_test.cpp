// SPDX-License-Identifier: Apache-2.0
// Configuration profiles without a device: the file's form, what is refused
// before anything is sent, the comparison, and profile files whose names
// have Serbian letters, opened whether the name comes as a window's text or
// as a command line's UTF-8, each file that cannot be used saying why.
#include "device/profile.h"
#include "device/profile_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tessal::device {
namespace {

Profile sample() {
    Profile p;
    p.ftp[FtpParameter::address] = "10.18.5.9";
    p.ftp[FtpParameter::user] = "terminal";
    p.ftp[FtpParameter::password] = "trobelik";
    p.ftp[FtpParameter::for_send] = "/izvestaji";
    p.ftp[FtpParameter::command] = "/komande";
    p.ftp[FtpParameter::gprs] = "internet,gprs";
    p.operator_name = "Mreza A";
    p.jad = {{"CASH_TYPE", "3"}, {"PIB", "100123456"}};
    p.source = {"GPRS 2.4.1", "356871044629016", "2026-12-07 10:00:00", "/dev/ttyUSB0"};
    return p;
}

TEST(Profile, FileKeepsTheValuesAndLeavesTheSecretOutUnlessAsked) {
    const std::string without = profile_json(sample(), false);
    EXPECT_EQ(without.find("trobelik"), std::string::npos);
    EXPECT_NE(without.find("\"schema\": 1"), std::string::npos);
    const std::string with = profile_json(sample(), true);
    EXPECT_NE(with.find("\"password\": {\n            \"secret\": \"trobelik\""), std::string::npos)
        << with;
    std::string problem;
    const std::optional<Profile> back = parse_profile(with, problem);
    ASSERT_TRUE(back) << problem;
    EXPECT_EQ(back->ftp[FtpParameter::address], "10.18.5.9");
    EXPECT_EQ(back->ftp[FtpParameter::password], "trobelik");
    EXPECT_EQ(back->ftp[FtpParameter::gprs], "internet,gprs");
    EXPECT_EQ(back->operator_name, "Mreza A");
    EXPECT_EQ(back->jad, (std::vector<std::pair<std::string, std::string>>{{"CASH_TYPE", "3"},
                                                                           {"PIB", "100123456"}}));
    EXPECT_EQ(back->source.imei, "356871044629016");
    const std::optional<Profile> plain = parse_profile(without, problem);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->ftp[FtpParameter::password]); // left out: not compared, not applied
}

TEST(Profile, FilesThatAreNoProfileAreRefusedWithTheFieldNamed) {
    const struct {
        const char* json;
        const char* problem;
    } rows[] = {
        {R"({"schema": 2, "ftp": {}})", "schema: not a profile of schema 1"},
        {R"({"ftp": {}})", "schema: not a profile of schema 1"},
        {R"([1, 2])", "not a profile: the top is not an object"},
        {R"({"schema": 1, "ftp": {"user": 7}})", "ftp.user: not a text"},
        {R"({"schema": 1, "ftp": {"host": "x"}})", "ftp.host: not an FTP parameter"},
        {R"({"schema": 1, "jad": {"PIB": "\u0416"}})",
         "jad.PIB: a character the device cannot carry"},
        {R"({"schema": 1, "extra": {}})", "extra: not a part of a profile"},
        // A name given twice: a reader would keep one of them silently.
        {R"({"schema": 1, "ftp": {"user": "a", "user": "b"}})", "ftp.user: given twice"},
        {R"({"schema": 1, "jad": {"PIB": "1", "CASH_TYPE": "3", "P\u0049B": "2"}})",
         "jad.PIB: given twice"},
        {R"({"schema": 1, "schema": 1})", "schema: given twice"},
        // A name is named cut short and as visible characters.
        {R"({"schema": 1, "jad": {"\u001b]0;x\u0007": 7}})", R"(jad.\x1B]0;x\x07: not a text)"},
    };
    for (const auto& row : rows) {
        std::string problem;
        EXPECT_FALSE(parse_profile(row.json, problem)) << row.json;
        EXPECT_EQ(problem, row.problem) << row.json;
    }
    std::string problem;
    EXPECT_FALSE(parse_profile("{", problem));
    EXPECT_EQ(problem.rfind("not JSON: ", 0), 0U) << problem;
}

// The value rules themselves are tested with the FTP rows; here a profile's
// value is named by its field.
TEST(Profile, ValuesTheConsoleWouldNotTakeAreNamedBeforeAnythingIsSent) {
    const auto with = [](auto change) {
        Profile p = sample();
        change(p);
        return profile_problem(p).value_or("(fits)");
    };
    EXPECT_EQ(with([](Profile&) {}), "(fits)");
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::user] = std::string(33, 'u'); }),
              "ftp.user: longer than 32 characters");
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::password] = "   "; }),
              "(fits)"); // refused only if written
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::address] = "10.1800.5.9"; }),
              "ftp.address: octet 2 empty, longer than 3 characters or not device text");
    EXPECT_EQ(with([](Profile& p) { p.jad.emplace_back("A:B", "1"); }),
              "jad.A:B: not a parameter name");
    // A JAD name is short and of the device's characters, and a value that
    // cannot go in one line is refused from the file alone.
    EXPECT_EQ(with([](Profile& p) { p.jad.emplace_back("A\x1b]0;x\x07", "1"); }),
              R"(jad.A\x1B]0;x\x07: not a parameter name)");
    EXPECT_EQ(with([](Profile& p) { p.jad.emplace_back(std::string(64, 'N'), "1"); }), "(fits)");
    EXPECT_EQ(with([](Profile& p) { p.jad.emplace_back(std::string(10485760, 'N'), "1"); }),
              "jad." + std::string(64, 'N') + "...: a name longer than 64 characters");
    EXPECT_EQ(with([](Profile& p) { p.jad[1].second = std::string(256, '7'); }),
              "jad.PIB: longer than 255 characters");
    EXPECT_EQ(with([](Profile& p) { p.jad[1].second = "  "; }), "(fits)");
}

TEST(Profile, AValueToWriteIsNeitherEmptyNorTooLongForItsLine) {
    const auto problem = [](auto change) {
        Profile device = sample();
        Profile wanted = sample();
        change(wanted);
        return write_problem(compare_profile(device, wanted)).value_or("(fits)");
    };
    EXPECT_EQ(problem([](Profile&) {}), "(fits)");
    EXPECT_EQ(problem([](Profile& p) { p.jad[1].second = std::string(256, '7'); }),
              "jad.PIB: longer than 255 characters");
    EXPECT_EQ(problem([](Profile& p) { p.jad[0].second = "  "; }), "jad.CASH_TYPE: empty");
    EXPECT_EQ(problem([](Profile& p) { p.jad.emplace_back("NEW", ""); }), "jad.NEW: empty");
    EXPECT_EQ(problem([](Profile& p) { p.ftp[FtpParameter::user] = " "; }), "ftp.user: empty");
    // A value the device already holds is not written, so it is not refused.
    const Profile blank = [] {
        Profile p = sample();
        p.jad[0].second = "";
        return p;
    }();
    EXPECT_EQ(write_problem(compare_profile(blank, blank)).value_or("(fits)"), "(fits)");
}

TEST(Profile, ComparisonInTheOrderOfWritingWithSecretsHidden) {
    Profile device = sample();
    device.ftp[FtpParameter::address] = "010.018.005.9"; // as the console sent it
    device.jad = {{"MIDlet-Name", "Tessal"}, {"PIB", "100123456"}, {"CASH_TYPE", "3"}};
    Profile wanted;
    wanted.ftp[FtpParameter::address] = "10.18.5.9";
    wanted.ftp[FtpParameter::user] = "tech";
    wanted.ftp[FtpParameter::password] = "nova";
    wanted.jad = {{"CASH_TYPE", "7"}, {"NEW", "1"}, {"PIB", "100123456"}};
    std::vector<std::string> seen;
    for (const ValueState& v : compare_profile(device, wanted)) {
        seen.push_back(v.field + " " + v.before.value_or("?") + " -> " + v.wanted + " " +
                       (v.state == ValueState::State::unchanged ? "same" : "differs"));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "ftp.address 010.018.005.9 -> 10.18.5.9 same",
                        "ftp.user terminal -> tech differs",
                        "ftp.password ******** -> ******** differs",
                        "jad.PIB 100123456 -> 100123456 same",
                        "jad.CASH_TYPE 3 -> 7 differs",
                        "jad.NEW  -> 1 differs",
                    }));
}

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
