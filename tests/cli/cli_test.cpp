// SPDX-License-Identifier: Apache-2.0
// tessal-cli run as a process against the simulated device on a pseudo-terminal:
// exit status, standard output and standard error of each command and outcome.
// With TESSAL_WINE_CLI naming tessal-cli.exe, the same runs go to the Windows
// program under Wine (WINEPREFIX, WINEPATH as for wine-run.sh), through
// Windows' own serial code: the device is COM5, a link in the Wine prefix's
// dosdevices folder to the simulator's pseudo-terminal.
#include "devsim/pty_simulator.h"
#include "support/simulated_device.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <tuple>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#ifdef TESSAL_WITH_REGISTER
#include "support/book_entries.h"
#endif

namespace tessal::cli {
namespace {

using namespace std::chrono_literals;
using devsim::Faults;
using testing::with;

struct Outcome {
    int exit;
    const char* out; // standard output without its line end; @DIR@ is the test's folder
    // A write went out: the object tells that it was recorded, with no
    // technician named, in an entry of its own of a device not identified.
    bool recorded = false;
};

// The object of such a write: its record beside its other members.
std::string recorded(std::string json) {
    return json.insert(json.find(R"("schema":1)"),
                       R"("record":{"entry":null,"kept":"recorded","technician":null,)"
                       R"("waiting":0,"why":null},)");
}

// The object of a value refused before anything is sent.
std::string bad_value(const QString& detail, const QString& message = "") {
    return QString(R"({"error":{"code":"bad_value","detail":"%1","message":"%2"},"ok":false,)"
                   R"("schema":1})")
        .arg(detail, message)
        .toStdString();
}

struct Row {
    QString args; // @PIN@ is a file holding the PIN 1234
    Outcome expected;
    const char* sent = nullptr; // the requests, "|" between them; nullptr: not checked
    const char* err = "";       // standard error
    bool json = true;
    bool Faults::*fault = nullptr;
    const char* only_for = "";      // the fault hits only the commands starting with this
    const char* modem_refuses = ""; // AT commands the modem answers "+CME ERROR: 10"
};

// The Windows program under Wine, when one is named.
const QString kWineCli = qEnvironmentVariable("TESSAL_WINE_CLI");
const bool kWine = !kWineCli.isEmpty();
// Where Windows reaches the simulated device, and a port that is not there.
const char kWineCom[] = "COM5";
const char kWineMissing[] = "COM9";

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.start()) << sim_.error();
        write("rvt_ini.txt", "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\nIME0=Mts\r\nGPRS0="
                             "gprs.mts\r\nIME1=Telenor\r\nGPRS1=internet,telenor,gprs\r\n[PORT]\r\n"
                             "BROJ=1\r\nBOUD=38400\r\nCOM1=" +
                                 (kWine ? QString(kWineCom) : dir_.filePath("ttySIM")) + "\r\n");
        write("pin.txt", "1234\n");
        if (kWine) {
            const QString devices = qEnvironmentVariable("WINEPREFIX") + "/dosdevices/";
            com_link_ = devices + QString(kWineCom).toLower();
            QFile::remove(com_link_);
            ASSERT_TRUE(QFile::link(dir_.filePath("ttySIM"), com_link_)) << com_link_.toStdString();
            QFile::remove(devices + QString(kWineMissing).toLower());
            // No technician kept in the prefix's user folders: a write names
            // none unless the command line does.
            const QDir users(qEnvironmentVariable("WINEPREFIX") + "/drive_c/users");
            for (const QString& user : users.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QFile::remove(users.filePath(user + "/AppData/Roaming/Tessal/technician.ini"));
            }
        }
    }
    void TearDown() override {
        if (!com_link_.isEmpty()) {
            QFile::remove(com_link_);
        }
    }
    // Under Wine the ports are Windows' names: the device's path is COM5, the
    // missing device COM9.
    static QString windows(QString text) {
        return text.replace("@DIR@/ttySIM", kWineCom).replace("/dev/ttyNOPE", kWineMissing);
    }

    void write(const QString& name, const QString& content) {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.toUtf8());
    }
    QByteArray read(const QString& name) const {
        QFile file(dir_.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return file.readAll();
    }

    void start(QProcess& process, const QString& args, bool json = true) {
        start(process, (kWine ? windows(args) : args).split(' ', Qt::SkipEmptyParts), json);
    }
    // The arguments as a list: @PIN@ and @DIR@ in each replaced.  The user's
    // folders are in the test's own: its register and service book.
    void start(QProcess& process, QStringList args, bool json = true) {
        for (QString& arg : args) {
            arg.replace("@PIN@", dir_.filePath("pin.txt")).replace("@DIR@", dir_.path());
        }
        const QStringList all = QStringList{"--settings", dir_.filePath("rvt_ini.txt")} +
                                (json ? QStringList{"--json"} : QStringList{}) + args;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
        env.insert("XDG_DATA_HOME", dir_.filePath("data"));
        process.setProcessEnvironment(env);
        if (kWine) {
            process.start("wine", QStringList{kWineCli} + all);
        } else {
            process.start(TESSAL_CLI, all);
        }
        ASSERT_TRUE(process.waitForStarted(20000));
    }
    // Exit status, standard output and standard error.  Standard output
    // `as_it_came` is the device's bytes, the same on every platform;
    // Windows ends the other lines with CR LF.
    std::tuple<int, std::string, std::string> finish(QProcess& process, bool as_it_came = false) {
        EXPECT_TRUE(process.waitForFinished(20000));
        QByteArray out = process.readAllStandardOutput();
        QByteArray err = process.readAllStandardError();
        if (kWine) {
            if (!as_it_came) {
                out.replace("\r\n", "\n");
            }
            err.replace("\r\n", "\n");
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                out.toStdString(), err.toStdString()};
    }

    // Runs a row on a fresh device whose clock stands at 31.12.2026 23:30:00.
    void check(const Row& row) {
        SCOPED_TRACE(row.args.toStdString());
        sim_.with_device([&row](devsim::Device& d) {
            d = devsim::Device([] { return std::chrono::steady_clock::time_point{}; });
            d.modem().set_clock("26/12/31,23:30:00");
            d.modem().forms().error_for = row.modem_refuses;
        });
        sim_.set_command_faults({{row.only_for, row.fault ? with(row.fault) : Faults{}}});
        const auto [exit, out, err] =
            run((kWine ? windows(row.args) : row.args).split(' ', Qt::SkipEmptyParts), row.json);
        EXPECT_EQ(exit, row.expected.exit);
        QString wanted = QString::fromStdString(row.expected.recorded ? recorded(row.expected.out)
                                                                      : row.expected.out);
        QString wanted_err = QString::fromUtf8(row.err);
        if (kWine) {
            wanted = windows(wanted);
            wanted_err = windows(wanted_err);
        }
        EXPECT_EQ(out, wanted.toStdString());
        EXPECT_EQ(err, wanted_err.toStdString());
        EXPECT_TRUE(row.sent == nullptr || sent() == row.sent) << sent();
    }
    // Arguments as a list (an empty one, blanks), with --json:
    // exit status, standard output without its line end, standard error;
    // the test's folder in them as @DIR@.
    using Run = std::tuple<int, std::string, std::string>;
    Run run(const QStringList& args, bool json = true) {
        sim_.clear_log();
        QProcess process;
        start(process, args, json);
        const auto [exit, out, err] = finish(process);
        const auto shown = [this](const std::string& text) {
            return QByteArray::fromStdString(text)
                .replace(dir_.path().toUtf8(), "@DIR@")
                .toStdString();
        };
        return {exit, shown(out.empty() ? out : out.substr(0, out.size() - 1)), shown(err)};
    }
    Run run(const char* args, bool json = true) { return run(QString(args).split(' '), json); }
    // The requests the device received, "|" between them.
    std::string sent() const {
        std::string all;
        for (const std::string& request : sim_.requests()) {
            all += (all.empty() ? "" : "|") + request;
        }
        return all;
    }

    QTemporaryDir dir_;
    devsim::PtySimulator sim_{dir_.filePath("ttySIM").toStdString()};
    QString com_link_; // COM5 in the Wine prefix
};

const char kOk[] = R"j({"message":"OK!","ok":true,"schema":1})j";
const char kChanged[] = R"({"message":"OK - Promena parametara izvrsena","ok":true,"schema":1})";
const char kFtpSet[] = "ftp set --user ana --for-send /x";
const char kPin[] = "sim pin --pin-file @PIN@";

// clang-format off
const Row kRows[] = {
    // Each command on a good device.
    {"version", {0, R"j({"ok":true,"schema":1,"version":"Tessal GPRS 2.4.1 (simulator)"})j"}, "V"},
    {"last-command", {0, R"({"last_command":"","ok":true,"schema":1})"}, "W"},
    {"restart", {0, kOk, true}, "E"},
    {"reset --yes", {0, kOk, true}, "X"},
    {"test", {0, kOk}, "T"},
    {"imei", {0, R"({"imei":"356871044629016","ok":true,"schema":1})"}, "AAT+GSN"},
    {"signal", {0, R"({"ok":true,"schema":1,"signal":{"bar":63,"label":"Nivo: 21","strength":21}})"},
     "AAT+CSQ"},
    {"clock --season summer", {0, R"({"clock":{"date":"01.01.2027","season":"summer","time":)"
                                  R"("01:30:00"},"ok":true,"schema":1})"}, "AAT+CCLK?"},
    {"ftp get",
     {0, R"({"ftp":{"address":"192.168.10.20","command":"/komande","for_send":"/izvestaji","gprs":)"
         R"("internet,gprs,gprs","operator":null,"password":"********","user":"terminal"},)"
         R"("ok":true,"schema":1})"},
     "RFTPGovAddr|RFTPGovUser|RFTPGovPass|RFTP_pathFILES|RFtpGovFoldsCommand|RgprsParamVlada"},
    {kFtpSet, {0, R"({"message":"OK - Promena parametara izvrsena","ok":true,"schema":1,)"
                  R"("written":["user","for_send"]})", true}, "PFTPGovUser:ana|PFTP_pathFILES:/x"},
    {"jad get REPORT_INTERVAL", {0, R"({"name":"REPORT_INTERVAL","ok":true,"schema":1,"value":)"
                                    R"("60"})"}, "J"},
    {"jad set REPORT_INTERVAL: 30", {0, kChanged, true}, "PREPORT_INTERVAL:30"},
    {"sim id", {0, R"({"ok":true,"schema":1,"sim_id":"89381030000123456784"})"}, "AAT^SCID"},
    {QString("--trace @DIR@/trace.txt ") + kPin,
     {0, R"({"message":"PIN kod uspesno setovan","ok":true,"schema":1})", true},
     R"(AAT+CPIN?|AAT+CPIN =1234|AAT+CLCK = "SC",0,1234)"},
    {"at AT+CSQ", {0, R"({"ok":true,"reply":"\r\n+CSQ: 21,99\r\n\r\nOK\r\n","schema":1})"}, "AAT+CSQ"},

    // A silent device on a data read, a write with its lists and the PIN
    // sequence with its messages; a refusing and a garbling device; a missing
    // port on a read and on a write.
    {"--timeout 300 version",
     {4, R"({"error":{"code":"no_reply","detail":"","message":"Uredjaj ne odgovara, proverite )"
         R"(vezu i brzinu prenosa!"},"ok":false,"schema":1})"}, nullptr, "", true, &Faults::silent},
    {QString("--timeout 300 ") + kFtpSet,
     {4, R"({"error":{"code":"no_reply","detail":"","message":"Uredjaj ne odgovara !"},)"
         R"("not_written":["user","for_send"],"ok":false,"schema":1,"written":[]})", true},
     nullptr, "", true, &Faults::silent},
    {QString("--timeout 300 ") + kPin,
     {4, R"j({"error":{"code":"no_reply","detail":"","message":"Uredjaj ne odgovara !"},)j"
         R"j("messages":["Uredjaj ne odgovara !","Uredjaj ne odgovara !"],"ok":false,)j"
         R"j("schema":1})j", true}, nullptr, "", true, &Faults::silent},
    {"imei", {5, R"j({"error":{"code":"refused","detail":"","message":"Not OK!"},"ok":false,)j"
                 R"j("schema":1})j"}, nullptr, "", true, &Faults::nak_all},
    {"signal", {5, R"j({"error":{"code":"bad_checksum","detail":"","message":"Checksum nije )j"
                   R"j(dobar!"},"ok":false,"schema":1})j"}, nullptr, "", true,
     &Faults::corrupt_checksum},
    {"--port /dev/ttyNOPE version",
     {3, R"({"error":{"code":"port_unavailable","detail":"Uredjaj: /dev/ttyNOPE\nNema takvog )"
         R"(uredjaja.","message":"Port nije dobro izabran, podesite port i pokusajte ponovo!"},)"
         R"("ok":false,"schema":1})"}, ""},
    {QString("--port /dev/ttyNOPE ") + kFtpSet,
     {3, R"({"error":{"code":"port_unavailable","detail":"Uredjaj: /dev/ttyNOPE\nNema takvog )"
         R"(uredjaja.","message":"Port nije dobro izabran, podesite port i pokusajte ponovo!"},)"
         R"("not_written":["user","for_send"],"ok":false,"schema":1,"written":[]})"}, ""},

    // The special cases.
    {"reset", {2, R"({"error":{"code":"not_confirmed","detail":"reset sends nothing without )"
                  R"(--yes","message":"Jeste li sigurni?"},"ok":false,"schema":1})"}, ""},
    {kFtpSet,
     {7, R"({"error":{"code":"partial","detail":"refused","message":"Not OK!"},)"
         R"("not_written":["for_send"],"ok":false,"schema":1,"written":["user"]})", true},
     "PFTPGovUser:ana|PFTP_pathFILES:/x", "", true, &Faults::nak_all, "PFTP_pathFILES"},
    {"ftp set --address 10.0.0.5 --operator Telenor --verify",
     {0, R"({"message":"OK - Promena parametara izvrsena","ok":true,"schema":1,)"
         R"("written":["address","gprs"]})", true},
     "PFTPGovAddr:010.000.000.5|PgprsParamVlada:internet,telenor,gprs|RFTPGovAddr|"
     "RFTPGovUser|RFTPGovPass|RFTP_pathFILES|RFtpGovFoldsCommand|RgprsParamVlada"},
    {"jad get NO_SUCH", {5, R"({"error":{"code":"not_found","detail":"NO_SUCH","message":""},)"
                            R"("ok":false,"schema":1})"}, "J"},
    {"jad set REPORT_INTERVAL 45 --verify", {0, kChanged, true}, "PREPORT_INTERVAL:45|J"},
    {"jad set NEW_ONE 5 --verify", // kept by the device, but not in its descriptor
     {6, R"j({"error":{"code":"mismatch","detail":"(missing)","message":""},"message":"OK - )j"
         R"j(Promena parametara izvrsena","ok":false,"schema":1})j", true}, "PNEW_ONE:5|J"},
    {"sim id", {5, R"j({"error":{"code":"not_found","detail":"\r\n+CME ERROR: 10\r\n",)j"
                   R"j("message":"+CME ERROR: 10"},"ok":false,"schema":1})j"},
     "AAT^SCID", "", true, nullptr, "", "AT^SCID"},
    {"at AT+FOO", {5, R"({"error":{"code":"modem_error","detail":"\r\nERROR\r\n","message":""},)"
                      R"("ok":false,"reply":"\r\nERROR\r\n","schema":1})"}, "AAT+FOO"},
    {"operators",
     {0, R"({"ok":true,"operators":[{"gprs":"gprs.mts","index":0,"name":"Mts"},{"gprs":"internet,)"
         R"(telenor,gprs","index":1,"name":"Telenor"}],"schema":1})"}, ""},
    {"bogus", {2, R"({"error":{"code":"usage","detail":"","message":"unknown command or wrong )"
                  R"(arguments: bogus"},"ok":false,"schema":1})"}, ""},
    {"version --bogus", {2, R"({"error":{"code":"usage","detail":"","message":"unknown option )"
                            R"(--bogus"},"ok":false,"schema":1})"}, ""},
    // An option is refused by a command that does not take it, also one that
    // another command takes; nothing is sent.
    {"imei --verify", {2, R"({"error":{"code":"usage","detail":"","message":"imei does not )"
                          R"(take --verify"},"ok":false,"schema":1})"}, ""},
    {"ftp get --verify", {2, ""}, "", "ftp get does not take --verify\n", false},
    // What the FTP dialog refuses is refused before anything is sent.
    {"ftp set --address 1.2.3.4.5",
     {2, R"({"error":{"code":"bad_value","detail":"address: octet 4 not a number from 0 to )"
         R"(255","message":"Podaci za ftp adresu nisu dobro uneti."},"ok":false,"schema":1})"}, ""},
    // The modem's error in answer to the PIN request switch, as it came.
    {kPin,
     {5, R"({"error":{"code":"modem_error","detail":"","message":"\r\n+CME ERROR: 10\r\n"},)"
         R"("ok":false,"schema":1})", true},
     R"(AAT+CPIN?|AAT+CPIN =1234|AAT+CLCK = "SC",0,1234)", "", true, nullptr, "", "AT+CLCK"},
    // Text for a person.
    {"version", {0, "Tessal GPRS 2.4.1 (simulator)"}, "V", "", false},
    {"--timeout 300 version", {4, ""}, "V", "Uredjaj ne odgovara, proverite vezu i brzinu "
                                            "prenosa!\n", false, &Faults::silent},
    {"--port /dev/ttyNOPE imei", {3, ""}, "", "Port nije dobro izabran, podesite port i pokusajte "
                                              "ponovo!\nUredjaj: /dev/ttyNOPE\nNema takvog "
                                              "uredjaja.\n", false},
};
// clang-format on

// Each row of the table; the PIN kept secret; the port list; a busy port;
// a signal during a wait; a vanished link.
TEST_F(Cli, EveryCommandAndOutcome) {
    for (const Row& row : kRows) {
        check(row);
    }

    // The PIN reached the device and nothing else.
    const QByteArray traced = read("trace.txt");
    EXPECT_TRUE(traced.contains("<STX>AAT+CPIN =****")) << traced.toStdString();
    EXPECT_FALSE(traced.contains("1234") || traced.contains("31 32 33 34")) << traced.toStdString();

    const auto [listed_exit, listed, listed_err] = run("ports");
    EXPECT_TRUE(listed_exit == 0 && listed_err.empty()) << listed_exit << listed_err;
    const QJsonValue first = QJsonDocument::fromJson(QByteArray::fromStdString(listed))["ports"][0];
    EXPECT_EQ(first["device"].toString(), kWine ? QString(kWineCom) : "@DIR@/ttySIM");

    // POSIX only: Wine lets a second program open a COM port that another
    // holds (Windows refuses it, as the port's "access denied"), and Windows
    // has no signals.
    if (!kWine) {
        // Another run holds the port, waiting for a reply that does not
        // come: nothing of the others reaches the device.
        sim_.set_command_faults({{"", with(&Faults::silent)}});
        QProcess holder;
        start(holder, "--timeout 20000 version");
        ASSERT_TRUE(sim_.wait_for_requests(1, 5s));
        check({"version",
               {3, R"({"error":{"code":"port_unavailable","detail":"Uredjaj: @DIR@/ttySIM\nPort )"
                   R"(je zauzet: koristi ga drugi program.","message":"Port nije dobro izabran, )"
                   R"(podesite port i pokusajte ponovo!"},"ok":false,"schema":1})"},
               ""});
        holder.terminate();
        EXPECT_EQ(std::get<0>(finish(holder)), 143);

        // SIGTERM ends a wait at once, and the PIN sequence, which goes on
        // after a time-out, sends nothing more.
        sim_.set_command_faults({{"", with(&Faults::silent)}});
        sim_.clear_log();
        QProcess process;
        start(process, kPin);
        ASSERT_TRUE(sim_.wait_for_requests(1, 5s));
        const auto since = std::chrono::steady_clock::now();
        process.terminate();
        const auto [exit, out, err] = finish(process);
        EXPECT_LT(std::chrono::steady_clock::now() - since, 1s);
        EXPECT_EQ(exit, 143);
        EXPECT_EQ(out, recorded(R"j({"error":{"code":"interrupted","detail":"","message":)j"
                                R"j("interrupted (SIGTERM)"},"ok":false,"schema":1})j") +
                           "\n");
        EXPECT_EQ(err, "");
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(sim_.requests(), std::vector<std::string>{"AAT+CPIN?"});
    }

    sim_.stop(); // the link goes with it
    check({"version",
           {3, R"({"error":{"code":"port_unavailable","detail":"Uredjaj: @DIR@/ttySIM\n)"
               R"(Nema takvog uredjaja.","message":"Port nije dobro izabran, podesite )"
               R"(port i pokusajte ponovo!"},"ok":false,"schema":1})"}});
}

// A device's text printed as it came keeps its bytes, CR LF included, on
// every platform; any other line for a person shows it as visible
// characters: no line made up, nothing that acts on the terminal.
TEST_F(Cli, DeviceTextComesAsItCameOrAsVisibleCharacters) {
    const char forged[] =
        "evil\r\n2026-12-08T10:00:00+01:00 forged PASS 356938035643899 /dev/ttyUSB9";
    const char hostile[] = "+CME ERROR: \x1b[2J\x1b]0;owned\x07"; // clears, retitles
    const struct {
        const char* args;
        std::function<void(devsim::Device&)> device;
        const char* refuses; // the AT command the modem answers with the hostile line
        int exit;
        std::string out, err;
        bool as_it_came = false;
    } rows[] = {
        {"at AT+CSQ", {}, "", 0, "\r\n+CSQ: 21,99\r\n\r\nOK\r\n", "", true},
        {"jad get", [](devsim::Device& d) { d.set_descriptor("MIDlet-Name: X\r\nPIB: 1\r\n"); }, "",
         0, "MIDlet-Name: X\r\nPIB: 1\r\n", "", true},
        {"at AT+CSQ",
         {},
         "AT+CSQ",
         5,
         "\r\n" + std::string(hostile) + "\r\n",
         R"(\r\n+CME ERROR: \x1B[2J\x1B]0;owned\x07\r\n)"
         "\n",
         true},
        {"version", [&](devsim::Device& d) { d.set_version(forged); }, "", 0,
         R"(evil\r\n2026-12-08T10:00:00+01:00 forged PASS 356938035643899 /dev/ttyUSB9)"
         "\n",
         ""},
        {"sim id",
         {},
         "AT^SCID",
         5,
         "",
         R"(+CME ERROR: \x1B[2J\x1B]0;owned\x07)"
         "\n"
         R"(\r\n+CME ERROR: \x1B[2J\x1B]0;owned\x07\r\n)"
         "\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        sim_.with_device([&](devsim::Device& d) {
            d = devsim::Device();
            d.modem().forms().error_for = row.refuses;
            d.modem().forms().error_line = hostile;
            if (row.device) {
                row.device(d);
            }
        });
        QProcess process;
        start(process, row.args, false);
        EXPECT_EQ(finish(process, row.as_it_came), std::tuple(row.exit, row.out, row.err));
    }
}

// A profile exported, edited as text, compared and applied on a device that
// keeps what it is set to; a device that refuses a write (files refused: below).
TEST_F(Cli, Profiles) {
    if (kWine) {
        GTEST_SKIP() << "the profile's file and port are Unix paths here";
    }
    const auto part = [&](const QString& name, const char* key) {
        const QJsonObject o = QJsonDocument::fromJson(read(name))[key].toObject();
        return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
    };
    // The JSON output with the values that stay unchanged counted, not listed.
    const auto changes = [](const std::string& out) {
        QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
        QJsonArray kept;
        for (const QJsonValue& v : o["values"].toArray()) {
            if (v["state"] != "unchanged") {
                kept.append(v);
            }
        }
        o["unchanged"] = o["values"].toArray().size() - kept.size();
        o["values"] = kept;
        return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
    };
    const std::string reading = "V|AAT+GSN|RFTPGovAddr|RFTPGovUser|RFTPGovPass|RFTP_pathFILES|"
                                "RFtpGovFoldsCommand|RgprsParamVlada|J";
    EXPECT_EQ(run("profile export @DIR@/p.json"),
              Run(0, R"({"file":"@DIR@/p.json","ok":true,"schema":1})", ""));
    EXPECT_EQ(part("p.json", "ftp"), R"({"address":"192.168.10.20","command":"/komande",)"
                                     R"("for_send":"/izvestaji","gprs":"internet,gprs,gprs",)"
                                     R"("user":"terminal"})");
    const QJsonValue source = QJsonDocument::fromJson(read("p.json"))["source"];
    EXPECT_EQ(source["port"], dir_.filePath("ttySIM"));
    EXPECT_TRUE(
        QDateTime::fromString(source["read_at"].toString(), "yyyy-MM-dd HH:mm:ss").isValid());
    QString edited = QString::fromUtf8(read("p.json"));
    edited.replace(R"("user": "terminal")", R"("user": "tech")")
        .replace(R"("REPORT_INTERVAL": "60")", R"("REPORT_INTERVAL": "30")");
    write("e.json", edited);
    EXPECT_EQ(run("profile diff @DIR@/e.json"),
              Run(1,
                  R"({"differences":[{"device":"terminal","field":"ftp.user","profile":"tech"},)"
                  R"({"device":"60","field":"jad.REPORT_INTERVAL","profile":"30"}],"error":)"
                  R"({"code":"differs","detail":"2 values differ","message":""},"ok":false,)"
                  R"("same":18,"schema":1})",
                  ""));
    EXPECT_EQ(changes(std::get<1>(run("profile apply @DIR@/e.json --dry-run"))),
              R"({"dry_run":true,"error":{"code":"differs","detail":"2 values differ",)"
              R"("message":""},"ok":false,"schema":1,"unchanged":18,"values":[{"device":)"
              R"("terminal","field":"ftp.user","profile":"tech","state":"differs"},{"device":)"
              R"("60","field":"jad.REPORT_INTERVAL","profile":"30","state":"differs"}]})");
    EXPECT_EQ(sent(), reading);
    EXPECT_EQ(changes(std::get<1>(run("profile apply @DIR@/e.json"))),
              R"({"ok":true,"record":{"entry":1,"kept":"recorded","technician":null,"waiting":0,)"
              R"("why":null},"schema":1,"unchanged":18,"values":[{"device":"terminal","field":)"
              R"("ftp.user","now":"tech","profile":"tech","state":"confirmed"},{"device":"60",)"
              R"("field":"jad.REPORT_INTERVAL","now":"30","profile":"30","state":"confirmed"}]})");
    EXPECT_EQ(sent(), reading + "|PFTPGovUser:tech|PREPORT_INTERVAL:30|" + reading);
    EXPECT_EQ(std::get<0>(run("profile export @DIR@/p2.json")), 0);
    EXPECT_EQ(part("p2.json", "ftp") + part("p2.json", "jad"),
              part("e.json", "ftp") + part("e.json", "jad"));

    sim_.set_command_faults({{"PREPORT_INTERVAL", with(&Faults::nak_all)}});
    write("r.json", QString(edited).replace("tech", "ana").replace(R"("30")", R"("45")"));
    const Run refused = run("profile apply @DIR@/r.json");
    EXPECT_EQ(std::get<0>(refused), 7);
    EXPECT_EQ(changes(std::get<1>(refused)),
              R"({"error":{"code":"partial","detail":"refused","message":"Not OK!"},"ok":false,)"
              R"("record":{"entry":2,"kept":"recorded","technician":null,"waiting":0,"why":null},)"
              R"("schema":1,"unchanged":18,"values":[{"device":"tech","field":"ftp.user","now":)"
              R"("ana","profile":"ana","state":"confirmed"},{"device":"30","field":)"
              R"("jad.REPORT_INTERVAL","profile":"45","state":"not_written","why":"Not OK!"}]})");
    EXPECT_EQ(sent(), reading + "|PFTPGovUser:ana|PREPORT_INTERVAL:45|" + reading);
}

// A JAD value the dialog refuses is not sent.
TEST_F(Cli, AJadValueTheDialogRefusesIsNotSent) {
    EXPECT_EQ(run({"jad", "set", "MIDlet-Name", ""}),
              Run(2, bad_value("empty", "Unesite novu vrednost parametra"), ""));
    EXPECT_EQ(sent(), "");
    EXPECT_EQ(run({"jad", "set", "MIDlet-Name", "  "}, false),
              Run(2, "", "Unesite novu vrednost parametra\nempty\n"));
}

// profile diff makes the checks that apply makes, each one the file alone
// shows before the first request, and shows no control character as it is.
TEST_F(Cli, ProfileDiffRefusesWhatApplyRefuses) {
    // The profile, why it is refused, and whether the file alone shows it.
    const std::tuple<std::string, const char*, bool> profiles[] = {
        {R"({"schema": 1, "ftp": {"address": "1.2.3.4.5"}})",
         "ftp.address: octet 4 not a number from 0 to 255", true},
        {R"({"schema": 1, "jad": {"MIDlet-Name": " "}})", "jad.MIDlet-Name: empty", false},
        {QByteArray(R"({"schema": 1})").leftJustified(1048577, ' ').toStdString(),
         "not a profile: larger than 1 MiB", true},
    };
    for (const auto& [json, detail, file_alone] : profiles) {
        write("d.json", QString::fromStdString(json));
        for (const QStringList& command : {QStringList{"profile", "diff", "@DIR@/d.json"},
                                           {"profile", "apply", "@DIR@/d.json", "--dry-run"},
                                           {"profile", "apply", "@DIR@/d.json"}}) {
            EXPECT_EQ(run(command), Run(2, bad_value(detail), ""));
            EXPECT_TRUE(!file_alone || sent().empty()) << detail << ": " << sent();
        }
    }
    // A value the device holds is shown with its control characters escaped.
    write("d.json", R"({"schema": 1, "jad": {"MIDlet-Name": "Tessal"}})");
    sim_.with_device([](devsim::Device& d) { d.handle("PMIDlet-Name:Te\x1b[2Jsal"); });
    EXPECT_EQ(run({"profile", "diff", "@DIR@/d.json"}, false),
              Run(1, "jad.MIDlet-Name: Te\\x1B[2Jsal -> Tessal", "1 value differs\n"));
}

// The check as a person reads it: the stages as lines and the verdict last,
// device text made visible.  With --json every stage, and 8 with the
// verdict when a stage failed (its lines are the device layer's); the
// version first, nothing written, no PIN sent.  The clock is set as the
// console sets it, so it is the line left out here.
TEST_F(Cli, CheckTellsEveryStageAndTheVerdict) {
    write("rvt_ini.txt", "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\nIME0=Mreza A\r\nGPRS0="
                         "internet,gprs,gprs\r\nMREZA0=22001\r\n[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n"
                         "COM1=" +
                             dir_.filePath("ttySIM") + "\r\n");
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime device = now.addSecs(now.isDaylightTime() ? -7200 : -3600);
    sim_.with_device([&](devsim::Device& d) {
        d = devsim::Device();
        d.set_version("Tessal\x1b[2J");
        d.modem().sim().pin_required = false;
        d.modem().set_clock(device.toString("yy/MM/dd,HH:mm:ss").toStdString());
    });
    const auto [exit, out, err] = run({"check"}, false);
    EXPECT_EQ(exit, 0);
    EXPECT_EQ(QString::fromStdString(out).remove(QRegularExpression("Sat: [^\n]*\n")),
              "Uredjaj: u redu - Tessal<ESC>[2J\n"
              "Modem: u redu - 356871044629016\n"
              "SIM kartica: u redu - READY, pokusaja PIN-a: 3\n"
              "SIM identifikacija: u redu - 89381030000123456784\n"
              "Signal: u redu - Nivo: 21\n"
              "Registracija: u redu - domaca mreza (1)\n"
              "Mreza: u redu - 22001 (Mreza A), GPRS: internet,gprs,gprs\n"
              "GPRS: u redu - prikljucen\n"
              "Profil: nije provereno (Profil nije zadat)\n"
              "Ocena: Uredjaj je ispravan [ok]");

    sim_.with_device([](devsim::Device& d) { d.modem().network().registration = 0; });
    const auto [json_exit, json, json_err] = run({"check"});
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    EXPECT_EQ(json_exit, 8);
    EXPECT_EQ(object["check"]["verdict"].toString(), "not_registered");
    ASSERT_EQ(object["check"]["stages"].toArray().size(), 10);
    EXPECT_EQ(object["check"]["stages"][0]["reading"].toString(), "Tessal\x1b[2J");
    EXPECT_EQ(object["error"]["code"].toString(), "check_failed");
    EXPECT_EQ(object["error"]["detail"].toString(), "not_registered");
    EXPECT_EQ(json_err, "");
    EXPECT_EQ(sent(), "V|AAT+GSN|AAT+CPIN?|AAT^SPIC|AAT^SCID|AAT+CSQ|AAT+CREG?|AAT+COPS?|"
                      "AAT+CGATT?|AAT+CCLK?");
}

// A write the device took whose acknowledgement was lost: the read-back
// decides; without one the value is unknown.
TEST_F(Cli, ALostAcknowledgementIsDecidedByTheReadBack) {
    sim_.set_command_faults({{"PFTPGovUser", with(&devsim::Faults::hang_up_mid_reply)}});
    EXPECT_EQ(run({"ftp", "set", "--user", "tech"}),
              Run(0,
                  recorded(R"({"message":"OK - Promena parametara izvrsena","ok":true,)"
                           R"("schema":1,"written":["user"]})"),
                  ""));
    // No read-back either: the value is unknown.
    sim_.set_command_faults({{"PFTPGovUser", with(&devsim::Faults::hang_up_mid_reply)},
                             {"RFTPGovAddr", with(&devsim::Faults::nak_all)}});
    EXPECT_EQ(run({"ftp", "set", "--user", "tech", "--for-send", "/x"}),
              Run(5,
                  recorded(R"({"error":{"code":"port_failed","detail":"","message":"Greska!"},)"
                           R"("not_written":["for_send"],"ok":false,"schema":1,)"
                           R"("unknown":["user"],"written":[]})"),
                  ""));
}

// A file with the password is its owner's alone, the password in it; a
// password file that others may write is used, with a warning.
TEST_F(Cli, SecretsAreKeptFromOtherUsers) {
    write("s.json", "old");
    QFile::setPermissions(dir_.filePath("s.json"), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ReadGroup | QFile::ReadOther);
    EXPECT_EQ(std::get<0>(run({"profile", "export", "@DIR@/s.json", "--with-secrets"})), 0);
    const auto mode = [this](const char* name) {
        struct stat file {};
        EXPECT_EQ(::stat(dir_.filePath(name).toLocal8Bit().constData(), &file), 0);
        return file.st_mode & 0777;
    };
    EXPECT_EQ(mode("s.json"), 0600U);
    EXPECT_EQ(QJsonDocument::fromJson(read("s.json"))["ftp"]["password"]["secret"], "trobelik");

    write("pass.txt", "nova\n");
    QFile::setPermissions(dir_.filePath("pass.txt"), QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ReadOther | QFile::WriteOther);
    EXPECT_EQ(run({"ftp", "set", "--password-file", "@DIR@/pass.txt"}, false),
              Run(0, "OK - Promena parametara izvrsena",
                  "warning: other users may write @DIR@/pass.txt; the secret in it may not be "
                  "the one meant\n"));
    EXPECT_EQ(sent(), "PFTPGovPass:nova");
    EXPECT_EQ(run({"ftp", "set", "--password-file", "@DIR@/pass.txt"}),
              Run(0,
                  recorded(R"({"message":"OK - Promena parametara izvrsena","ok":true,)"
                           R"("schema":1,"written":["password"]})"),
                  ""));
}

#ifdef TESSAL_WITH_REGISTER
// A file the programs write is whole or not there: the export on a disk
// that fills up fails and leaves the last good export in place.
TEST_F(Cli, AnExportThatCannotBeWrittenWholeFails) {
    {
        reg::Register book;
        QString error;
        ASSERT_TRUE(book.open(dir_.filePath("reg.sqlite"), error)) << error.toStdString();
        for (int i = 0; i < 40; ++i) {
            reg::Record r;
            r.time = "2026-12-07T10:41:52";
            r.port = "/dev/ttyUSB0";
            r.imei = "356871044629016";
            r.failed = QString(100, u'x');
            ASSERT_TRUE(book.add(r, error)) << error.toStdString();
        }
    }
    write("devices.csv", "last good export\r\n");
    QProcess process;
    // The file size limit stands for a full disk: a write stops part way.
    process.setChildProcessModifier([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(TESSAL_CLI,
                  {"--json", "register", "export", "--csv", dir_.filePath("devices.csv"),
                   "--register", dir_.filePath("reg.sqlite")});
    ASSERT_TRUE(process.waitForStarted(20000));
    const auto [exit, out, err] = finish(process);
    EXPECT_EQ(exit, 2) << out;
    EXPECT_NE(out.find(R"("code":"bad_value")"), std::string::npos) << out;
    EXPECT_EQ(read("devices.csv"), "last good export\r\n");
}

// An intervention as a technician makes it: opened on the port, a write in
// it, ended with seals and verdict; the device's book numbers it 1.  A write
// with no entry open is an entry of its own, with no technician.  A register
// that cannot be written stops no write: the output says where the record is
// (an entry of its own, its change, its end and its checkpoint wait).
TEST_F(Cli, EveryWriteIsRecordedInTheServiceBook) {
    const struct {
        QStringList args;
        Run expected; // an entry's id shows as @ID@
        const char* register_ini = nullptr;
    } steps[] = {
        {{"--technician", "Ana", "--authorization", "A-17", "service", "start", "--kind", "repair",
          "--seals-removed", "S-1"},
         {0,
          "entry @ID@ opened: repair on @DIR@/ttySIM, seals removed S-1\n"
          "IMEI 356871044629016, version Tessal GPRS 2.4.1 (simulator), SIM "
          "89381030000123456784\ntechnician Ana (A-17)",
          ""}},
        {{"service", "start"},
         {10, "", "an entry is open on @DIR@/ttySIM: @ID@\ntessal-cli service end ends it\n"}},
        {{"service", "start", "--kind", "tuning"},
         {2, "",
          "--kind takes commissioning, inspection, repair, reconfiguration, reset or "
          "decommissioning\n"}},
        {{"ftp", "set", "--user", "tech", "--verify"}, {0, "OK - Promena parametara izvrsena", ""}},
        {{"service", "end", "--seals-applied", "S-2", "--verdict", "pass"},
         {0, "entry 1 of 356871044629016", ""}},
        {{"service", "end"},
         {10, "",
          "no entry of the service book is open on @DIR@/ttySIM\n"
          "tessal-cli service start opens one\n"}},
        {{"profile", "apply", "@DIR@/u.json"}, {0, "ftp.user: confirmed (tech -> ana)", ""}},
        {{"--technician", "Bo", "profile", "apply", "@DIR@/v.json"},
         {0, "ftp.user: confirmed (ana -> x)", ""}},
        {{"ftp", "set", "--user", "x"},
         {0, "OK - Promena parametara izvrsena",
          "record: kept locally, 4 waiting for the register\n"},
         "location=postgresql://tessal@127.0.0.1:1/tessal\n"},
        {{"ftp", "set", "--user", "y"},
         {0, "OK - Promena parametara izvrsena", "record: not recorded: @WHY@\n"},
         "location=postgresql://tessal@127.0.0.1:1/tessal\nlocal=@DIR@/u.json/waiting.sqlite\n"},
    };
    write("u.json", R"({"schema": 1, "ftp": {"user": "ana"}})");
    write("v.json", R"({"schema": 1, "ftp": {"user": "x"}})");
    QDir(dir_.path()).mkpath("config/Tessal");
    const QRegularExpression id("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    // Each entry of the device's book as a line.
    const auto book_lines = [this] {
        reg::Register book;
        QString error;
        EXPECT_TRUE(book.open_for_reading(dir_.filePath("data/Tessal/register.sqlite"), error));
        QStringList told;
        for (const reg::Entry& e :
             book.book("356871044629016", error).value_or(std::vector<reg::Entry>{})) {
            QString line = QString("%1 %2 %3 %4 %5:")
                               .arg(e.opened.entry.value_or(0))
                               .arg(e.opened.technician, e.opened.authorization, e.opened.kind,
                                    e.opened.seals_removed);
            for (const reg::Change& c : e.changes) {
                line += QString(" %1 %2 -> %3 %4;")
                            .arg(c.field, c.before.value_or("?"), c.wanted, c.state);
            }
            told << line + (e.ended ? " " + e.ended->seals_applied + " " + e.ended->verdict : "");
        }
        return told;
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.args.join(' ').toStdString());
        if (step.args[0] == "service" && step.args[1] == "end" && std::get<0>(step.expected) == 0) {
            // Before its end the entry holds every change made in it: a
            // program killed now would leave it so.
            EXPECT_EQ(book_lines(),
                      QStringList({"1 Ana A-17 repair S-1: ftp.user ? -> tech confirmed;"}));
        }
        if (step.register_ini != nullptr) {
            write("config/Tessal/register.ini",
                  QString(step.register_ini).replace("@DIR@", dir_.path()));
        }
        auto [exit, out, err] = run(step.args, false);
        const auto shown = [&](const std::string& text) {
            return QString::fromStdString(text)
                .replace(id, "@ID@")
                .replace(QRegularExpression("not recorded: .+cannot be made: .+"),
                         "not recorded: @WHY@")
                .toStdString();
        };
        EXPECT_EQ(Run(exit, shown(out), shown(err)), step.expected);
    }

    EXPECT_EQ(book_lines(),
              QStringList({"1 Ana A-17 repair S-1: ftp.user ? -> tech confirmed; S-2 pass",
                           "2   reconfiguration : ftp.user tech -> ana confirmed;  ",
                           "3 Bo  reconfiguration : ftp.user ana -> x confirmed;  "}));
}

// A device's book as the register keeps it, read with tessal-cli: its
// entries, one whole, two compared, the changes written out.
TEST_F(Cli, ReadsTheServiceBook) {
    {
        reg::Register book;
        QString error;
        ASSERT_TRUE(book.open(dir_.filePath("reg.sqlite"), error)) << error.toStdString();
        const char imei[] = "356871044629016";
        // An entry: id, device, day, technician, seals removed;applied, the
        // changes (field, before, wanted, state, now), the verdict.
        // clang-format off
        testing::write_book(book, {
            {"a1", imei, "01", "Ana Petrović", "0412;0413",
             {{"ftp.user", "?", "tech", "confirmed", "tech"},
              {"sim.password", "********", "********", "confirmed", "********"}}, "pass"},
            {"a2", imei, "05", "Bo", "0413;0500",
             {{"ftp.user", "tech", "=ana\x1b[2J", "confirmed", "=ana\x1b[2J"},
              {"jad.A", "1", "2", "read_back_differs", "3"}}, "fail"},
            {"a3", imei, "08", "", "0500;",
             {{"sim.id", "?", "893810300001234567890", "written", ""}}}});
        // clang-format on
    }
    const QString at = " --register @DIR@/reg.sqlite";
    const struct {
        QString args;
        Run expected;
    } steps[] = {
        {"service list",
         {0,
          "1  2026-12-01 10:00  356871044629016  repair  Ana Petrović  pass\n"
          "2  2026-12-05 10:00  356871044629016  repair  Bo  fail\n"
          "3  2026-12-08 10:00  356871044629016  repair  not named  open",
          ""}},
        {"service list --seal 0413",
         {0,
          "1  2026-12-01 10:00  356871044629016  repair  Ana Petrović  pass\n2  2026-12-05 10:00  "
          "356871044629016  repair  Bo  fail",
          ""}},
        {"service list --imei 9999", {0, "", ""}},
        {"service list --since 2026-12-06 --technician NOBODY", {0, "", ""}},
        {"service list --imei 1 --seal 2", {2, "", "--imei, --sim and --seal go one at a time\n"}},
        {"service show 356871044629016 2",
         {0,
          "entry 2 of 356871044629016: repair, 2026-12-05T10:00:00+01:00\n"
          "device: version \"\", SIM 89381030000123456784, port \"\"\n"
          "technician: Bo\n"
          "station: \"\", user \"\"\n"
          "seals removed: 0413\n"
          "ftp.user: tech -> =ana\\x1B[2J, confirmed\n"
          "jad.A: 1 -> 2, read_back_differs, now 3\n"
          "seals applied: 0500\n"
          "note: none\n"
          "verdict: fail, 2026-12-05T11:00:00+01:00",
          ""}},
        {"service show 00000000-0000-4000-8000-0000000000a3",
         {0,
          "entry 3 of 356871044629016: repair, 2026-12-08T10:00:00+01:00\n"
          "device: version \"\", SIM 89381030000123456784, port \"\"\n"
          "technician: not named\n"
          "station: \"\", user \"\"\n"
          "seals removed: 0500\n"
          "sim.id: ? -> 893810300001234567890, written\n"
          "not ended",
          ""}},
        {"service show 356871044629016 4",
         {10, "", "the register holds no entry 4 of 356871044629016\n"}},
        {"service show 356871044629016 x",
         {2, "", "service show DEVICE N takes an entry's number, 1 or more\n"}},
        {"service diff 356871044629016 1 3",
         {0, "ftp.user: tech -> =ana\\x1B[2J\njad.A: ? -> 3\nsim.id: ? -> 893810300001234567890",
          ""}},
        {"service diff 356871044629016 2 2", {0, "no value differs between entries 2 and 2", ""}},
        {"service diff 356871044629016 1 7",
         {10, "", "the device 356871044629016 has no entry 7 in the register\n"}},
        {"service pdf 356871044629016 2 @DIR@/entry.pdf", {0, "@DIR@/entry.pdf", ""}},
        {"service pdf 356871044629016 9 @DIR@/entry9.pdf",
         {10, "", "the register holds no entry 9 of 356871044629016\n"}},
        {"service export --csv @DIR@/book.csv --imei 4629016", {0, "@DIR@/book.csv", ""}},
        {"service export --json @DIR@/book.json --since 2026-12-08", {0, "@DIR@/book.json", ""}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.args.toStdString());
        EXPECT_EQ(run((step.args + at).split(' '), false), step.expected);
    }
    // The JSON object holds the list whole, the rows streamed into it.
    const auto [exit, out, err] = run(("service list --since 2026-12-05" + at).split(' '));
    const QJsonObject listed = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
    EXPECT_EQ(listed["ok"], true);
    EXPECT_EQ(listed["entries"].toArray().size(), 2);
    EXPECT_EQ(listed["entries"][1]["verdict"], QJsonValue());
    EXPECT_EQ(listed["entries"][0]["technician"], "Bo");

    EXPECT_EQ(read("entry.pdf").left(5), "%PDF-");
    EXPECT_EQ(read("book.csv").toStdString(),
              "\xEF\xBB\xBF"
              "entry,date,imei,sim_id,technician,authorization,kind,seals_removed,seals_applied,"
              "verdict,field,before,wanted,now,state,id\r\n"
              "1,\"2026-12-01T10:00:00+01:00\",\"'356871044629016\",\"'89381030000123456784\","
              "\"Ana Petrović\",\"\",\"repair\",\"0412\",\"0413\",\"pass\",\"ftp.user\",,\"tech\","
              "\"tech\",\"confirmed\",\"00000000-0000-4000-8000-0000000000a1\"\r\n"
              "1,\"2026-12-01T10:00:00+01:00\",\"'356871044629016\",\"'89381030000123456784\","
              "\"Ana Petrović\",\"\",\"repair\",\"0412\",\"0413\",\"pass\",\"sim.password\","
              "\"********\",\"********\",\"********\",\"confirmed\","
              "\"00000000-0000-4000-8000-0000000000a1\"\r\n"
              "2,\"2026-12-05T10:00:00+01:00\",\"'356871044629016\",\"'89381030000123456784\","
              "\"Bo\",\"\",\"repair\",\"0413\",\"0500\",\"fail\",\"ftp.user\",\"tech\","
              "\"'=ana\x1b[2J\",\"'=ana\x1b[2J\",\"confirmed\","
              "\"00000000-0000-4000-8000-0000000000a2\"\r\n"
              "2,\"2026-12-05T10:00:00+01:00\",\"'356871044629016\",\"'89381030000123456784\","
              "\"Bo\",\"\",\"repair\",\"0413\",\"0500\",\"fail\",\"jad.A\",\"1\",\"2\",\"3\","
              "\"read_back_differs\",\"00000000-0000-4000-8000-0000000000a2\"\r\n"
              "3,\"2026-12-08T10:00:00+01:00\",\"'356871044629016\",\"'89381030000123456784\","
              "\"\",\"\",\"repair\",\"0500\",,,\"sim.id\",,\"'893810300001234567890\",\"\","
              "\"written\",\"00000000-0000-4000-8000-0000000000a3\"\r\n");
    const QJsonArray rows = QJsonDocument::fromJson(read("book.json")).array();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]["wanted"], "893810300001234567890");
    EXPECT_EQ(rows[0]["before"], QJsonValue());
    EXPECT_EQ(rows[0]["verdict"], QJsonValue());
}
#endif

} // namespace
} // namespace tessal::cli
