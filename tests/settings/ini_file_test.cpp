#include "settings/ini_file.h"

#include <gtest/gtest.h>

namespace tessal::settings {
namespace {

namespace fs = std::filesystem;

using namespace std::string_literals;

// A file as a technician leaves it: LF line ends, odd letter case, blanks and
// tabs, quotes, comments, duplicates, a section line without its "]".
const std::string hand_edited = "top=before any section\n"
                                "[ Kasa ]\n"
                                "  NaZiv1 \t=\t  Blagajna 1  \n"
                                "naziv2= \"  two  \" \n"
                                "NAZIV3='single'\n"
                                "naziv4=\"unmatched'\n"
                                "naziv5=v ;not a comment\n"
                                "  ;naziv6=commented out\n"
                                "naziv7\n"
                                "naziv1=second of the key\n"
                                "[Port  \r\n"
                                "broj=3\n"
                                "[kasa]\n"
                                "naziv8=second of the section\n";

TEST(IniRead, FollowsTheProfileRulesOnHandEditedFiles) {
    const IniFile ini(hand_edited);
    EXPECT_EQ(ini.read("KASA", "NAZIV1"), "Blagajna 1");
    EXPECT_EQ(ini.read("KASA", "NAZIV2"), "  two  ");
    EXPECT_EQ(ini.read("KASA", "NAZIV3"), "single");
    EXPECT_EQ(ini.read("KASA", "NAZIV4"), "\"unmatched'");
    EXPECT_EQ(ini.read("KASA", "NAZIV5"), "v ;not a comment");
    EXPECT_EQ(ini.read("KASA", "NAZIV6"), "");
    EXPECT_EQ(ini.read("KASA", "NAZIV7"), "");
    EXPECT_EQ(ini.read("KASA", "NAZIV8"), "");
    EXPECT_EQ(ini.read("KASA", "top"), "");
    EXPECT_EQ(ini.read("KASA", "broj"), "");
    EXPECT_EQ(ini.read("PORT", "BROJ"), "3");
    EXPECT_EQ(IniFile("[a]\r\nk=\"\r\nq=''\r\n").read("a", "k"), "\"");
    EXPECT_EQ(IniFile("[a]\r\nk=\"\r\nq=''\r\n").read("a", "q"), "");
}

TEST(IniWrite, ChangesOnlyTheLinesItWrites) {
    IniFile ini(hand_edited);
    ini.write("KASA", "naziv1", "new");           // replaced, file's spelling kept
    ini.write("kasa", "NAZIV2", "  two  ");       // already holds it: bytes kept
    ini.write("KASA", "NAZIV3", std::nullopt);    // removed
    ini.write("KASA", "NEW", "added");            // after the last key line
    ini.write("kasa", "naziv8", "first section"); // the first section gets it
    ini.write("PORT", "GONE", std::nullopt);      // nothing to remove
    ini.write("PORT", "BOUD", "19200");           // into the section without "]"
    ini.write("kalmo", "NE DIRAJ", "REGISTER");   // new section at the end
    EXPECT_EQ(ini.text(), "top=before any section\n"
                          "[ Kasa ]\n"
                          "NaZiv1=new\r\n"
                          "naziv2= \"  two  \" \n"
                          "naziv4=\"unmatched'\n"
                          "naziv5=v ;not a comment\n"
                          "  ;naziv6=commented out\n"
                          "naziv7\n"
                          "naziv1=second of the key\n"
                          "NEW=added\r\n"
                          "naziv8=first section\r\n"
                          "[Port  \r\n"
                          "broj=3\n"
                          "BOUD=19200\r\n"
                          "[kasa]\n"
                          "naziv8=second of the section\n"
                          "[kalmo]\r\n"
                          "NE DIRAJ=REGISTER\r\n");
}

TEST(IniWrite, EndsAnUnfinishedLastLineBeforeAddingToIt) {
    IniFile section_last("; settings\r\n[a]");
    section_last.write("a", "k", "v");
    EXPECT_EQ(section_last.text(), "; settings\r\n[a]\r\nk=v\r\n");

    IniFile key_last("[a]\r\nk=v\r\n\r\n;end");
    key_last.write("b", "k", "");
    key_last.write("a", "x", "y");
    EXPECT_EQ(key_last.text(), "[a]\r\nk=v\r\nx=y\r\n\r\n;end\r\n[b]\r\nk=\r\n");
}

TEST(IniWrite, ValuesWithOuterBlanksOrQuotesReadBackExactly) {
    for (const std::string value :
         {"\"internet\",\"\",\"\"", " x", "x ", "\tx", "'x'", "\"", "'", "x\"", "a \"b\" c", ""}) {
        IniFile ini;
        ini.write("s", "k", value);
        EXPECT_EQ(IniFile(ini.text()).read("s", "k"), value) << ini.text();
    }
    IniFile plain;
    plain.write("s", "k", "a \"b\" c");
    EXPECT_EQ(plain.text(), "[s]\r\nk=a \"b\" c\r\n");
}

TEST(IniWrite, LineBreaksInAValueCannotAddLines) {
    IniFile ini("[kalmo]\r\nNE DIRAJ=x\r\n");
    ini.write("s", "k", "a\r\n[kalmo]\nNE DIRAJ=REGISTER\0tail"s);
    EXPECT_EQ(ini.text(), "[kalmo]\r\nNE DIRAJ=x\r\n[s]\r\nk=a  [kalmo] NE DIRAJ=REGISTER\r\n");
}

} // namespace
} // namespace tessal::settings
