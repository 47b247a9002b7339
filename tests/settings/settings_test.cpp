// SPDX-License-Identifier: Apache-2.0
// The INI file by the rules of the platform's profile functions, and the
// settings file read into and written from the Settings record.
#include "settings/ini_file.h"
#include "settings/number_text.h"
#include "settings/settings_location.h"
#include "settings/settings_store.h"
#include "settings/text_file.h"
#include "support/files.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#else
#include <windows.h>

#include <chrono>
#include <thread>
#endif

namespace tessal::settings {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::file_text;

// Hand-edited: LF ends, odd case, blanks, quotes, comments, duplicates, a "[" without "]".
const std::string hand_edited =
    "top=before any section\n[ Kasa ]\n  NaZiv1 \t=\t  Blagajna 1  \nnaziv2= \"  two  \" \n"
    "NAZIV3='single'\nnaziv4=\"unmatched'\nnaziv5=v ;not a comment\n  ;naziv6=commented out\n"
    "naziv7\nnaziv1=second of the key\n[Port  \r\nbroj=3\n[kasa]\nnaziv8=second of the section\n";

TEST(Ini, ReadsHandEditedFilesAsTheProfileFunctions) {
    const IniFile ini(hand_edited + "[p]\nlong=" + std::string(300, 'n'));
    std::string values;
    for (const char* key : {"NAZIV1", "NAZIV2", "NAZIV3", "NAZIV4", "NAZIV5", "NAZIV6", "NAZIV7",
                            "NAZIV8", "top", "broj"}) {
        values += ini.read("KASA", key) + "|";
    }
    EXPECT_EQ(values, "Blagajna 1|  two  |single|\"unmatched'|v ;not a comment||||||");
    EXPECT_EQ(ini.read("PORT", "BROJ"), "3");
    EXPECT_EQ(ini.read("P", "LONG"), std::string(254, 'n'));
    EXPECT_EQ(IniFile("[a]\r\nk=\"\r\nq=''\r\n").read("a", "k"), "\"");
}

TEST(Ini, WritesOnlyTheLinesItChanges) {
    IniFile ini(hand_edited);
    ini.write("KASA", "naziv1", "new");                     // replaced, file's spelling kept
    ini.write("kasa", "NAZIV2", "  two  ");                 // already holds it: bytes kept
    ini.write("KASA", "NAZIV3", std::nullopt);              // removed
    ini.write("KASA", "NEW", "added");                      // after the last key line
    ini.write("kasa", "naziv8", "first section");           // the first section gets it
    ini.write("PORT", "GONE", std::nullopt);                // nothing to remove
    ini.write("PORT", "BOUD", "19200");                     // into the section without "]"
    ini.write("kalmo", "NE DIRAJ", "REGISTER");             // new section at the end
    ini.write("s", "k", "a\r\n[kalmo]\nNE DIRAJ=x\0tail"s); // cannot add lines
    EXPECT_EQ(ini.text(), "top=before any section\n[ Kasa ]\nNaZiv1=new\r\nnaziv2= \"  two  \" \n"
                          "naziv4=\"unmatched'\nnaziv5=v ;not a comment\n  ;naziv6=commented out\n"
                          "naziv7\nnaziv1=second of the key\nNEW=added\r\nnaziv8=first section\r\n"
                          "[Port  \r\nbroj=3\nBOUD=19200\r\n[kasa]\nnaziv8=second of the section\n"
                          "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[s]\r\nk=a  [kalmo] NE DIRAJ=x\r\n");
    for (const std::string value :
         {"\"internet\",\"\",\"\"", " x", "x ", "\tx", "'x'", "\"", "'", "x\"", "a \"b\" c", ""}) {
        IniFile quoted;
        quoted.write("s", "k", value);
        EXPECT_EQ(IniFile(quoted.text()).read("s", "k"), value) << quoted.text();
    }
}

TEST(Ini, NumbersRoundHalvesToEvenAndRejectTheRest) {
    std::string read;
    for (const char* text :
         {"3",  " 3 ", "3.4",   "2.5", "3.5", "255.4", "-0.5", "+7",    "",     " ", "abc",
          "3a", "256", "255.5", "-1",  "1e2", "inf",   "nan",  "1.2.3", "0x10", "."}) {
        read += std::to_string(rounded_number(text, 0, 255).value_or(-1)) + " ";
    }
    EXPECT_EQ(read, "3 3 3 2 4 255 0 7 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 ");
}

class Store : public ::testing::Test {
  protected:
    SettingsStore store(const fs::path& where) {
        return SettingsStore(where, [this](const std::string& text) { reports.push_back(text); });
    }
    bool load(const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
        s = Settings{};
        return store(dir).load_settings(s);
    }
    QTemporaryDir temp;
    fs::path dir = temp.path().toStdString();
    fs::path file = dir / "rvt_ini.txt";
    Settings s;
    std::vector<std::string> reports;
};

// Port, speed, operators 0 to 5 and the CashTypeList, "-" for an unset text.
std::string summary(const Settings& s) {
    std::string out = std::to_string(s.port_number) + " " + std::to_string(s.speed) + " |";
    for (int i = 0; i < 6; ++i) {
        out += " " + s.operator_names[i].value_or("-") + "/" + s.gprs_strings[i].value_or("-");
    }
    out += " |";
    for (int i = 0; i < s.cash_type_count; ++i) {
        out +=
            " " + s.cash_type_numbers[i].value_or("-") + ":" + s.cash_type_names[i].value_or("-");
    }
    return out;
}

TEST_F(Store, LoadsTheMarkedFile) {
    const std::string marker = "[kalmo]\r\nNE DIRAJ=REGISTER\r\n", port = "[PORT]\r\nBROJ=3\r\n";
    const std::string ops = "[PROVAJDER]\r\nIME0=Telenor\r\nGPRS0=\"internet\"\r\nIME5=Vip\r\n";
    const std::string kasa = "[KASA]\r\nNAZIV1=A\r\nBROJ1=1\r\nNAZIV2=B\r\nBROJ2=3\r\nNAZIV3=C\r\n"
                             "BROJ3=\r\nNAZIV4=D\r\nBROJ4=7\r\nBROJ5=2\r\nBROJ6=6\r\nBROJ9=12\r\n"
                             "NAZIV50=E\r\nBROJ50=50\r\nNAZIV51=F\r\nBROJ51=51\r\n";
    const struct {
        std::string text;
        bool loaded;
        std::string summary;
        std::size_t reports;
    } rows[] = {
        {marker + ops + port + "BOUD=19200\r\n", true, "3 19200 | Telenor/internet / / / / Vip/ |",
         0},
        {"[KALMO]\r\nne diraj=  REGISTER  \r\n" + port + "boud=9600", true,
         "3 9600 | / / / / / / |", 0},
        {"[kalmo]\r\nNE DIRAJ=register\r\n" + ops + port + "BOUD=9600", false,
         "1 38400 | -/- -/- -/- -/- -/- -/- |", 0},
        {marker + port + "BOUD=9600\r\n" + kasa, true, "3 9600 | / / / / / / | 3:B 7:D 12: 50:E",
         0},
        // A value that does not convert stops the load where it is.
        {marker + ops + "[PORT]\r\nBROJ=abc\r\nBOUD=9600\r\n" + kasa, false,
         "1 38400 | Telenor/internet / / / / Vip/ |", 1},
        {marker + port + "BOUD=2147483648\r\n" + kasa, false, "3 38400 | / / / / / / |", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        reports.clear();
        EXPECT_EQ(load(row.text), row.loaded);
        EXPECT_EQ(summary(s), row.summary);
        EXPECT_EQ(reports.size(), row.reports);
    }
    EXPECT_NE(reports[0].find("\"BOUD\""), std::string::npos) << reports[0];
    // The port map is read whatever the marker says.
    EXPECT_FALSE(load("[PORT]\nCOM1=/dev/ttyUSB0\ncom8 = /dev/ttyACM1\n"));
    EXPECT_EQ(s.com_devices,
              (std::array<std::string, 8>{"/dev/ttyUSB0", "", "", "", "", "", "", "/dev/ttyACM1"}));
}

TEST_F(Store, SaveWritesItsKeysAndLeavesTheRestAsItWas) {
    const std::string cash =
        "[kasa]\n; rucno\nnaziv1 = Blagajna \"A\"\nbroj1= 3 \nNAZIV3=\nBROJ3=9\n";
    const struct {
        std::string before, after;
    } rows[] = {
        // Not loaded: the marker and the port, no operators.
        {"; kept\r\n[kalmo]\r\nNE DIRAJ=register\r\n[PROVAJDER]\r\nIME0=Old\r\nother=keep\r\n"
         "GPRS0=old\r\n[PORT]\r\nBROJ=5\r\n" +
             cash,
         "; kept\r\n[kalmo]\r\nNE "
         "DIRAJ=REGISTER\r\n[PROVAJDER]\r\nother=keep\r\n[PORT]\r\nBROJ=4\r\n"
         "BOUD=38400\r\n" +
             cash},
        // Loaded: empty operators are written empty, the rest keeps its bytes;
        // a network code is written only when there is one.
        {"[PORT]\nboud = 19200\nBroj=3\n\n[X]\nx=1\n" + cash +
             "[kalmo]\nNE DIRAJ=REGISTER\n[provajder]\nime0=Telenor\nGPRS0=\"internet\",\"\",\"\"\n"
             "MREZA0=22001\nIME1=MTS\nMREZA1=\n",
         "[PORT]\nboud = 19200\nBroj=4\r\n\n[X]\nx=1\n" + cash +
             "[kalmo]\nNE DIRAJ=REGISTER\n[provajder]\nime0=Telenor\nGPRS0=\"internet\",\"\",\"\"\n"
             "MREZA0=22001\nIME1=MTS\nMREZA1=\nGPRS1=\r\nIME2=\r\nGPRS2=\r\nMREZA2=22003\r\n"
             "IME3=\r\nGPRS3=\r\nIME4=\r\nGPRS4=\r\nIME5=\r\nGPRS5=\r\n"},
    };
    for (const auto& row : rows) {
        s.network_codes[2] = load(row.before) ? Text("22003") : std::nullopt; // a new one
        s.port_number = 4;
        ASSERT_TRUE(store(dir).save_settings(s));
        EXPECT_EQ(file_text(file), row.after);
    }
    EXPECT_EQ(s.gprs_strings[0], "internet\",\"\",\"");
    EXPECT_EQ(s.network_codes[0], "22001");
    EXPECT_EQ(s.network_codes[1], std::nullopt); // given empty
}

// An installed program (its desktop entry where the installation puts it)
// without a settings file beside it keeps its files in the user's folder,
// made with the first save; any other program keeps them beside itself.
TEST_F(Store, SettingsLiveBesideTheProgramUnlessItIsInstalled) {
    const fs::path marker = "../share/applications/tessal.desktop";
    const fs::path installed = dir / "prefix" / "bin", build = dir / "build" / "app";
    const fs::path user = dir / "home" / ".config" / "Tessal";
    fs::create_directories(build);
    fs::create_directories(installed / marker.parent_path());
    std::ofstream(installed / marker);
    EXPECT_EQ(settings_directory(build, user, marker), build);
    EXPECT_EQ(settings_directory(installed, user, marker), user);
    EXPECT_EQ(settings_directory(installed, user, ""), installed);
    EXPECT_TRUE(SettingsStore(user, {}, true).save_settings(Settings{}));
    EXPECT_EQ(file_text(user / "rvt_ini.txt"),
              "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n");
    std::ofstream(installed / "rvt_ini.txt");
    EXPECT_EQ(settings_directory(installed, user, marker), installed);
}

TEST_F(Store, SaveFailuresAreReportedAndLeaveTheOldFile) {
    const auto refused = [&](const fs::path& where, const std::string& what) {
        reports.clear();
        EXPECT_FALSE(store(where).save_settings(s));
        return reports.size() == 1 && reports[0].starts_with("Podesavanja nisu sacuvana. ") &&
               reports[0].find(where.string()) != std::string::npos &&
               reports[0].find(what) != std::string::npos;
    };
    EXPECT_TRUE(refused(dir / "missing", " ne moze da se napravi: "));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    fs::create_directory(file);
    EXPECT_TRUE(refused(dir, " je direktorijum, a ne datoteka."));
    EXPECT_FALSE(load("")); // the load reports it too
    EXPECT_EQ(reports.size(), 2U);
    fs::remove(file);
#ifndef _WIN32
    // A file size limit stops the write part way, as a full disk does.
    const std::string old = "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PORT]\r\nBROJ=2\r\nBOUD=9600\r\n";
    std::ofstream(file, std::ios::binary) << old;
    s.operator_names[0] = std::string(500, 'x');
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_TRUE(refused(dir, "Upis u "));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(file_text(file), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
#endif
}

#ifdef _WIN32
// Windows: a program under the system's program folders, or in a folder it
// may not write, keeps its files in the user's folder even with a settings
// file beside it; a writable copied folder keeps them beside itself.
TEST_F(Store, WindowsInstalledProgramsKeepTheirFilesInTheUsersFolder) {
    const fs::path programs = dir / "Program Files", x86 = dir / "Program Files (x86)";
    const fs::path installed = programs / "Tessal", copied = dir / "Program Files copy" / "Tessal";
    const fs::path user = dir / "AppData" / "Local" / "Tessal";
    for (const fs::path& folder : {installed, copied, x86 / "Tessal"}) {
        fs::create_directories(folder);
        std::ofstream(folder / "rvt_ini.txt");
    }
    EXPECT_TRUE(installed_folder(dir / "PROGRAM FILES" / "tessal", {x86, programs}));
    EXPECT_FALSE(installed_folder(copied, {x86, programs}));
    // Under Wine Z:\proc is Linux's /proc, where nobody may make a file.
    EXPECT_TRUE(installed_folder(L"Z:\\proc", {}));

    std::vector<std::pair<const wchar_t*, std::wstring>> saved;
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        wchar_t value[MAX_PATH] = {};
        GetEnvironmentVariableW(name, value, MAX_PATH);
        saved.emplace_back(name, value);
    }
    SetEnvironmentVariableW(L"ProgramFiles", programs.c_str());
    SetEnvironmentVariableW(L"ProgramFiles(x86)", x86.c_str());
    SetEnvironmentVariableW(L"ProgramW6432", nullptr);
    EXPECT_EQ(system_program_folders(), (std::vector<fs::path>{programs, x86}));
    EXPECT_EQ(settings_directory(installed, user, ""), user);
    EXPECT_EQ(settings_directory(x86 / "Tessal", user, ""), user);
    EXPECT_EQ(settings_directory(copied, user, ""), copied);
    EXPECT_EQ(settings_directory(installed, "", ""), installed); // no user folder known
    for (const auto& [name, value] : saved) {
        SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
    }
}

// Windows: a settings file that another program holds open is replaced once
// it lets go; one held for good is reported after about two seconds, with
// the system's text as UTF-8, and stays as it was.
TEST_F(Store, WindowsReplacesAHeldFileOnceItIsLetGo) {
    using std::chrono::steady_clock;
    std::ofstream(file, std::ios::binary) << "old";
    const auto hold = [this] {
        return CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    };
    HANDLE holder = hold();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::thread viewer([holder] {
        Sleep(500);
        CloseHandle(holder);
    });
    std::string error;
    auto start = steady_clock::now();
    EXPECT_TRUE(replace_file(file, "new", error)) << error;
    EXPECT_GE(steady_clock::now() - start, std::chrono::milliseconds(450));
    viewer.join();
    EXPECT_EQ(file_text(file), "new");

    holder = hold();
    start = steady_clock::now();
    EXPECT_FALSE(replace_file(file, "newer", error));
    EXPECT_GE(steady_clock::now() - start, std::chrono::milliseconds(1950));
    CloseHandle(holder);
    EXPECT_EQ(file_text(file), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    const std::string tail = " ne moze da zameni " + display_path(file) + ": ";
    ASSERT_NE(error.find(tail), std::string::npos) << error;
    // Wine's text and Windows' own.
    EXPECT_TRUE(error.ends_with(tail + "Access denied.") ||
                error.ends_with(tail + "Access is denied."))
        << error;
}

// Windows' error texts are read as UTF-16 and given as UTF-8.
TEST(TextFile, WindowsErrorTextsAreUtf8) {
    EXPECT_EQ(utf8_from_wide(L"\u0161\u0111\u010d\u0107\u017e \u0414\u0430 \U0001F50C \xD800."),
              "\xC5\xA1\xC4\x91\xC4\x8D\xC4\x87\xC5\xBE \xD0\x94\xD0\xB0 \xF0\x9F\x94\x8C "
              "\xEF\xBF\xBD.");
    // Russian system texts: Wine's and Windows' own, both in Cyrillic.
    const std::string russian = windows_error_text(ERROR_ACCESS_DENIED, 0x0419);
    EXPECT_TRUE(russian == "\xD0\x94\xD0\xBE\xD1\x81\xD1\x82\xD1\x83\xD0\xBF "
                           "\xD0\xB7\xD0\xB0\xD0\xBF\xD1\x80\xD0\xB5\xD1\x89\xD1\x91\xD0\xBD." ||
                russian == "\xD0\x9E\xD1\x82\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xB0\xD0\xBD\xD0\xBE "
                           "\xD0\xB2 \xD0\xB4\xD0\xBE\xD1\x81\xD1\x82\xD1\x83\xD0\xBF\xD0\xB5.")
        << russian;
    EXPECT_EQ(windows_error_text(0x2000FFFF), "greska 536936447");
    EXPECT_EQ(error_text(std::error_code(ERROR_SHARING_VIOLATION, std::system_category())),
              windows_error_text(ERROR_SHARING_VIOLATION));
}
#endif

} // namespace
} // namespace tessal::settings
