// SPDX-License-Identifier: Apache-2.0
// The exchange and the port operations on a scripted port, as the trace shows them.
#include "link/device_link.h"
#include "link/frame.h"
#include "link/messages.h"
#include "link/port_map.h"
#include "link/qt_serial_port.h"
#include "support/files.h"
#include "support/scripted_port.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <numeric>
#include <regex>

#ifdef _WIN32
#include <QDir>

#include <windows.h>
#endif

namespace tessal::link {
namespace {

using tessal::testing::file_text;
using tessal::testing::ScriptedPort;

// The records of a trace without their time stamps, checked for their form.
std::vector<std::string> masked(const Trace& trace, std::uint64_t from = 0) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    std::vector<std::string> lines;
    for (const TraceRecord& record : trace.records_since(from)) {
        const std::string line = format_record(record);
        EXPECT_TRUE(std::regex_search(line, stamp)) << line;
        lines.push_back(line.substr(24));
    }
    return lines;
}

class LinkTest : public ::testing::Test {
  protected:
    LinkTest() {
        auto owned = std::make_unique<ScriptedPort>(&now);
        port = owned.get();
        link = std::make_unique<DeviceLink>(std::move(owned), [this] { return now; });
        link->set_port_map({{"/dev/ttyUSB0", "/dev/ttyUSB1"}});
        link->set_trace(&trace);
    }
    std::string open(std::uint8_t number = 1, std::int32_t speed = 38400) {
        return link->init_port(number, speed);
    }
    std::int64_t now = 0;
    ScriptedPort* port = nullptr;
    Trace trace;
    std::unique_ptr<DeviceLink> link;
};

// Bytes written as the trace shows them: "02 56 03".
std::string wire(const std::string& hex) {
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 3) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16)));
    }
    return bytes;
}

// Open, exchange, close per outcome.  Each arrival ("|" between them) takes
// 7 ms; "fail" is a failing read.  The "> " records must be what the port got.
TEST_F(LinkTest, EveryOutcomeOfAnExchange) {
    const std::string good = "02 31 2E 32 3E 36 03", v = "> 02 56 39 3A 03  <STX>V9:<ETX>|";
    const std::string got = v + "< " + good + "  <STX>1.2>6<ETX>  (+7 ms)|";
    const std::string to = "- isteklo vreme za odgovor (5000 ms)|- odgovor: TO";
    const struct {
        const char* command;
        const char* result;
        int writes_left;
        std::string arrivals, records;
    } rows[] = {
        {"T", "OK", -1, "06", "> 02 54 3B 3A 03  <STX>T;:<ETX>|< 06  <ACK>  (+7 ms)|- odgovor: OK"},
        {"W", "NOK", -1, "15",
         "> 02 57 38 3A 03  <STX>W8:<ETX>|< 15  <NAK>  (+7 ms)|- odgovor: NOK"},
        {"V", "\xE9", -1, "02 E9 36 31 03",
         v + "< 02 E9 36 31 03  <STX>\\xE961<ETX>  (+7 ms)|> 06  <ACK>|- odgovor: payload 1 bajt"},
        {"", "", -1, "02 3F 3F 03",
         "> 02 3F 3F 03  <STX>?\?<ETX>|< 02 3F 3F 03  <STX>?\?<ETX>  (+7 ms)|> 06  <ACK>|- "
         "odgovor: payload 0 bajtova"},
        {"V", "CS", -1, "02 31 2E 32 3E 37 03",
         v + "< 02 31 2E 32 3E 37 03  <STX>1.2>7<ETX>  (+7 ms)|> 15  <NAK>|- odgovor: CS"},
        {"V", "NOK", -1, "02 03", v + "< 02 03  <STX><ETX>  (+7 ms)|- odgovor: NOK"},
        {"V", "OK", -1, "06 02 31 2E|32 3E 36 03",
         v + "< 06 02 31 2E  <ACK><STX>1.  (+7 ms)|- odgovor: OK"},
        {"V", "CS", -1, "78 79 " + good,
         v + "< 78 79 " + good + "  xy<STX>1.2>6<ETX>  (+7 ms)|> 15  <NAK>|- odgovor: CS"},
        {"V", "TO", -1, good + " 0A", v + "< " + good + " 0A  <STX>1.2>6<ETX><LF>  (+7 ms)|" + to},
        {"AAT+CSQ", "TO", -1, "", "> 02 41 41 54 2B 43 53 51 37 31 03  <STX>AAT+CSQ71<ETX>|" + to},
        {"V", "1.2", -1, "02 31 2E||32 3E 36 03",
         v + "< 02 31 2E  <STX>1.  (+7 ms)|< 32 3E 36 03  2>6<ETX>  (+21 ms)|> 06  <ACK>|- "
             "odgovor: payload 3 bajta"},
        {"V", "ERja", -1, "02 31 2E|fail", v + "< 02 31 2E  <STX>1.  (+7 ms)|- odgovor: ERja"},
        {"V", "ERja", 0, "", "- odgovor: ERja"},
        {"V", "ERja", 1, good, got + "- odgovor: ERja"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.records);
        now = 0;
        port->writes.clear();
        port->script.clear(); // what a row left unread
        port->writes_left = row.writes_left;
        port->chunk_delay_ms = 7;
        for (std::size_t at = 0; at < row.arrivals.size();) {
            const std::string bytes = row.arrivals.substr(at, row.arrivals.find('|', at) - at);
            bytes == "fail" ? port->fail_next_read() : port->arrive(wire(bytes));
            at += bytes.size() + 1;
        }
        const std::uint64_t first = trace.end();
        ASSERT_EQ(open(), "OK");
        EXPECT_EQ(link->get_frame(row.command), row.result);
        link->close_port();
        std::string records, sent;
        for (const std::string& line : masked(trace, first)) {
            records += (records.empty() ? "" : "|") + line;
            sent += line.starts_with("> ") ? wire(line.substr(2, line.find("  ") - 1)) : "";
        }
        EXPECT_EQ(records,
                  "- port otvoren /dev/ttyUSB0 38400,N,8,1|" + row.records + "|- port zatvoren");
        EXPECT_EQ(std::accumulate(port->writes.begin(), port->writes.end(), std::string()), sent);
    }
}

TEST_F(LinkTest, WaitEndsAtTheTimeOutReadAfreshOrWhenCutShort) {
    ASSERT_EQ(open(), "OK");
    EXPECT_EQ(link->get_frame("V"), "TO");
    EXPECT_EQ(now, 5000);
    link->constants().reply_timeout_ms = 1000;
    EXPECT_EQ(link->get_frame("T"), "TO");
    EXPECT_EQ(now, 6000);
    port->on_wait = [&] { link->constants().reply_timeout_ms = 0; }; // while it waits
    port->arrive("");
    EXPECT_EQ(link->get_frame("V"), "TO");
    link->constants().reply_timeout_ms = 5000;
    port->on_wait = [&] { link->cancel(); };
    port->arrive("");
    EXPECT_EQ(link->get_frame("V"), "ERja");
    EXPECT_EQ(port->wakes, 1);
    EXPECT_EQ(now, 6000);
    EXPECT_EQ(masked(trace).back(), "- odgovor: ERja");
    EXPECT_EQ(masked(trace).end()[-2], "- cekanje prekinuto");
    // Stopped stays stopped: nothing more goes out until traffic is allowed
    // again.
    const std::size_t written = port->writes.size();
    EXPECT_EQ(link->get_frame("E"), "ERja");
    EXPECT_EQ(open(), "PO");
    EXPECT_EQ(port->writes.size(), written);
    link->clear_cancel();
    port->arrive("\x06");
    EXPECT_EQ(link->get_frame("E"), "OK");
}

TEST_F(LinkTest, ASecretShowsAsAsterisksInTheTraceAndGoesOutWhole) {
    ASSERT_EQ(open(), "OK");
    const std::uint64_t from = trace.end();
    port->arrive(build_frame("AT+CPIN =12\r\nOK"));
    EXPECT_EQ(link->get_frame("AAT+CPIN =12", 10), "AT+CPIN =12\r\nOK");
    EXPECT_EQ(port->writes[0], "\002AAT+CPIN =1241\003"); // the device gets the PIN
    EXPECT_EQ(masked(trace, from),
              (std::vector<std::string>{
                  "> 02 41 41 54 2B 43 50 49 4E 20 3D 2A 2A 34 31 03  <STX>AAT+CPIN =**41<ETX>",
                  "< 02 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A 0D 0A 2A 2A 2A 2A 03  "
                  "<STX>***********<CR><LF>****<ETX>  (+0 ms)",
                  "> 06  <ACK>", "- odgovor: payload 15 bajtova"}));
    port->arrive("\x06");
    EXPECT_EQ(link->get_frame("V"), "OK"); // the next exchange is shown whole
    EXPECT_EQ(masked(trace).end()[-3], "> 02 56 39 3A 03  <STX>V9:<ETX>");
}

// Opened once, configured each time; a reply queued as the request is written is kept.
TEST_F(LinkTest, InitPortSelectsOpensAndConfigures) {
    EXPECT_EQ(link->get_frame("V"), "ERja"); // not open
    EXPECT_EQ(link->close_port(), "");       // closed already: nothing happens
    EXPECT_EQ(open(1, 28800), "OK");
    EXPECT_EQ(open(1, 9600), "OK"); // stays open, configured again
    EXPECT_EQ(port->selected, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB0"}));
    EXPECT_EQ(port->open_calls, 1);
    EXPECT_EQ(port->applied, (std::vector<std::string>{"28800,N,8,1", "9600,N,8,1"}));
    port->input_queue = "stale";
    port->on_write = [this](const std::string& bytes) {
        port->input_queue += bytes == "\002V9:\003" ? "\0021.2>6\003" : "";
    };
    EXPECT_EQ(link->get_frame("V"), "1.2");
    port->fail_close = true;
    EXPECT_EQ(link->close_port(), "PO");
    EXPECT_EQ(masked(trace).back(), "- greska pri zatvaranju porta");
}

#ifndef Q_OS_WIN
// Com3 has no key: it reaches the machine's first adapter once one is there.
// The ports are read again when the device a number reached has gone.
TEST_F(LinkTest, AGoneDeviceMakesTheLinkReadThePortsAgain) {
    tessal::testing::MadeUpPorts machine;
    link->set_port_enumerator(&machine);
    port->absent = {"/dev/ttyS2"};
    EXPECT_EQ(open(3), "PO");
    machine.list = {{"/dev/ttyUSB7", "FT232R", "A10K3", true}}; // plugged in now
    EXPECT_EQ(open(3), "OK");
    EXPECT_EQ(open(3), "OK");
    EXPECT_EQ(port->selected, (std::vector<std::string>{"/dev/ttyS2", "/dev/ttyS2", "/dev/ttyUSB7",
                                                        "/dev/ttyUSB7"}));
    EXPECT_EQ(machine.reads, 3); // not read again while the device is there
}
#endif

TEST_F(LinkTest, PortFailuresGivePoAndTheirCause) {
    using Kind = PortFault::Kind;
    const std::string denied = "Pristup odbijen: dodajte korisnika u grupu ";
    const struct {
        std::uint8_t number;
        bool fail_open;
        Kind kind;
        std::string text, cause; // the group or the system's text; the cause shown
    } rows[] = {
        {9, false, Kind::None, "", "Nijedan uredjaj nije dodeljen ovom broju porta."},
        {2, true, Kind::NoDevice, "", "Nema takvog uredjaja."},
        {2, true, Kind::PermissionDenied, "dialout",
         denied + "dialout (sudo usermod -aG dialout $USER), pa se ponovo prijavite."},
        {2, true, Kind::PermissionDenied, "",
         denied + "koja je vlasnik uredjaja, pa se ponovo prijavite."},
        {2, true, Kind::InUse, "", "Port je zauzet: koristi ga drugi program."},
        {2, false, Kind::SpeedRefused, "", "Port ne prihvata brzinu 28800 bps."},
        {2, false, Kind::Other, "I/O error", "Greska porta: I/O error"},
        {2, false, Kind::Other, "", "Greska porta."},
    };
    for (const auto& row : rows) {
        link->close_port();
        port->fail_open = row.fail_open;
        port->fail_settings = !row.fail_open;
        port->fault = {row.kind, row.kind == Kind::Other ? "" : row.text,
                       row.kind == Kind::Other ? row.text : ""};
        EXPECT_EQ(open(row.number, 28800), "PO");
        ASSERT_TRUE(link->last_port_failure());
        const bool device = row.number == 2;
        EXPECT_EQ(port_failure_details(*link->last_port_failure()),
                  (device ? "Uredjaj: /dev/ttyUSB1\n" : "") + row.cause);
        EXPECT_EQ(masked(trace).back(),
                  device ? "- greska pri otvaranju porta /dev/ttyUSB1: " + row.cause
                         : "- greska pri otvaranju porta: broj porta nema uredjaj");
    }
    // A port that opened but refused its settings stays open for close_port.
    EXPECT_TRUE(link->is_open());
    EXPECT_EQ(link->close_port(), "");
    EXPECT_FALSE(link->is_open());
}

TEST(Trace, BytesAsHexAndTextAndCounts) {
    const std::string bytes("\x00\x01\x04\x09\x0D\x0E\x18\x1B\x1F\x7F\x80\xE9\xFF A~\\", 17);
    EXPECT_EQ(trace_hex(bytes) + "  " + trace_text(bytes),
              "00 01 04 09 0D 0E 18 1B 1F 7F 80 E9 FF 20 41 7E 5C  <NUL><SOH><EOT><HT><CR><SO><CAN>"
              "<ESC><US><DEL>\\x80\\xE9\\xFF A~\\");
    std::string counts;
    for (std::size_t count : {1, 2, 4, 5, 11, 12, 21, 22, 111, 1024}) {
        counts += byte_count_text(count) + "|";
    }
    EXPECT_EQ(counts, "1 bajt|2 bajta|4 bajta|5 bajtova|11 bajtova|12 bajtova|21 bajt|22 bajta|"
                      "111 bajtova|1024 bajta|");
}

// Records take 41 bytes each; the file starts 60 bytes short of 1 MiB.
TEST(Trace, FileIsRenamedAtOneMebibyteAndMayBeUnwritable) {
    QTemporaryDir dir;
    const std::filesystem::path file = dir.filePath("rvt_trace.txt").toStdString();
    std::ofstream(file, std::ios::binary) << std::string(1048576 - 60, 'x');
    std::ofstream(dir.filePath("rvt_trace.1.txt").toStdString()) << "older trace";
    Trace trace(file);
    for (int i = 0; i < 3; ++i) {
        trace.port_closed(); // the first fits, the second is written after the rename
        trace.flush_file();
        EXPECT_EQ(file_text(dir.filePath("rvt_trace.1.txt").toStdString()).size(),
                  i == 0 ? 11U : 1048557U);
    }
    EXPECT_EQ(file_text(file).size(), 82U);

    std::filesystem::create_directory(dir.filePath("blocked").toStdString());
    Trace blocked(dir.filePath("blocked").toStdString()); // a folder: only the file is lost
    blocked.port_closed();
    blocked.flush_file();
    EXPECT_EQ(masked(blocked), std::vector<std::string>{"- port zatvoren"});

    // A folder that does not exist yet (the user's settings folder before its
    // first save) is made: the first session's lines are kept.
    const std::string fresh = dir.filePath("config/Tessal/rvt_trace.txt").toStdString();
    Trace first(fresh);
    first.port_closed();
    first.flush_file();
    EXPECT_EQ(file_text(fresh).size(), 41U);
}

#ifdef _WIN32
// Windows: a viewer that holds the trace open keeps it from being renamed;
// its lines are copied aside and the file emptied, so none is lost.
TEST(Trace, FileHeldByAViewerIsCopiedAsideAndEmptied) {
    QTemporaryDir dir;
    const std::filesystem::path file = dir.filePath("rvt_trace.txt").toStdWString();
    std::ofstream(file, std::ios::binary) << std::string(1048576 - 60, 'x');
    const HANDLE viewer =
        CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    Trace trace(file);
    trace.port_closed(); // fits
    trace.port_closed(); // after the rotation
    trace.flush_file();
    CloseHandle(viewer);
    const std::string old = file_text(dir.filePath("rvt_trace.1.txt").toStdWString());
    EXPECT_EQ(old.size(), 1048557U);
    EXPECT_EQ(old.substr(0, 3) + old.substr(old.size() - 17), "xxx- port zatvoren\r\n");
    const std::string now = file_text(file);
    EXPECT_EQ(now.size() > 24 ? now.substr(24) : now, "- port zatvoren\r\n");
}

// Windows: the cause of a port that does not open, on the real port: a COM
// name with no port, a port held by another program (here a file held
// open, refused with a sharing violation) and one refused with "access
// denied" (here a folder).
TEST(QtSerialPortOnWindows, OpenFailuresGiveTheirCause) {
    QTemporaryDir dir;
    const auto device = [&dir](const char* name) {
        return "\\\\.\\" + QDir::toNativeSeparators(dir.filePath(name)).toStdString();
    };
    const std::filesystem::path held = dir.filePath("held").toStdWString();
    std::ofstream(held) << "x";
    const HANDLE holder =
        CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    QDir(dir.path()).mkdir("folder");
    DeviceLink link(std::make_unique<QtSerialPort>());
    link.set_port_map({{"COM199", device("held"), device("folder")}});
    const std::string in_use = "\nPort je zauzet: koristi ga drugi program.";
    const std::string details[] = {"Uredjaj: COM199\nNema takvog uredjaja.",
                                   "Uredjaj: " + device("held") + in_use,
                                   "Uredjaj: " + device("folder") + in_use};
    for (std::uint8_t n = 1; n <= 3; ++n) {
        std::uint8_t number = n;
        std::int32_t speed = 38400;
        EXPECT_EQ(link.init_port(number, speed), "PO");
        ASSERT_TRUE(link.last_port_failure());
        EXPECT_EQ(port_failure_details(*link.last_port_failure()), details[n - 1]);
    }
    CloseHandle(holder);
}
#endif

// Devices sort in natural order; the line's settings are read from their text.
TEST(PortTexts, DeviceOrderAndLineSettings) {
    EXPECT_TRUE(natural_less("ttyUSB01", "ttyUSB2") && natural_less("ttyUSB2", "ttyUSB3") &&
                !natural_less("ttyUSB10", "ttyUSB9") && !natural_less("ttyUSB2", "ttyUSB02"));
    LineSettings line;
    ASSERT_TRUE(parse_line_settings("28800,N,8,1", line));
    EXPECT_EQ(std::tuple(line.speed, line.parity, line.data_bits, line.stop_bits),
              std::tuple(28800, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop));
    ASSERT_TRUE(parse_line_settings("9600,e,7,2", line));
    EXPECT_EQ(std::tuple(line.speed, line.parity, line.data_bits, line.stop_bits),
              std::tuple(9600, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop));
    EXPECT_FALSE(parse_line_settings("0,N,8,1", line) || parse_line_settings("9600,N,8", line));
}

} // namespace
} // namespace tessal::link
