// SPDX-License-Identifier: Apache-2.0
// The station against simulated devices on pseudo-terminals: devices that
// appear one after another, ports that were there before, a device cut
// short; and tessal-cli's station and register commands as a process.
#include "devsim/pty_simulator.h"
#include "station/station.h"
#include "support/files.h"
#include "support/pg_server.h"
#include "support/scripted_port.h"
#include "support/simulated_device.h"
#include "support/tcp_proxy.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSemaphore>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

namespace tessal::station {
namespace {

using namespace std::chrono_literals;

const char kProfile[] = R"({"schema": 1, "ftp": {"user": "servis", "for_send": "/racuni"},)"
                        R"( "jad": {"REPORT_INTERVAL": "30"}})";

using testing::open_files;

class StationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The stations' local registers and settings stay in the test's folder.
        qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
        QDir(dir_.path()).mkpath("ports");
        QFile profile(path("profile.json"));
        ASSERT_TRUE(profile.open(QIODevice::WriteOnly) && profile.write(kProfile) > 0);
        QFile(path("rvt_ini.txt")).open(QIODevice::WriteOnly);
        ASSERT_TRUE(book_.open(path("reg/register.sqlite"), error_));
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    // A simulated device on `name` in the test's folder, its SIM without a
    // PIN; `set` and `faults` change it before it starts.
    std::unique_ptr<devsim::PtySimulator>
    device(const QString& name, const std::string& imei,
           const std::function<void(devsim::Modem&)>& set = {},
           std::vector<devsim::CommandFault> faults = {}) const {
        auto sim = std::make_unique<devsim::PtySimulator>(path(name).toStdString());
        sim->with_device([&](devsim::Device& d) {
            d.modem().sim().pin_required = false;
            d.modem().set_imei(imei);
            if (set) {
                set(d.modem());
            }
        });
        sim->set_command_faults(std::move(faults));
        EXPECT_TRUE(sim->start()) << sim->error();
        return sim;
    }
    // tessal-cli (or `program`) started on `args`, a word's leading "@" for
    // the test's folder.
    void start(QProcess& process, const QString& args,
               const QStringList& program = {TESSAL_CLI}) const {
        QStringList words = program.mid(1) + QStringList{"--settings", path("rvt_ini.txt")};
        for (const QString& word : args.split(' ')) {
            words << (word.startsWith('@') ? path(word.mid(1)) : word);
        }
        process.start(program[0], words);
        EXPECT_TRUE(process.waitForStarted(20000));
    }
    // tessal-cli run to its end: "status|standard output|standard error",
    // the test's folder as "@".
    QString cli(const QString& args, const QStringList& program = {TESSAL_CLI}) const {
        QProcess process;
        start(process, args, program);
        EXPECT_TRUE(process.waitForFinished(20000));
        return QStringList{QString::number(process.exitCode()), process.readAllStandardOutput(),
                           process.readAllStandardError()}
            .join('|')
            .replace(dir_.path() + "/", "@");
    }
    Options options(const QString& glob) const {
        std::string problem;
        Options o;
        o.profile = *device::parse_profile(kProfile, problem);
        o.profile_file = path("profile.json");
        o.speeds = {9600};
        o.ports_glob = glob;
        o.traces_folder = path("reg/traces");
        return o;
    }
    // The register's rows as the station's lines without their time, the
    // test's folder as "@".
    std::vector<QString> lines() {
        std::vector<QString> lines;
        for (const reg::Record& r : book_.list({}, error_).value_or(std::vector<reg::Record>{})) {
            lines.push_back(outcome_line(r).mid(9).replace(dir_.path(), "@"));
        }
        return lines;
    }

    QTemporaryDir dir_;
    QString error_;
    reg::Register book_;
};

// The options of a profile named relative to the working folder: the
// register gets the file's absolute name and its bytes' SHA-256; the usual
// speeds unless others are given.
TEST_F(StationTest, OptionsNameTheProfileAbsolutelyWithItsHash) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    const device::LoadedProfile loaded = device::load_profile(QStringLiteral("profile.json"));
    settings::Settings settings;
    settings.speed = 19200;
    const Options usual = station_options("profile.json", loaded, settings, "COM5,COM6");
    const Options given = station_options("profile.json", loaded, settings, "", {9600});
    QDir::setCurrent(before);
    EXPECT_EQ(usual.profile_file, dir_.path() + "/profile.json");
    EXPECT_EQ(usual.profile_sha256,
              "6fd7f2722fb11048c7113adf70b462a0b65cafcb6eb1269bde6d54b10e062f38");
    EXPECT_EQ(usual.profile.ftp[device::FtpParameter::user], "servis");
    EXPECT_EQ(usual.settings.speed, 19200);
    EXPECT_EQ(usual.ports_glob, "COM5,COM6");
    EXPECT_EQ(usual.speeds, (std::vector<std::int32_t>{38400, 19200, 9600, 57600, 115200}));
    EXPECT_EQ(given.speeds, std::vector<std::int32_t>{9600});
}

// Devices appear one after another: the fourth refuses the profile's user,
// the sixth and the seventh fail their check (a network that keeps them
// off, a SIM waiting for its PIN) after they were configured.
TEST_F(StationTest, CommissionsDevicesAppearingOneAfterAnother) {
    std::function<void(devsim::Modem&)> set[7];
    set[5] = [](devsim::Modem& m) { m.network().registration = 0; };
    set[6] = [](devsim::Modem& m) { m.sim().pin_required = true; };
    std::vector<int> held(7, -1); // descriptors on each device once its line came
    const int files_before = open_files();
    {
        Station station(book_, options(path("ports/dev*")));
        QSemaphore done; // a device the station has done, for the thread that plugs them
        std::thread driver([&] {
            for (int i = 1; i <= 7; ++i) {
                const auto sim = device(
                    QString("ports/dev%1").arg(i), "35687104462901" + std::to_string(i), set[i - 1],
                    {{i == 4 ? "PFTPGovUser" : "-", testing::with(&devsim::Faults::nak_all)}});
                if (!sim->running() || !done.tryAcquire(1, 30000)) {
                    break;
                }
                held[i - 1] = open_files(sim->device_path());
            }
            station.stop();
        });
        EXPECT_EQ(station.run([&](const reg::Record&) { done.release(); }), "");
        driver.join();
    }
    EXPECT_EQ(open_files(), files_before);
    EXPECT_EQ(held, std::vector<int>(7, 1)); // the simulator's own, no other

    EXPECT_EQ(lines(), (std::vector<QString>{
                           "PASS 356871044629011 @/ports/dev1", "PASS 356871044629012 @/ports/dev2",
                           "PASS 356871044629013 @/ports/dev3",
                           "FAIL 356871044629014 @/ports/dev4 ftp.user: Not OK!",
                           "PASS 356871044629015 @/ports/dev5",
                           "FAIL 356871044629016 @/ports/dev6 check: not_registered: Greska u "
                           "koraku Registracija: Modem nije prijavljen na mrezu",
                           "FAIL 356871044629017 @/ports/dev7 check: sim_pin_required: Greska u "
                           "koraku SIM kartica: SIM kartica ceka PIN"}));
    const std::vector<reg::Record> rows = *book_.list({}, error_);
    EXPECT_EQ(QDir(path("reg/traces")).entryList(QDir::Files).size(), 7);
    for (const reg::Record& r : rows) {
        SCOPED_TRACE(r.imei.toStdString());
        EXPECT_EQ(QStringList({r.time.mid(10, 1), QString::number(r.speed), r.version, r.sim_id,
                               QString::number(r.signal.value_or(-1)), r.profile_file})
                      .join('|'),
                  "T|38400|Tessal GPRS 2.4.1 (simulator)|89381030000123456784|21|" +
                      path("profile.json"));
        // Each trace is named by its device and holds its bytes, no other's.
        EXPECT_TRUE(QFileInfo(r.trace_file).fileName().startsWith(r.imei + "_20"));
        const std::string bytes = testing::file_text(r.trace_file.toStdString());
        for (const reg::Record& other : rows) {
            EXPECT_EQ(bytes.find("<LF>" + other.imei.toStdString() + "<CR>") != std::string::npos,
                      &other == &r);
        }
    }
    EXPECT_EQ(rows[0].apply_result,
              R"([{"device":"terminal","field":"ftp.user","now":"servis","profile":"servis",)"
              R"("state":"confirmed"},{"device":"/izvestaji","field":"ftp.for_send","now":)"
              R"("/racuni","profile":"/racuni","state":"confirmed"},{"device":"60","field":)"
              R"("jad.REPORT_INTERVAL","now":"30","profile":"30","state":"confirmed"}])");
    EXPECT_EQ(rows[3].apply_result,
              R"([{"device":"terminal","field":"ftp.user","profile":"servis","state":)"
              R"("not_written","why":"Not OK!"},{"device":"/izvestaji","field":"ftp.for_send",)"
              R"("profile":"/racuni","state":"not_written","why":"nije poslato"},{"device":"60",)"
              R"("field":"jad.REPORT_INTERVAL","profile":"30","state":"not_written","why":)"
              R"("nije poslato"}])");
    // The register keeps every stage of the check with the device.
    EXPECT_TRUE(rows[5].check_result.contains(
        R"j({"outcome":"failed","reading":"nije prijavljen (0)","reason":"not_registered",)j"
        R"j("stage":"registration"})j"))
        << rows[5].check_result.toStdString();
    EXPECT_EQ(rows[6].check_result.count("\"stage\""), 10);
    // Each device is also an entry of its book, numbered 1: a commissioning,
    // with what its writes changed, before and after, and its verdict.
    const auto book_of = [this](const char* imei) {
        QStringList entries;
        for (const reg::Entry& e : book_.book(imei, error_).value_or(std::vector<reg::Entry>{})) {
            QString line = QString("%1 %2:").arg(e.opened.entry.value_or(0)).arg(e.opened.kind);
            for (const reg::Change& c : e.changes) {
                line += " " + c.field + " " + c.before.value_or("?") + "->" +
                        (c.field == "clock" ? "" : c.wanted + " " + c.state);
            }
            entries << line + (e.ended ? " " + e.ended->verdict : " (not ended)");
        }
        return entries.join('\n').toStdString();
    };
    EXPECT_EQ(book_of("356871044629011"),
              "1 commissioning: ftp.user terminal->servis confirmed ftp.for_send "
              "/izvestaji->/racuni confirmed jad.REPORT_INTERVAL 60->30 confirmed clock ?-> pass");
    EXPECT_EQ(book_of("356871044629014"),
              "1 commissioning: ftp.user terminal->servis not_written clock ?-> fail");
}

TEST_F(StationTest, LeavesPortsThereAtTheStartAloneAndRecordsADeviceCutShort) {
    devsim::PtySimulator there(path("ttyUSB0").toStdString());
    devsim::PtySimulator late(path("ttyUSB1").toStdString());
    late.set_command_faults({{"AAT+CSQ", testing::with(&devsim::Faults::silent)}});
    ASSERT_TRUE(there.start() && late.start());
    testing::MadeUpPorts machine;
    machine.plug(path("ttyUSB0").toStdString());
    machine.plug(path("ttyS0").toStdString(), false); // built in: never an adapter
    Options o = options({});
    o.ports = &machine;
    Station station(book_, o);
    std::chrono::steady_clock::time_point stopped;
    std::thread driver([&] {
        while (machine.reads == 0) {
            std::this_thread::sleep_for(1ms);
        }
        machine.plug(path("ttyUSB1").toStdString());
        const auto awaited = [&late] { // the reply that never comes
            const std::vector<std::string> requests = late.requests();
            return !requests.empty() && requests.back() == "AAT+CSQ";
        };
        for (int i = 0; i < 20000 && !awaited(); ++i) {
            std::this_thread::sleep_for(1ms);
        }
        stopped = std::chrono::steady_clock::now();
        station.stop();
    });
    EXPECT_EQ(station.run([](const reg::Record&) {}), "");
    const auto ended = std::chrono::steady_clock::now();
    driver.join();
    EXPECT_LT(ended - stopped, 1s); // not the 5 s the reply is awaited
    EXPECT_EQ(lines(), std::vector<QString>{"FAIL 356871044629016 @/ttyUSB1 interrupted"});
    EXPECT_EQ(there.requests(), std::vector<std::string>{});
}

// A port that opens and then fails (here: its speed refused; under load, an
// adapter that vanishes at once) is closed, and the next device is done.
TEST_F(StationTest, APortThatFailsAsItOpensIsLetGo) {
    devsim::PtySimulator first(path("ports/dev1").toStdString());
    devsim::PtySimulator second(path("ports/dev2").toStdString());
    ASSERT_TRUE(first.start() && second.start());
    const int files_before = open_files();
    Options o = options(path("ports/dev*"));
    o.settings.speed = 0; // refused by the port before the line is used
    o.speeds = {};
    {
        Station station(book_, o);
        int done = 0;
        EXPECT_EQ(station.run([&](const reg::Record&) {
            if (++done == 2) {
                station.stop();
            }
        }),
                  "");
    }
    EXPECT_EQ(open_files(), files_before);
    const std::vector<QString> got = lines();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].startsWith("FAIL - @/ports/dev1 port: ")) << got[0].toStdString();
    EXPECT_TRUE(got[1].startsWith("FAIL - @/ports/dev2 port: ")) << got[1].toStdString();
    EXPECT_FALSE(got[1].contains("vec otvoren")) << got[1].toStdString();
}

// Ports given by their Windows names: a port there at the start is taken
// when named, left alone when only a pattern matches it; a named port the
// list lacks is taken when it is there; a port that no name or pattern
// covers is left alone.
TEST_F(StationTest, TakesPortsByNameAndPattern) {
    testing::MadeUpPorts machine;
    machine.plug("COM1", false);
    machine.plug("COM3", false);
    machine.hidden = {"COM6"};
    Options o = options("COM3, COM6,com1*");
    o.ports = &machine;
    Station station(book_, o);
    QSemaphore done;
    std::thread driver([&] {
        if (done.tryAcquire(2, 30000)) {
            machine.plug("COM4");
            machine.plug("COM12");
            done.tryAcquire(1, 30000);
        }
        station.stop();
    });
    EXPECT_EQ(station.run([&](const reg::Record&) { done.release(); }), "");
    driver.join();
    EXPECT_EQ(lines(), (std::vector<QString>{"FAIL - COM3 port: Nema takvog uredjaja.",
                                             "FAIL - COM6 port: Nema takvog uredjaja.",
                                             "FAIL - COM12 port: Nema takvog uredjaja."}));
}

// tessal-cli.exe's station under Wine, when TESSAL_WINE_CLI names it: two
// devices come as COM7 and COM8 (links in the Wine prefix's dosdevices folder
// to the simulators) while it runs, and Windows' own serial code reaches
// them; the register it wrote is listed by tessal-cli.exe's register command.
TEST_F(StationTest, WindowsStationTakesComPortsAsTheyAppear) {
    const QString exe = qEnvironmentVariable("TESSAL_WINE_CLI");
    if (exe.isEmpty()) {
        GTEST_SKIP() << "TESSAL_WINE_CLI names no tessal-cli.exe";
    }
    const QString devices = qEnvironmentVariable("WINEPREFIX") + "/dosdevices/";
    for (const char* com : {"com7", "com8"}) {
        QFile::remove(devices + com);
    }
    const QStringList wine{"wine", exe};
    QProcess station;
    start(station,
          "station --ports COM7,COM8 --speeds 9600 --profile @profile.json "
          "--register @win/register.sqlite",
          wine);
    std::vector<QString> lines;
    for (const char* com : {"com7", "com8"}) {
        const auto sim = device(com, std::string("35687104462901") + (com[3] == '7' ? "7" : "8"));
        ASSERT_TRUE(QFile::link(path(com), devices + com));
        while (!station.canReadLine() && station.waitForReadyRead(30000)) {
        }
        lines.push_back(QString::fromUtf8(station.readLine()).trimmed().mid(9));
        EXPECT_EQ(sim->with_device([](devsim::Device& d) { return d.parameter("FTPGovUser"); }),
                  "servis");
        QFile::remove(devices + com);
    }
    station.kill(); // Windows has no SIGINT to send it
    station.waitForFinished(20000);
    EXPECT_EQ(lines,
              (std::vector<QString>{"PASS 356871044629017 COM7", "PASS 356871044629018 COM8"}));
    const QStringList listing =
        cli("register list --register @win/register.sqlite", wine).split('|');
    ASSERT_EQ(listing.size(), 3);
    EXPECT_EQ(listing[0], "0");
    QStringList listed;
    for (const QString& line : listing[1].split("\r\n")) {
        listed << line.section(' ', 2); // after the time and the station's name
    }
    EXPECT_EQ(listed, (QStringList{"PASS 356871044629017 COM7", "PASS 356871044629018 COM8", ""}));
}

// A row's texts, from a device or another station, make one line of visible
// characters, in the station's line and in the register's list alike.
TEST_F(StationTest, ARowIsOneLineOfVisibleCharacters) {
    // The row's texts, the station's name as the list shows it, and the line
    // after the time and the station.
    const struct {
        QString imei, station, failed, station_shown, line;
    } rows[] = {
        {"356871044629016", "stanica-1",
         "ftp.user: read back as evil\r\n2026-12-08T10:00:00+01:00 forged PASS 356938035643899 "
         "/dev/ttyUSB9",
         "stanica-1",
         R"(FAIL 356871044629016 /dev/ttyUSB0 ftp.user: read back as evil\r\n)"
         R"(2026-12-08T10:00:00+01:00 forged PASS 356938035643899 /dev/ttyUSB9)"},
        {"356871044629024", QString::fromUtf16(u"stanica\u202e-2"),
         "sim: +CME ERROR: \x1b[2J\x1b]0;owned\x07", R"(stanica\u202E-2)",
         R"(FAIL 356871044629024 /dev/ttyUSB0 sim: +CME ERROR: \x1B[2J\x1B]0;owned\x07)"},
    };
    QStringList listed;
    for (const auto& row : rows) {
        reg::Record r;
        r.time = "2026-12-08T10:00:00+01:00";
        r.port = "/dev/ttyUSB0";
        r.imei = row.imei;
        r.failed = row.failed;
        r.station = row.station;
        r.id = row.imei;
        ASSERT_TRUE(book_.add(r, error_)) << error_.toStdString();
        EXPECT_EQ(outcome_line(r).toStdString(), ("10:00:00 " + row.line).toStdString());
        listed << "2026-12-08T10:00:00+01:00 " + row.station_shown + " " + row.line;
    }
    EXPECT_EQ(cli("register list --register @reg/register.sqlite").toStdString(),
              ("0|" + listed.join('\n') + "\n|").toStdString());
    // The register keeps the exact text.
    EXPECT_EQ((*book_.list({}, error_))[0].failed.toStdString(), rows[0].failed.toStdString());
}

// tessal-cli's commands as a process: exit status, standard output and error.
TEST_F(StationTest, CliRefusesBeforeAnyPortIsTouchedAndStopsOnSignals) {
    const auto sim = device("ports/dev1", "356871044629016");
    const QString station = "station --ports @ports/dev* --register @cli/register.sqlite ";
    const struct {
        QString args, outcome;
    } refusals[] = {
        {station + "--profile @none.json",
         "2||the profile file cannot be read\n@none.json: No such file or directory\n"},
        {station + "--profile @profile.json --speeds 38400,fast",
         "2||--speeds takes bit/s numbers separated by commas\n"},
        {"station --profile @profile.json --register @profile.json/register.sqlite",
         "3||the register's folder cannot be made: @profile.json\n"},
        {"register list --since 7.12.2026", "2||--since takes a date YYYY-MM-DD\n"},
    };
    for (const auto& refusal : refusals) {
        EXPECT_EQ(cli(refusal.args), refusal.outcome);
    }
    EXPECT_EQ(sim->requests(), std::vector<std::string>{});

    // A line for the device, or with --json one whole object; SIGINT ends
    // the run.
    for (const bool json : {false, true}) {
        QProcess process;
        start(process, (json ? "--json " : "") + station + "--profile @profile.json");
        while (!process.canReadLine() && process.waitForReadyRead(20000)) {
        }
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 130);
        const QString out = QString(process.readAllStandardOutput()).replace(dir_.path(), "@");
        const QString err = QString(process.readAllStandardError()).replace(dir_.path(), "@");
        if (!json) {
            EXPECT_EQ(out.mid(9), "PASS 356871044629016 @/ports/dev1\n");
            EXPECT_EQ(err, "waiting for devices; register @/cli/register.sqlite\ninterrupted "
                           "(SIGINT)\n");
            continue;
        }
        const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << out.toStdString();
        const QJsonObject device = QJsonDocument::fromJson(lines[0].toUtf8()).object();
        EXPECT_EQ(device["schema"].toInt(), 1);
        EXPECT_EQ(device["imei"].toString(), "356871044629016");
        EXPECT_EQ(device["result"].toString(), "PASS");
        EXPECT_EQ(lines[1], R"j({"error":{"code":"interrupted","detail":"","message":)j"
                            R"j("interrupted (SIGINT)"},"ok":false,"schema":1})j");
        EXPECT_EQ(err, "");
    }

    const QString listed = cli("register list --register @cli/register.sqlite");
    EXPECT_TRUE(listed.startsWith("0|20") && listed.endsWith("PASS 356871044629016 @ports/dev1\n|"))
        << listed.toStdString();
    EXPECT_EQ(cli("register list --since 2999-01-01 --register @cli/register.sqlite"), "0||");
    EXPECT_EQ(cli("register export --csv @out.csv --register @cli/register.sqlite"),
              "0|@out.csv\n|");
}

// Stations as processes against the test's PostgreSQL server.
class ServerStationTest : public StationTest {
  protected:
    void SetUp() override {
        TESSAL_NEED_PG();
        StationTest::SetUp();
        url_ = testing::pg_database();
    }
    // A station on the ports "NAME/dev*", named NAME, its register at `url`.
    std::unique_ptr<QProcess> station(const QString& name, const QString& url,
                                      const QString& more = "") {
        QDir(dir_.path()).mkpath(name);
        auto process = std::make_unique<QProcess>();
        start(*process, "station --profile @profile.json --ports @" + name +
                            "/dev* --speeds 38400 --station " + name + " --register " + url + more);
        return process;
    }
    // A device on NAME/devD, its IMEI 3568710446 and a number of D.
    std::unique_ptr<devsim::PtySimulator> plug(const QString& name, int d, int imei) {
        return device(QString("%1/dev%2").arg(name).arg(d, 2, 10, QChar('0')),
                      std::to_string(356871044600000 + imei));
    }
    // Its lines once it has told `count` devices, or after 120 s.
    static QStringList lines_of(QProcess& process, int count) {
        QStringList lines;
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
            if (!process.canReadLine() && !process.waitForReadyRead(1000)) {
                continue;
            }
            while (process.canReadLine()) {
                lines << QString(process.readLine()).trimmed();
            }
        }
        return lines;
    }
    static void end(QProcess& process) {
        process.terminate();
        EXPECT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 143) << process.readAllStandardError().toStdString();
    }
    std::vector<reg::Record> central() {
        reg::Register book;
        QString error;
        EXPECT_TRUE(book.open_for_reading(url_, error)) << error.toStdString();
        return book.list({}, error).value_or(std::vector<reg::Record>{});
    }
    QString url_;
};

TEST_F(ServerStationTest, EightStationsAtOnceGiveEveryDeviceOnce) {
    std::vector<std::unique_ptr<devsim::PtySimulator>> devices;
    for (int s = 1; s <= 8; ++s) {
        QDir(dir_.path()).mkpath(QString("s%1").arg(s));
        for (int d = 1; d <= 25; ++d) {
            devices.push_back(plug(QString("s%1").arg(s), d, s * 100 + d));
        }
    }
    std::vector<std::unique_ptr<QProcess>> stations;
    for (int s = 1; s <= 8; ++s) {
        stations.push_back(station(QString("s%1").arg(s), url_));
    }
    for (auto& process : stations) {
        const QStringList lines = lines_of(*process, 25);
        EXPECT_EQ(lines.size(), 25);
        for (const QString& line : lines) {
            EXPECT_TRUE(line.contains(" PASS ") && !line.contains('[')) << line.toStdString();
        }
        end(*process);
    }
    const std::vector<reg::Record> rows = central();
    EXPECT_EQ(rows.size(), 200u);
    QSet<QString> imeis, ids;
    for (const reg::Record& r : rows) {
        imeis.insert(r.imei);
        ids.insert(r.id);
        EXPECT_EQ(r.station, "s" + r.imei.mid(12, 1));
    }
    EXPECT_EQ(imeis.size(), 200);
    EXPECT_EQ(ids.size(), 200);
    EXPECT_TRUE(imeis.contains("356871044600101") && imeis.contains("356871044600825"));
    // Eight writers at once, each its own chain: whole, each signed at the
    // end of its run (its key not trusted yet: no fault, no proof).
    reg::Register book;
    QString error;
    ASSERT_TRUE(book.open_for_reading(url_, error)) << error.toStdString();
    const reg::Verdict v = book.verify({}, error).value_or(reg::Verdict{});
    EXPECT_EQ(v.faults_found, 0) << (v.faults.empty() ? "" : v.faults[0].text.toStdString());
    ASSERT_EQ(v.chains.size(), 8u) << error.toStdString();
    for (const reg::Chain& chain : v.chains) {
        EXPECT_EQ(chain.rows, chain.last) << chain.writer.toStdString();
    }
}

// The server stopped hard while a station works, and started again: the
// rows of the devices done meanwhile wait locally and are sent, each once.
TEST_F(ServerStationTest, AServerStoppedMidRunGetsEveryDeviceOnceInTimeOrder) {
    auto process = station("s1", url_);
    std::vector<std::unique_ptr<devsim::PtySimulator>> devices;
    QStringList lines;
    for (int d = 1; d <= 12; ++d) {
        if (d == 4 || d == 9) {
            ASSERT_TRUE(testing::pg_control(d == 4 ? "halt" : "resume"));
        }
        devices.push_back(plug("s1", d, d));
        lines << lines_of(*process, 1);
    }
    // Sent by the station itself once the server answers.
    std::vector<reg::Record> rows;
    for (int i = 0; i < 300 && (rows = central()).size() < 12; ++i) {
        std::this_thread::sleep_for(100ms);
    }
    end(*process);
    ASSERT_EQ(lines.size(), 12);
    EXPECT_FALSE(lines[2].contains('['));
    EXPECT_TRUE(lines[3].endsWith("[kept locally, 1 waiting]")) << lines[3].toStdString();
    EXPECT_TRUE(lines[7].endsWith("[kept locally, 5 waiting]")) << lines[7].toStdString();
    QStringList imeis;
    for (const reg::Record& r : rows) {
        imeis << r.imei.right(2);
    }
    EXPECT_EQ(imeis.join(' '), "01 02 03 04 05 06 07 08 09 10 11 12");
    // The local register keeps the rows that waited, marked as sent; the
    // checkpoint the station signed as SIGTERM ended it waited for the
    // server it no longer waited for.
    EXPECT_EQ(cli("register sync --register " + url_), "0|1 sent, 0 waiting\n|");
    // The rows that waited kept their places in the station's chain.
    const QString verified = cli("register verify --register " + url_);
    EXPECT_TRUE(verified.startsWith("0|")) << verified.toStdString();
    // A device's IMEI changed by the server's owner is found, by its row.
    ASSERT_EQ(testing::pg_exec("UPDATE devices SET imei = '356871044600099' WHERE imei = "
                               "'356871044600012'",
                               url_),
              "");
    const QString changed = cli("register verify --register " + url_);
    EXPECT_TRUE(changed.startsWith("9|") && changed.contains("does not match its hash") &&
                changed.contains("the register is not whole: 1 fault in "))
        << changed.toStdString();
}

// A server that stops answering while a device's row goes to it: the
// station ends within two seconds of SIGTERM, the row kept locally and sent
// by `register sync` once the server answers.
TEST_F(ServerStationTest, SigtermEndsAStationHeldByAStalledServerKeepingItsRow) {
    testing::TcpProxy proxy(testing::pg_port());
    ASSERT_TRUE(testing::pg_owner_password_file(path("owner-password")));
    const QString stalled = proxy.url(url_) + " --password-file @owner-password";
    auto process = station("s1", stalled);
    std::vector<std::unique_ptr<devsim::PtySimulator>> devices;
    devices.push_back(plug("s1", 1, 1));
    const QStringList first = lines_of(*process, 1);
    ASSERT_EQ(first.size(), 1);
    EXPECT_TRUE(first[0].endsWith(" PASS 356871044600001 " + path("s1/dev01")))
        << first[0].toStdString();
    proxy.freeze(true);
    devices.push_back(plug("s1", 2, 2));
    std::this_thread::sleep_for(2500ms); // the device done, its row on its way
    const auto start = std::chrono::steady_clock::now();
    process->terminate();
    ASSERT_TRUE(process->waitForFinished(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(process->exitCode(), 143) << process->readAllStandardError().toStdString();
    proxy.freeze(false);
    // The device's row and its entry in the book: opened, the profile's
    // three values and the clock, ended; and the run's checkpoint.
    EXPECT_EQ(cli("register sync --register " + stalled), "0|8 sent, 0 waiting\n|");
    EXPECT_EQ(central().size(), 2u);
}

} // namespace
} // namespace tessal::station
