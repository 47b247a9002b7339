#include "devsim/device.h"

#include <gtest/gtest.h>

#include <regex>

namespace tessal::devsim {
namespace {

TEST(DeviceCommands, AnswersTheCommandSet) {
    Device device;
    device.set_version("GPRS 9.9");
    EXPECT_EQ(device.handle("V"), Reply::frame("GPRS 9.9"));
    for (const char* code : {"E", "X", "T"}) {
        EXPECT_EQ(device.handle(code), Reply::ack()) << code;
    }
    EXPECT_EQ(device.handle("J"), Reply::frame(device.descriptor()));
    EXPECT_EQ(device.handle("AAT+CSQ"), Reply::frame("\r\n+CSQ: 21,99\r\n\r\nOK\r\n"));
}

TEST(DeviceCommands, UnknownCodesAndEmptyTextGetNak) {
    Device device;
    EXPECT_EQ(device.handle("Z"), Reply::nak());
    EXPECT_EQ(device.handle("v"), Reply::nak()); // codes are case-sensitive
    EXPECT_EQ(device.handle(""), Reply::nak());
}

TEST(DeviceCommands, LastCommandIsTheOneBeforeThisOne) {
    Device device;
    EXPECT_EQ(device.handle("W"), Reply::frame(""));
    device.handle("RFTPGovUser");
    device.handle("Z"); // unknown codes were received too
    EXPECT_EQ(device.handle("W"), Reply::frame("Z"));
    EXPECT_EQ(device.handle("W"), Reply::frame("W"));
    EXPECT_EQ(device.last_command(), "W");
}

TEST(DeviceCommands, PasswordIsKeptAsSent) {
    Device device;
    EXPECT_EQ(device.handle("p se cret "), Reply::ack());
    EXPECT_EQ(device.password(), " se cret ");
    EXPECT_EQ(device.handle("p"), Reply::ack());
    EXPECT_EQ(device.password(), "");
}

TEST(DeviceParameters, FtpParametersStartWithPlausibleValues) {
    Device device;
    EXPECT_EQ(device.handle("RFTPGovUser"), Reply::frame("terminal"));
    EXPECT_EQ(device.handle("RFTPGovPass"), Reply::frame("trobelik"));
    EXPECT_EQ(device.handle("RFTP_pathFILES"), Reply::frame("/izvestaji"));
    EXPECT_EQ(device.handle("RFtpGovFoldsCommand"), Reply::frame("/komande"));
    const Reply address = device.handle("RFTPGovAddr");
    EXPECT_TRUE(std::regex_match(address.payload, std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
    EXPECT_FALSE(device.handle("RgprsParamVlada").payload.empty());
    // Names are exact, letter case included.
    EXPECT_EQ(device.handle("Rftpgovuser"), Reply::nak());
    EXPECT_EQ(device.handle("R"), Reply::nak());
}

TEST(DeviceParameters, SetStoresUpToTheFirstColon) {
    Device device;
    EXPECT_EQ(device.handle("PFTPGovAddr:010.018.005.9"), Reply::ack());
    EXPECT_EQ(device.handle("RFTPGovAddr"), Reply::frame("010.018.005.9"));
    EXPECT_EQ(device.handle("PgprsParamVlada:apn:user: pass "), Reply::ack());
    EXPECT_EQ(device.parameter("gprsParamVlada"), "apn:user: pass ");
    EXPECT_EQ(device.handle("PSIM:"), Reply::ack());
    EXPECT_EQ(device.parameter("SIM"), "");
    EXPECT_EQ(device.stored_parameters().count("SIM"), 1U);
}

TEST(DeviceParameters, SetWithoutNameOrColonIsRefused) {
    Device device;
    EXPECT_EQ(device.handle("PFTPGovUser"), Reply::nak());
    EXPECT_EQ(device.handle("P:value"), Reply::nak());
    EXPECT_EQ(device.parameter("FTPGovUser"), "terminal");
}

TEST(DeviceDescriptor, DefaultHasFifteenOrSoWellFormedLines) {
    const std::string text = Device::default_descriptor();
    ASSERT_GE(text.size(), 2U);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::regex line(R"(([^:\r\n]+): ([^\r\n]*)\r\n)");
    int lines = 0;
    std::string rest = text;
    std::smatch match;
    while (std::regex_search(rest, match, line, std::regex_constants::match_continuous)) {
        ++lines;
        rest = match.suffix();
    }
    EXPECT_EQ(rest, "") << "not every line is \"name: value\" CR LF";
    EXPECT_GE(lines, 13);
    EXPECT_LE(lines, 17);
    EXPECT_TRUE(std::regex_search(text, std::regex("(^|\n)CASH_TYPE: \\d+\r\n")));
    EXPECT_TRUE(std::regex_search(text, std::regex(": https?://[^:\r\n]+:\\d+/[^\r\n]+\r\n")));
}

TEST(DeviceDescriptor, ParametersAreReadFromItsLines) {
    Device device;
    EXPECT_EQ(device.handle("RCASH_TYPE"), Reply::frame("3"));
    EXPECT_EQ(device.parameter("MIDlet-Jar-URL"), "http://update.example.net:8080/komunikator.jar");

    device.set_descriptor("A: 1\r\nB:2\r\nno colon here\r\nC: last");
    EXPECT_EQ(device.handle("J"), Reply::frame("A: 1\r\nB:2\r\nno colon here\r\nC: last"));
    EXPECT_EQ(device.parameter("A"), "1");
    EXPECT_EQ(device.parameter("B"), "2");
    EXPECT_EQ(device.parameter("C"), "last");
    EXPECT_EQ(device.parameter("CASH_TYPE"), std::nullopt);
}

TEST(DeviceDescriptor, SettingAJadParameterRewritesItsLine) {
    Device device;
    device.set_descriptor("MIDlet-Name: X\r\nCASH_TYPE: 3\r\nLAST: z");
    EXPECT_EQ(device.handle("PCASH_TYPE:12"), Reply::ack());
    EXPECT_EQ(device.handle("PLAST: y "), Reply::ack());
    EXPECT_EQ(device.descriptor(), "MIDlet-Name: X\r\nCASH_TYPE: 12\r\nLAST:  y ");
    EXPECT_EQ(device.handle("RCASH_TYPE"), Reply::frame("12"));
    EXPECT_EQ(device.stored_parameters().count("CASH_TYPE"), 0U);
}

} // namespace
} // namespace tessal::devsim
