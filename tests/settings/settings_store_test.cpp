#include "settings/settings_store.h"

#include "settings/settings_location.h"

#include "settings/number_text.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessal::settings {
namespace {

namespace fs = std::filesystem;

using test_support::read_bytes;
using test_support::write_bytes;

class SettingsStoreTest : public test_support::TempDirTest {
  protected:
    SettingsStore store() {
        return SettingsStore(dir, [this](const std::string& text) { reports.push_back(text); });
    }
    fs::path file() const { return dir / "rvt_ini.txt"; }
    // Writes the settings file and loads it into s.
    bool load(const std::string& text) {
        write_bytes(file(), text);
        return store().load_settings(s);
    }
    Settings s;
    std::vector<std::string> reports;
};

std::string operators_section() {
    std::string text = "[PROVAJDER]\r\n";
    for (const std::string i : {"0", "1", "2", "3", "4", "5"}) {
        text += "IME" + i + "=op" + i + "\r\nGPRS" + i + "=gprs" + i + "\r\n";
    }
    return text;
}

const std::string marker = "[kalmo]\r\nNE DIRAJ=REGISTER\r\n";
const std::string port_2_9600 = "[PORT]\r\nBROJ=2\r\nBOUD=9600\r\n";

TEST_F(SettingsStoreTest, LoadsMarkedFileWithoutCashRegisters) {
    EXPECT_TRUE(load(marker + operators_section() + "[PORT]\r\nBROJ=3\r\nBOUD=19200\r\n"));
    EXPECT_EQ(s.port_number, 3);
    EXPECT_EQ(s.speed, 19200);
    EXPECT_EQ(s.operator_names[5], "op5");
    EXPECT_EQ(s.gprs_strings[0], "gprs0");
    EXPECT_EQ(s.operator_names[6], std::nullopt);
    EXPECT_EQ(s.cash_type_count, 0);
    EXPECT_EQ(s.cash_names[50], "");
    EXPECT_TRUE(reports.empty());
}

TEST_F(SettingsStoreTest, MarkerMayHaveBlanksButNotAnotherCase) {
    EXPECT_TRUE(load("[KALMO]\r\nne diraj=  REGISTER  \r\n" + port_2_9600));
    EXPECT_TRUE(load("[kalmo]\r\nNE DIRAJ=\" REGISTER \"\r\n" + port_2_9600));
    s = Settings{};
    EXPECT_FALSE(load("[kalmo]\r\nNE DIRAJ=register\r\n" + operators_section() + port_2_9600));
    EXPECT_EQ(s.operator_names[0], std::nullopt);
    EXPECT_EQ(s.port_number, 1);
    fs::remove(file());
    EXPECT_FALSE(store().load_settings(s));
    EXPECT_TRUE(reports.empty());
}

TEST_F(SettingsStoreTest, CashTypeListSkipsNumbersEmptyOneTwoAndSix) {
    ASSERT_TRUE(
        load(marker + port_2_9600 +
             "[KASA]\r\nNAZIV1=A\r\nBROJ1=1\r\nNAZIV2=B\r\nBROJ2=3\r\nNAZIV3=C\r\nBROJ3=\r\n"
             "NAZIV4=D\r\nBROJ4=7\r\nNAZIV5=E\r\nBROJ5=2\r\nNAZIV6=F\r\nBROJ6=6\r\n"
             "BROJ9=12\r\n"));
    ASSERT_EQ(s.cash_type_count, 3);
    const std::vector<std::pair<Text, Text>> offered = {{"3", "B"}, {"7", "D"}, {"12", ""}};
    for (std::size_t i = 0; i < offered.size(); ++i) {
        EXPECT_EQ(std::make_pair(s.cash_type_numbers[i], s.cash_type_names[i]), offered[i]);
    }
    EXPECT_EQ(s.cash_names[3], "C");
    EXPECT_EQ(s.cash_numbers[1], "1");
}

TEST_F(SettingsStoreTest, LongValuesAreReadAs254Characters) {
    ASSERT_TRUE(
        load(marker + "[PROVAJDER]\r\nIME0=" + std::string(300, 'n') + "\r\n" + port_2_9600));
    EXPECT_EQ(s.operator_names[0], std::string(254, 'n'));
}

TEST(PortNumberConversion, RoundsHalvesToEvenAndRejectsTheRest) {
    EXPECT_EQ(rounded_number("3", 0, 255), 3);
    EXPECT_EQ(rounded_number(" 3 ", 0, 255), 3);
    EXPECT_EQ(rounded_number("3.4", 0, 255), 3);
    EXPECT_EQ(rounded_number("2.5", 0, 255), 2);
    EXPECT_EQ(rounded_number("3.5", 0, 255), 4);
    EXPECT_EQ(rounded_number("255.4", 0, 255), 255);
    EXPECT_EQ(rounded_number("-0.5", 0, 255), 0);
    EXPECT_EQ(rounded_number("-2147483648", INT32_MIN, INT32_MAX), INT32_MIN);
    for (const char* bad :
         {"", " ", "abc", "3a", "256", "255.5", "-1", "1e2", "inf", "nan", "1.2.3", "0x10", "."}) {
        EXPECT_EQ(rounded_number(bad, 0, 255), std::nullopt) << bad;
    }
    EXPECT_EQ(rounded_number("2147483648", INT32_MIN, INT32_MAX), std::nullopt);
}

TEST_F(SettingsStoreTest, ConversionFailureStopsTheLoadWithAMessage) {
    const std::string kasa = "[KASA]\r\nNAZIV1=A\r\nBROJ1=3\r\n";
    EXPECT_FALSE(load(marker + operators_section() + "[PORT]\r\nBROJ=abc\r\nBOUD=9600\r\n" + kasa));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("BROJ"), std::string::npos) << reports[0];
    EXPECT_EQ(s.operator_names[2], "op2");
    EXPECT_EQ(s.port_number, 1);
    EXPECT_EQ(s.cash_type_count, 0);
    EXPECT_EQ(s.cash_names[1], std::nullopt);

    EXPECT_FALSE(load(marker + "[PORT]\r\nBROJ=4\r\nBOUD=2147483648\r\n" + kasa));
    EXPECT_EQ(s.port_number, 4);
    EXPECT_EQ(s.speed, 38400);
    EXPECT_EQ(reports.size(), 2u);
}

TEST_F(SettingsStoreTest, SaveAfterUnmarkedLoadWritesMarkerAndPortOnly) {
    const std::string kasa = "[KASA]\r\nNAZIV1=A\r\nBROJ1=3\r\n";
    ASSERT_FALSE(load("; kept\r\n[kalmo]\r\nNE DIRAJ=register\r\n[PROVAJDER]\r\nIME0=Old\r\n"
                      "other=keep\r\nGPRS0=old\r\n[PORT]\r\nBROJ=5\r\n" +
                      kasa));
    ASSERT_TRUE(store().save_settings(s));
    EXPECT_EQ(read_bytes(file()), "; kept\r\n[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\n"
                                  "other=keep\r\n[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n" +
                                      kasa);
    fs::remove(file());
    ASSERT_TRUE(store().save_settings(Settings{}));
    EXPECT_EQ(read_bytes(file()), marker + "[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n");
    EXPECT_TRUE(reports.empty());
}

TEST_F(SettingsStoreTest, SaveAfterLoadKeepsHandEditedLinesByteForByte) {
    const std::string before = "; Podesavanja\n"
                               "[PORT]\n"
                               "boud = 19200\n"
                               "Broj=3\n"
                               "\n"
                               "[Nepoznato]\n"
                               "x=1\n"
                               "[kasa]\n"
                               "; rucno\n"
                               "naziv1 = Blagajna \"A\"\n"
                               "broj1= 3 \n"
                               "NAZIV2=' spaced '\n"
                               "BROJ2=7\n"
                               "NAZIV3=\n"
                               "BROJ3=9\n"
                               "[kalmo]\n"
                               "NE DIRAJ=REGISTER\n"
                               "[provajder]\n"
                               "ime0=Telenor\n"
                               "GPRS0=\"internet\",\"\",\"\"\n"
                               "IME1=MTS\n"
                               "GPRS1=mts\n"
                               "IME2=Vip\n"
                               "GPRS2=vip\n";
    ASSERT_TRUE(load(before));
    EXPECT_EQ(s.cash_names[1], "Blagajna \"A\"");
    EXPECT_EQ(s.cash_names[2], " spaced ");
    EXPECT_EQ(s.gprs_strings[0], "internet\",\"\",\"");
    EXPECT_EQ(s.operator_names[3], "");

    s.port_number = 4;
    ASSERT_TRUE(store().save_settings(s));
    std::string after = before;
    after.replace(after.find("Broj=3\n"), 7, "Broj=4\r\n");
    after += "IME3=\r\nGPRS3=\r\nIME4=\r\nGPRS4=\r\nIME5=\r\nGPRS5=\r\n";
    EXPECT_EQ(read_bytes(file()), after);
    Settings again;
    ASSERT_TRUE(store().load_settings(again));
    EXPECT_EQ(again.cash_names, s.cash_names);
    EXPECT_EQ(again.cash_numbers, s.cash_numbers);
}

TEST_F(SettingsStoreTest, TypedValuesReadBackExactlyAfterASave) {
    s.operator_names = {"\"internet\",\"\",\"\"", " Telenor ", "'x'", "\t", "", "plain"};
    s.gprs_strings = {"x\"", "", "\"", "'", "a 'b' c", "tail "};
    s.port_number = 7;
    s.speed = 57600;
    ASSERT_TRUE(store().save_settings(s));
    Settings loaded;
    ASSERT_TRUE(store().load_settings(loaded));
    EXPECT_EQ(loaded.operator_names, s.operator_names);
    EXPECT_EQ(loaded.gprs_strings, s.gprs_strings);
    EXPECT_EQ(loaded.port_number, 7);
    EXPECT_EQ(loaded.speed, 57600);
}

TEST_F(SettingsStoreTest, PortMapIsReadWithoutMarkerAndSurvivesSaves) {
    const std::string ports = "[PORT]\nCOM1=/dev/ttyUSB0\ncom8 = /dev/ttyACM1\n";
    EXPECT_FALSE(load(ports));
    EXPECT_EQ(s.com_devices[0], "/dev/ttyUSB0");
    EXPECT_EQ(s.com_devices[7], "/dev/ttyACM1");
    EXPECT_EQ(s.com_devices[1], "");
    ASSERT_TRUE(store().save_settings(s));
    EXPECT_EQ(read_bytes(file()), ports + "BROJ=1\r\nBOUD=38400\r\n" + marker);
    Settings again;
    EXPECT_TRUE(store().load_settings(again));
    EXPECT_EQ(again.com_devices, s.com_devices);
}

// An installed program (its desktop entry where the installation puts it)
// without a settings file beside it keeps its files in the user's folder;
// any other program keeps them beside itself.
TEST_F(SettingsStoreTest, SettingsLiveBesideTheProgramUnlessItIsInstalled) {
    const fs::path marker = "../share/applications/tessal.desktop";
    const fs::path installed = dir / "prefix" / "bin";
    const fs::path build = dir / "build" / "app";
    const fs::path user = dir / "home" / ".config" / "Tessal";
    fs::create_directories(installed);
    fs::create_directories(build);
    fs::create_directories(dir / "prefix" / "share" / "applications");
    write_bytes(dir / "prefix" / "share" / "applications" / "tessal.desktop", "");

    EXPECT_EQ(settings_directory(build, user, marker), build);
    EXPECT_EQ(settings_directory(installed, user, marker), user);
    EXPECT_EQ(settings_directory(installed, user, ""), installed);

    // The user's folder appears with the first save.
    Settings fresh;
    EXPECT_FALSE(SettingsStore(user, {}, true).load_settings(fresh));
    EXPECT_FALSE(fs::exists(user));
    EXPECT_TRUE(SettingsStore(user, {}, true).save_settings(fresh));
    EXPECT_TRUE(fs::exists(user / "rvt_ini.txt"));

    write_bytes(installed / "rvt_ini.txt", "");
    EXPECT_EQ(settings_directory(installed, user, marker), installed);
}

} // namespace
} // namespace tessal::settings
