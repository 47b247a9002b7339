// SPDX-License-Identifier: Apache-2.0
// Configuration profiles without a device: the file's form, what is refused
// before anything is sent, and the comparison.
#include "device/profile.h"

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

TEST(Profile, ValuesTheConsoleWouldNotTakeAreNamedBeforeAnythingIsSent) {
    const auto with = [](auto change) {
        Profile p = sample();
        change(p);
        return profile_problem(p).value_or("(fits)");
    };
    EXPECT_EQ(with([](Profile&) {}), "(fits)");
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::user] = std::string(33, 'u'); }),
              "ftp.user: longer than 32 characters");
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::user] = std::string(32, 'u'); }), "(fits)");
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::password] = "   "; }),
              "(fits)"); // refused only if written
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::command] = "/a\tb"; }),
              "ftp.command: a character the device cannot carry");
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::address] = "10.18.5"; }),
              "ftp.address: not four octets A.B.C.D");
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
    // The octets as the window takes them: digits, none over 255.
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::address] = "1.2.3.4.5"; }),
              "ftp.address: octet 4 not a number from 0 to 255");
    EXPECT_EQ(with([](Profile& p) { p.ftp[FtpParameter::address] = "255.255.255.255"; }), "(fits)");
}

TEST(Profile, AValueToWriteIsNeitherEmptyNorTooLongForItsLine) {
    const auto problem = [](auto change) {
        Profile device = sample();
        Profile wanted = sample();
        change(wanted);
        return write_problem(compare_profile(device, wanted)).value_or("(fits)");
    };
    EXPECT_EQ(problem([](Profile&) {}), "(fits)");
    EXPECT_EQ(problem([](Profile& p) { p.jad[1].second = std::string(255, '7'); }), "(fits)");
    EXPECT_EQ(problem([](Profile& p) { p.jad[1].second = std::string(256, '7'); }),
              "jad.PIB: longer than 255 characters");
    EXPECT_EQ(problem([](Profile& p) { p.jad[1].second = std::string(10485760, '7'); }),
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

} // namespace
} // namespace tessal::device
