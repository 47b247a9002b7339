#include "devsim/modem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace tessal::devsim {
namespace {

using namespace std::chrono_literals;

// A modem whose monotonic clock the test moves.
struct ModemTest : ::testing::Test {
    std::chrono::steady_clock::time_point now{};
    Modem modem{[this] { return now; }};
};

bool all_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char ch) {
        return std::isdigit(static_cast<unsigned char>(ch)) != 0;
    });
}

TEST_F(ModemTest, IdentityAndSignalReplies) {
    modem.set_imei("490154203237518");
    EXPECT_EQ(modem.answer("AT+GSN"), "\r\n490154203237518\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CSQ"), "\r\n+CSQ: 21,99\r\n\r\nOK\r\n");
    modem.set_signal(5);
    EXPECT_EQ(modem.answer("AT+CSQ"), "\r\n+CSQ: 5,99\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT"), "\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+XYZ"), "\r\nERROR\r\n");
    EXPECT_EQ(modem.answer("hello"), "\r\nERROR\r\n");
}

TEST_F(ModemTest, ReplyFormsOfRealModems) {
    modem.set_imei("490154203237518");
    modem.set_clock("06/12/31,23:30:00");
    modem.set_echo(true);
    EXPECT_EQ(modem.answer("AT+GSN"), "AT+GSN\r\r\n490154203237518\r\n\r\nOK\r\n");
    modem.set_echo(false);
    ReplyForms& forms = modem.forms();
    forms.zone = 4;
    EXPECT_EQ(modem.answer("AT+CCLK?"), "\r\n+CCLK: \"07/01/01,00:30:00+04\"\r\n\r\nOK\r\n");
    forms.zone = -10;
    EXPECT_EQ(modem.answer("AT+CCLK?"), "\r\n+CCLK: \"06/12/31,21:00:00-10\"\r\n\r\nOK\r\n");
    forms.gsn_prefix = true;
    forms.quoted_pin_state = true;
    forms.unsolicited = "+CREG: 1";
    EXPECT_EQ(modem.answer("AT+GSN"),
              "\r\n+CREG: 1\r\n\r\n+GSN: \"490154203237518\"\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CPIN?"), "\r\n+CREG: 1\r\n\r\n+CPIN: \"SIM PIN\"\r\n\r\nOK\r\n");
    forms.unsolicited.clear();
    forms.error_for = "AT^SCID";
    EXPECT_EQ(modem.answer("at^scid"), "\r\n+CME ERROR: 10\r\n");
    EXPECT_EQ(modem.answer("AT+CSQ"), "\r\n+CSQ: 21,99\r\n\r\nOK\r\n");
}

TEST_F(ModemTest, DefaultIdentityNumbersHaveTheirLengths) {
    EXPECT_EQ(modem.imei().size(), 15U);
    EXPECT_TRUE(all_digits(modem.imei()));
    const std::string scid = modem.answer("AT^SCID");
    const std::string head = "\r\n^SCID: ";
    const std::string tail = "\r\n\r\nOK\r\n";
    ASSERT_TRUE(scid.starts_with(head) && scid.ends_with(tail)) << scid;
    const std::string number = scid.substr(head.size(), scid.size() - head.size() - tail.size());
    EXPECT_TRUE(all_digits(number) && number.size() >= 19 && number.size() <= 20) << number;
}

TEST_F(ModemTest, ClockIsSetAndRead) {
    EXPECT_EQ(modem.answer("AT+CCLK=\"06/03/15,11:45:07\""), "\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CCLK?"), "\r\n+CCLK: \"06/03/15,11:45:07\"\r\n\r\nOK\r\n");
    // A time-zone field is accepted and dropped.
    EXPECT_EQ(modem.answer("at+cclk = \"10/01/02,03:04:05+04\""), "\r\nOK\r\n");
    EXPECT_EQ(modem.clock_text(), "10/01/02,03:04:05");
}

TEST_F(ModemTest, ClockRunsFromTheLastSetting) {
    modem.answer("AT+CCLK=\"06/12/31,23:59:58\"");
    now += 1500ms;
    EXPECT_EQ(modem.clock_text(), "06/12/31,23:59:59");
    now += 600ms;
    EXPECT_EQ(modem.clock_text(), "07/01/01,00:00:00");

    modem.answer("AT+CCLK=\"08/02/28,23:00:00\"");
    now += 1h;
    EXPECT_EQ(modem.clock_text(), "08/02/29,00:00:00");
    now += 24h + 61s;
    EXPECT_EQ(modem.clock_text(), "08/03/01,00:01:01");
}

TEST_F(ModemTest, ImpossibleClockSettingsAreRefusedAndChangeNothing) {
    modem.set_clock("06/03/15,11:45:00");
    for (const char* bad : {"\"06/13/15,11:45:00\"", "\"07/02/29,11:45:00\"",
                            "\"06/03/15,24:00:00\"", "\"06/03/15,11:60:00\"", "\"6/3/15,11:45:00\"",
                            "\"06-03-15,11:45:00\"", "\"06/03/15,11:45:00x\"", ""}) {
        EXPECT_EQ(modem.answer(std::string("AT+CCLK=") + bad), "\r\nERROR\r\n") << bad;
    }
    EXPECT_EQ(modem.clock_text(), "06/03/15,11:45:00");
}

TEST_F(ModemTest, PinIsAskedUntilTheRightOneIsEntered) {
    EXPECT_EQ(modem.answer("AT+CPIN?"), "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CPIN =1111"), "\r\n+CME ERROR: incorrect password\r\n");
    EXPECT_EQ(modem.answer("AT^SPIC1111"), "\r\n^SPIC: 2\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CPIN =1234"), "\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.sim().attempts_left, 3);
    // Entering it again is not allowed once the card is ready.
    EXPECT_NE(modem.answer("AT+CPIN =1234").find("ERROR"), std::string::npos);
}

TEST_F(ModemTest, ThreeWrongPinsBlockTheCard) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(modem.answer("AT+CPIN =0000").find("incorrect password"), std::string::npos);
    }
    EXPECT_EQ(modem.answer("AT^SPIC"), "\r\n^SPIC: 0\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CPIN?"), "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n");
    EXPECT_NE(modem.answer("AT+CPIN =1234").find("ERROR"), std::string::npos);
    EXPECT_FALSE(modem.sim().ready());
}

TEST_F(ModemTest, PinRequestSwitchedOffStaysOffAfterPowerUp) {
    modem.answer("AT+CPIN =1234");
    EXPECT_EQ(modem.answer("AT+CLCK = \"SC\",0,1234"), "\r\nOK\r\n");
    EXPECT_FALSE(modem.sim().pin_required);
    modem.sim().pin_entered = false; // power cycle
    EXPECT_EQ(modem.answer("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CLCK=\"SC\",2"), "\r\n+CLCK: 0\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.answer("AT+CPIN =1234"), "\r\n+CME ERROR: operation not allowed\r\n");
}

TEST_F(ModemTest, PinRequestNeedsTheRightPinAndAReadyCard) {
    EXPECT_EQ(modem.answer("AT+CLCK = \"SC\",0,1234"), "\r\n+CME ERROR: SIM PIN required\r\n");
    modem.answer("AT+CPIN =1234");
    EXPECT_EQ(modem.answer("AT+CLCK = \"SC\",0,9999"), "\r\n+CME ERROR: incorrect password\r\n");
    EXPECT_EQ(modem.sim().attempts_left, 2);
    EXPECT_TRUE(modem.sim().pin_required);
    EXPECT_NE(modem.answer("AT+CLCK = \"SC\",0").find("ERROR"), std::string::npos);
}

TEST_F(ModemTest, MissingCardAnswersError) {
    modem.sim().present = false;
    for (const char* command :
         {"AT+CPIN?", "AT+CPIN =1234", "AT^SPIC", "AT^SCID", "AT+CLCK = \"SC\",0,1234"}) {
        EXPECT_EQ(modem.answer(command), "\r\nERROR\r\n") << command;
    }
    EXPECT_EQ(modem.answer("AT+GSN"), "\r\n" + modem.imei() + "\r\n\r\nOK\r\n");
}

} // namespace
} // namespace tessal::devsim
