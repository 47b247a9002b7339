#include "devsim/device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace tessal::devsim {
namespace {

bool all_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char ch) {
        return std::isdigit(static_cast<unsigned char>(ch)) != 0;
    });
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos;) {
        parts.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    parts.push_back(text.substr(from));
    return parts;
}

TEST(DeviceCommands, AnswersTheCommandSet) {
    Device device;
    device.set_version("GPRS 9.9");
    EXPECT_EQ(device.handle("V"), Reply::frame("GPRS 9.9"));
    for (const char* code : {"E", "X", "T"}) {
        EXPECT_EQ(device.handle(code), Reply::ack()) << code;
    }
    EXPECT_EQ(device.handle("J"), Reply::frame(device.descriptor()));
    EXPECT_EQ(device.handle("AAT+CSQ"), Reply::frame("\r\n+CSQ: 21,99\r\n\r\nOK\r\n"));
    EXPECT_EQ(device.handle("p se cret "), Reply::ack());
    EXPECT_EQ(device.password(), " se cret ");
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

TEST(DeviceParameters, FtpParametersStartWithPlausibleValues) {
    Device device;
    EXPECT_EQ(device.handle("RFTPGovUser"), Reply::frame("terminal"));
    EXPECT_EQ(device.handle("RFTPGovPass"), Reply::frame("trobelik"));
    EXPECT_EQ(device.handle("RFTP_pathFILES"), Reply::frame("/izvestaji"));
    EXPECT_EQ(device.handle("RFtpGovFoldsCommand"), Reply::frame("/komande"));
    const std::vector<std::string> octets = split(device.handle("RFTPGovAddr").payload, ".");
    ASSERT_EQ(octets.size(), 4U);
    EXPECT_TRUE(std::all_of(octets.begin(), octets.end(), all_digits));
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
    std::vector<std::string> lines = split(Device::default_descriptor(), "\r\n");
    ASSERT_EQ(lines.back(), "") << "the last line has no CR LF";
    lines.pop_back();
    EXPECT_GE(lines.size(), 13U);
    EXPECT_LE(lines.size(), 17U);
    bool cash_type = false;
    bool url = false;
    for (const std::string& line : lines) {
        const std::size_t colon = line.find(": ");
        ASSERT_NE(colon, std::string::npos) << line;
        EXPECT_GT(colon, 0U) << line;
        EXPECT_EQ(line.find(':'), colon) << "a colon inside the name: " << line;
        const std::string value = line.substr(colon + 2);
        cash_type |= line.starts_with("CASH_TYPE: ") && all_digits(value);
        url |= value.starts_with("http://") && split(value, ":").size() == 3;
    }
    EXPECT_TRUE(cash_type);
    EXPECT_TRUE(url);
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
