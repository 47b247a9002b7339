#include "devsim/options.h"

#include <gtest/gtest.h>

namespace tessal::devsim {
namespace {

TEST(ProgramArguments, EveryFaultHasAnOption) {
    const ParsedArguments parsed = parse_arguments({"--silent",
                                                    "--nak",
                                                    "--bad-checksum",
                                                    "--chunk",
                                                    "3",
                                                    "--pause",
                                                    "15",
                                                    "/tmp/dev",
                                                    "--trailing-byte",
                                                    "--stray",
                                                    "zz",
                                                    "--ack-first",
                                                    "--delay",
                                                    "250",
                                                    "--hang-up",
                                                    "--vanish",
                                                    "--instant",
                                                    "--instant-command",
                                                    "T",
                                                    "--line-speed",
                                                    "38400"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const ProgramOptions& o = *parsed.options;
    EXPECT_EQ(o.link_path, "/tmp/dev");
    const Faults& f = o.faults;
    EXPECT_TRUE(f.silent && f.nak_all && f.corrupt_checksum && f.trailing_byte &&
                f.ack_before_frame && f.hang_up_mid_reply && f.vanish_on_request && f.instant);
    EXPECT_EQ(f.chunk_size, 3);
    EXPECT_EQ(f.chunk_pause_ms, 15);
    EXPECT_EQ(f.stray_prefix, "zz");
    EXPECT_EQ(f.reply_delay_ms, 250);
    EXPECT_EQ(f.instant_command, "T");
    EXPECT_EQ(f.line_speed, 38400);
}

TEST(ProgramArguments, BadArgumentsAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--silent"},
        {"/a", "/b"},
        {"/a", "--bogus"},
        {"/a", "--chunk"},
        {"/a", "--chunk", "0"},
        {"/a", "--chunk", "3x"},
        {"/a", "--delay", "-5"},
        {"/a", "--stray", ""},
        {"/a", "--zone", "97"},
        {"/a", "--zone", "x"},
        {"/a", "--error-for", ""},
    };
    for (const auto& args : cases) {
        const ParsedArguments parsed = parse_arguments(args);
        EXPECT_FALSE(parsed.options) << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(parsed.error.empty());
        EXPECT_FALSE(parsed.help);
    }
    EXPECT_TRUE(parse_arguments({"--help"}).help);
}

TEST(ProgramArguments, DeviceSetUpReachesTheDevice) {
    const ParsedArguments parsed = parse_arguments({"/a",
                                                    "--no-sim",
                                                    "--no-pin",
                                                    "--pin",
                                                    "4321",
                                                    "--signal",
                                                    "7",
                                                    "--echo",
                                                    "--attempts",
                                                    "11",
                                                    "--zone",
                                                    "-08",
                                                    "--gsn-prefix",
                                                    "--quoted-pin-state",
                                                    "--unsolicited",
                                                    "+CREG: 1",
                                                    "--error-for",
                                                    "AT+GSN",
                                                    "--error-line",
                                                    "ERROR"});
    ASSERT_TRUE(parsed.options);
    Device device;
    configure(device, *parsed.options, std::string("K: v\nL: w\r\n"));
    const SimCard& sim = device.modem().sim();
    EXPECT_FALSE(sim.present);
    EXPECT_FALSE(sim.pin_required);
    EXPECT_EQ(sim.pin, "4321");
    EXPECT_EQ(device.modem().signal(), 7);
    EXPECT_EQ(sim.attempts_left, 11);
    EXPECT_TRUE(device.modem().echo());
    const ReplyForms& forms = device.modem().forms();
    EXPECT_EQ(forms.zone, -8);
    EXPECT_TRUE(forms.gsn_prefix && forms.quoted_pin_state);
    EXPECT_EQ(forms.unsolicited, "+CREG: 1");
    EXPECT_EQ(forms.error_for, "AT+GSN");
    EXPECT_EQ(forms.error_line, "ERROR");
    EXPECT_EQ(device.descriptor(), "K: v\r\nL: w\r\n");
}

TEST(ProgramArguments, LineEndsBecomeCrLf) {
    EXPECT_EQ(with_crlf_lines("\na\nb\r\nc"), "\r\na\r\nb\r\nc");
}

} // namespace
} // namespace tessal::devsim
