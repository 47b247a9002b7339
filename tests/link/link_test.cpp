// The frame format, the exchange and the port operations against a scripted
// port and a made-up clock, observed as the trace records them.
#include "link/device_link.h"
#include "link/frame.h"
#include "link/messages.h"
#include "link/qt_serial_port.h"
#include "support/scripted_port.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <regex>

namespace tessal::link {
namespace {

using tessal::testing::ScriptedPort;

TEST(Frame, BodiesOnTheWire) {
    for (const auto& [body, wire] : std::vector<std::pair<std::string, std::string>>{
             {"V", "02 56 39 3A 03"},
             {"T", "02 54 3B 3A 03"},
             {"W", "02 57 38 3A 03"},
             {"AAT+CSQ", "02 41 41 54 2B 43 53 51 37 31 03"},
             {"", "02 3F 3F 03"},
             {"\xFF\x01", "02 FF 01 3F 3F 03"}, // the sum wraps to 0
             {"\x80", "02 80 3F 37 03"}}) {     // bytes count as unsigned
        EXPECT_EQ(trace_hex(build_frame(body)), wire) << wire;
    }
}

// The records of a trace without their time stamps, which are checked for
// their form.
std::vector<std::string> masked(const Trace& trace) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    std::uint64_t from = 0;
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
        PortMap map;
        map.devices[0] = "/dev/ttyUSB0";
        map.devices[1] = "/dev/ttyUSB1";
        link->set_port_map(map);
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

struct Exchange {
    const char* name;
    std::function<void(ScriptedPort&)> script;
    const char* command;
    const char* result;
    std::vector<std::string> lines; // between the port's opening and closing
};

// One transaction per outcome as the console runs it: open, exchange, close.
// Each scripted arrival takes 7 ms.  The "> " records must be exactly what
// reached the port.
TEST_F(LinkTest, EveryOutcomeOfAnExchange) {
    const std::string v = "> 02 56 39 3A 03  <STX>V9:<ETX>";
    const std::string good = "< 02 31 2E 32 3E 36 03  <STX>1.2>6<ETX>  (+7 ms)";
    const std::vector<Exchange> rows{
        {"ack",
         [](ScriptedPort& p) { p.arrive("\x06"); },
         "T",
         "OK",
         {"> 02 54 3B 3A 03  <STX>T;:<ETX>", "< 06  <ACK>  (+7 ms)", "- odgovor: OK"}},
        {"nak",
         [](ScriptedPort& p) { p.arrive("\x15"); },
         "V",
         "NOK",
         {v, "< 15  <NAK>  (+7 ms)", "- odgovor: NOK"}},
        {"good frame",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.2>6\x03");
         },
         "V",
         "1.2",
         {v, good, "> 06  <ACK>", "- odgovor: payload 3 bajta"}},
        {"empty payload",
         [](ScriptedPort& p) { p.arrive("\x02??\x03"); },
         "",
         "",
         {"> 02 3F 3F 03  <STX>?\?<ETX>", "< 02 3F 3F 03  <STX>?\?<ETX>  (+7 ms)", "> 06  <ACK>",
          "- odgovor: payload 0 bajtova"}},
        {"bad checksum",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.2>7\x03");
         },
         "V",
         "CS",
         {v, "< 02 31 2E 32 3E 37 03  <STX>1.2>7<ETX>  (+7 ms)", "> 15  <NAK>", "- odgovor: CS"}},
        {"short frame",
         [](ScriptedPort& p) { p.arrive("\x02\x03"); },
         "V",
         "NOK",
         {v, "< 02 03  <STX><ETX>  (+7 ms)", "- odgovor: NOK"}},
        {"ack before the frame ends",
         [](ScriptedPort& p) {
             p.arrive("\x06\x02"
                      "1.");
             p.arrive("2>6\x03");
         },
         "V",
         "OK",
         {v, "< 06 02 31 2E  <ACK><STX>1.  (+7 ms)", "- odgovor: OK"}},
        {"stray bytes",
         [](ScriptedPort& p) {
             p.arrive("xy\x02"
                      "1.2>6\x03");
         },
         "V",
         "CS",
         {v, "< 78 79 02 31 2E 32 3E 36 03  xy<STX>1.2>6<ETX>  (+7 ms)", "> 15  <NAK>",
          "- odgovor: CS"}},
        {"trailing byte",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.2>6\x03\n");
         },
         "V",
         "TO",
         {v, "< 02 31 2E 32 3E 36 03 0A  <STX>1.2>6<ETX><LF>  (+7 ms)",
          "- isteklo vreme za odgovor (5000 ms)", "- odgovor: TO"}},
        {"silence",
         [](ScriptedPort&) {},
         "V",
         "TO",
         {v, "- isteklo vreme za odgovor (5000 ms)", "- odgovor: TO"}},
        {"split reply",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.");
             p.arrive("");
             p.arrive("2>6\x03");
         },
         "V",
         "1.2",
         {v, "< 02 31 2E  <STX>1.  (+7 ms)", "< 32 3E 36 03  2>6<ETX>  (+21 ms)", "> 06  <ACK>",
          "- odgovor: payload 3 bajta"}},
        {"hang-up mid reply",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.");
             p.fail_next_read();
         },
         "V",
         "ERja",
         {v, "< 02 31 2E  <STX>1.  (+7 ms)", "- odgovor: ERja"}},
        {"request not written",
         [](ScriptedPort& p) { p.writes_left = 0; },
         "V",
         "ERja",
         {"- odgovor: ERja"}},
        {"acknowledgement not written",
         [](ScriptedPort& p) {
             p.writes_left = 1;
             p.arrive("\x02"
                      "1.2>6\x03");
         },
         "V",
         "ERja",
         {v, good, "- odgovor: ERja"}},
    };
    for (const Exchange& row : rows) {
        SCOPED_TRACE(row.name);
        now = 0;
        port->writes.clear();
        port->script.clear();
        port->writes_left = -1;
        port->chunk_delay_ms = 7;
        row.script(*port);
        const std::uint64_t first = trace.end();
        ASSERT_EQ(open(), "OK");
        EXPECT_EQ(link->get_frame(row.command), row.result);
        link->close_port();
        std::vector<std::string> expected{"- port otvoren /dev/ttyUSB0 38400,N,8,1"};
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        expected.push_back("- port zatvoren");
        std::vector<std::string> lines = masked(trace);
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(first));
        EXPECT_EQ(lines, expected);
        std::string sent;
        for (const std::string& line : row.lines) {
            if (line.starts_with("> ")) {
                sent += (sent.empty() ? "" : " ") + line.substr(2, line.find("  ") - 2);
            }
        }
        std::string written;
        for (const std::string& bytes : port->writes) {
            written += bytes;
        }
        EXPECT_EQ(trace_hex(written), sent);
    }
}

TEST_F(LinkTest, TimeOutIsReadAfreshOnEveryPass) {
    ASSERT_EQ(open(), "OK");
    EXPECT_EQ(link->get_frame("V"), "TO");
    EXPECT_EQ(now, 5000);
    link->constants().reply_timeout_ms = 1000;
    EXPECT_EQ(link->get_frame("T"), "TO");
    EXPECT_EQ(now, 6000);
    // Lowered to nothing while the exchange waits: it ends at once.
    link->constants().reply_timeout_ms = 5000;
    port->on_wait = [&] { link->constants().reply_timeout_ms = 0; };
    port->arrive("");
    EXPECT_EQ(link->get_frame("V"), "TO");
    EXPECT_EQ(now, 6000);
}

TEST_F(LinkTest, ReplyQueuedWhileTheRequestIsWrittenIsKept) {
    ASSERT_EQ(open(), "OK");
    port->input_queue = "stale";
    port->on_write = [this](const std::string& bytes) {
        if (bytes == "\x02V9:\x03") {
            port->input_queue += "\x02"
                                 "1.2>6\x03";
        }
    };
    EXPECT_EQ(link->get_frame("V"), "1.2");
}

TEST_F(LinkTest, CutShortWaitEndsAtOnceWithErja) {
    ASSERT_EQ(open(), "OK");
    port->arrive("");
    port->on_wait = [&] { link->cancel_wait(); };
    EXPECT_EQ(link->get_frame("V"), "ERja");
    EXPECT_EQ(port->wakes, 1);
    EXPECT_EQ(now, 0);
    EXPECT_EQ(masked(trace)[2], "- cekanje prekinuto");
    link->cancel_wait(); // nothing waits: no effect
    port->arrive("\x06");
    EXPECT_EQ(link->get_frame("E"), "OK");
}

TEST_F(LinkTest, PortCallsDuringAWaitAreRefused) {
    ASSERT_EQ(open(), "OK");
    std::vector<std::string> nested;
    port->on_wait = [&] {
        EXPECT_TRUE(link->exchange_running());
        nested = {link->get_frame("X"), open(2, 9600), link->close_port()};
    };
    port->arrive("\x06");
    EXPECT_EQ(link->get_frame("E"), "OK");
    EXPECT_EQ(nested, (std::vector<std::string>{"ERja", "PO", "PO"}));
    EXPECT_EQ(port->writes, std::vector<std::string>{"\x02"
                                                     "E:;\x03"});
    EXPECT_EQ(port->applied.size(), 1U);
    EXPECT_TRUE(link->is_open());
    EXPECT_FALSE(link->exchange_running());
}

TEST_F(LinkTest, InitPortSelectsOpensAndConfigures) {
    EXPECT_EQ(link->get_frame("V"), "ERja"); // not open
    EXPECT_TRUE(port->writes.empty());
    EXPECT_EQ(link->close_port(), ""); // closed already: nothing happens
    EXPECT_EQ(port->close_calls, 0);
    EXPECT_EQ(open(1, 28800), "OK");
    EXPECT_EQ(open(1, 9600), "OK"); // stays open, configured again
    EXPECT_EQ(port->selected, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB0"}));
    EXPECT_EQ(port->open_calls, 1);
    EXPECT_EQ(port->applied, (std::vector<std::string>{"28800,N,8,1", "9600,N,8,1"}));
    EXPECT_FALSE(link->last_port_failure());
    port->fail_close = true;
    EXPECT_EQ(link->close_port(), "PO");
    EXPECT_EQ(masked(trace).back(), "- greska pri zatvaranju porta");
}

TEST_F(LinkTest, PortFailuresGivePoAndTheirCause) {
    using Kind = PortFault::Kind;
    const std::string denied = "Pristup odbijen: dodajte korisnika u grupu ";
    const struct {
        std::uint8_t number;
        bool fail_open;
        PortFault fault;
        std::string cause;
    } rows[] = {
        {0, false, {}, "Nijedan uredjaj nije dodeljen ovom broju porta."},
        {9, false, {}, "Nijedan uredjaj nije dodeljen ovom broju porta."},
        {2, true, {Kind::NoDevice, {}, {}}, "Nema takvog uredjaja."},
        {2,
         true,
         {Kind::PermissionDenied, "dialout", "x"},
         denied + "dialout (sudo usermod -aG dialout $USER), pa se ponovo prijavite."},
        {2,
         true,
         {Kind::PermissionDenied, {}, {}},
         denied + "koja je vlasnik uredjaja, pa se ponovo prijavite."},
        {2, true, {Kind::InUse, {}, {}}, "Port je zauzet: koristi ga drugi program."},
        {2, false, {Kind::SpeedRefused, {}, {}}, "Port ne prihvata brzinu 28800 bps."},
        {2, false, {Kind::Other, {}, "I/O error"}, "Greska porta: I/O error"},
        {2, false, {Kind::Other, {}, {}}, "Greska porta."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cause);
        link->close_port();
        port->fail_open = row.fail_open;
        port->fail_settings = !row.fail_open;
        port->fault = row.fault;
        EXPECT_EQ(open(row.number, 28800), "PO");
        ASSERT_TRUE(link->last_port_failure());
        EXPECT_EQ(link->last_port_failure()->speed, 28800);
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
    const std::string bytes("\x00\x01\x02\x03\x04\x06\x09\x0A\x0D\x15\x1B\x1F\x7F\x80\xE9\xFF A~\\",
                            20);
    EXPECT_EQ(trace_hex(bytes), "00 01 02 03 04 06 09 0A 0D 15 1B 1F 7F 80 E9 FF 20 41 7E 5C");
    EXPECT_EQ(trace_text(bytes),
              "<NUL><SOH><STX><ETX><EOT><ACK><HT><LF><CR><NAK><ESC><US><DEL>\\x80\\xE9\\xFF A~\\");
    for (const auto& [count, text] :
         std::vector<std::pair<std::size_t, std::string>>{{0, "0 bajtova"},
                                                          {1, "1 bajt"},
                                                          {3, "3 bajta"},
                                                          {4, "4 bajta"},
                                                          {5, "5 bajtova"},
                                                          {12, "12 bajtova"},
                                                          {21, "21 bajt"},
                                                          {111, "111 bajtova"},
                                                          {1024, "1024 bajta"}}) {
        EXPECT_EQ(byte_count_text(count), text);
    }
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Trace, FileIsRenamedAtOneMebibyteAndMayBeUnwritable) {
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    const std::filesystem::path file = folder / "rvt_trace.txt";
    const std::filesystem::path rotated = folder / "rvt_trace.1.txt";
    // 60 bytes short of 1 MiB; every record below takes 41 bytes with its
    // line end.
    std::ofstream(file, std::ios::binary) << std::string(1048576 - 60, 'x');
    std::ofstream(rotated, std::ios::binary) << "older trace";
    {
        Trace trace(file);
        trace.port_closed(); // fits: 1048557 bytes
        trace.flush_file();
        EXPECT_EQ(read_file(rotated), "older trace");
        trace.port_closed(); // would pass 1 MiB: the file is renamed first
        trace.port_closed();
        trace.flush_file();
    }
    const std::string kept = read_file(rotated);
    EXPECT_EQ(kept.size(), 1048557U);
    EXPECT_EQ(kept.substr(kept.size() - 18), " - port zatvoren\r\n");
    static const std::regex two_lines(
        R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} - port zatvoren\r\n){2})");
    EXPECT_TRUE(std::regex_match(read_file(file), two_lines)) << read_file(file);

    // A folder where the file should be: only the file is lost.
    const std::filesystem::path blocked = folder / "blocked";
    std::filesystem::create_directory(blocked);
    Trace trace(blocked);
    trace.port_closed();
    trace.flush_file();
    EXPECT_EQ(masked(trace), std::vector<std::string>{"- port zatvoren"});
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
}

TEST(Messages, AcknowledgementAndDataSchemes) {
    const std::optional<std::string> none;
    const struct {
        const char* result;
        bool status;
        std::string ack;
        std::optional<std::string> data;
    } rows[] = {
        {"OK", true, "OK!", none},
        {"NOK", true, "Not OK!", "Not OK!"},
        {"TO", true, "Uredjaj ne odgovara !",
         "Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"},
        {"ERja", true, "Greska!", "Greska!"},
        {"CS", false, "CS", "Checksum nije dobar!"},
        {"1.2", false, "1.2", none},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(is_acknowledgement_status(row.result), row.status) << row.result;
        EXPECT_EQ(acknowledgement_message(row.result), row.ack);
        EXPECT_EQ(data_message(row.result), row.data);
    }
    EXPECT_EQ(data_message("TO", kMsgNoReplyClock), "Uredjaj ne odgovara, proverite vezu!");
}

TEST(PortMap, NumbersReachKeysThenFoundDevicesThenDefaults) {
    const std::vector<PortInfo> found{{"/dev/ttyS0", "", "", false},
                                      {"/dev/ttyUSB10", "", "", true},
                                      {"/dev/ttyUSB02", "", "", true},
                                      {"/dev/ttyUSB1", "", "", true},
                                      {"/dev/ttyACM0", "", "", true}};
    const PortMap map = map_ports({"", "/dev/ttyUSB1"}, found);
#ifdef _WIN32
    const std::vector<std::string> expected{"COM1", "/dev/ttyUSB1", "COM3", "COM4",
                                            "COM5", "COM6",         "COM7", "COM8"};
#else
    const std::vector<std::string> expected{"/dev/ttyACM0",  "/dev/ttyUSB1", "/dev/ttyUSB02",
                                            "/dev/ttyUSB10", "/dev/ttyS0",   "/dev/ttyS5",
                                            "/dev/ttyS6",    "/dev/ttyS7"};
#endif
    for (std::uint8_t n = 1; n <= 8; ++n) {
        EXPECT_EQ(port_device(n, map), expected[n - 1U]) << int(n);
    }
    EXPECT_TRUE(natural_less("ttyUSB2", "ttyUSB010") && !natural_less("ttyUSB2", "ttyUSB02"));
    EXPECT_TRUE(natural_less("a", "ab") && !natural_less("ab", "a") && natural_less("a9", "b"));
}

TEST(LineSettings, ParsesTheSettingsTextAndRejectsGarbage) {
    LineSettings line;
    ASSERT_TRUE(parse_line_settings("28800,N,8,1", line));
    EXPECT_EQ(line.speed, 28800);
    EXPECT_EQ(line.parity, QSerialPort::NoParity);
    EXPECT_EQ(line.data_bits, QSerialPort::Data8);
    EXPECT_EQ(line.stop_bits, QSerialPort::OneStop);
    ASSERT_TRUE(parse_line_settings("9600,e,7,2", line));
    EXPECT_EQ(line.parity, QSerialPort::EvenParity);
    EXPECT_EQ(line.data_bits, QSerialPort::Data7);
    EXPECT_EQ(line.stop_bits, QSerialPort::TwoStop);
    for (const char* bad : {"", "0,N,8,1", "-9600,N,8,1", "9600,N,8", "9600,X,8,1", "9600,N,9,1",
                            "9600,N,8,3", "96 00,N,8,1", "99999999999,N,8,1", "9600,N,8,1,"}) {
        EXPECT_FALSE(parse_line_settings(bad, line)) << bad;
    }
}

} // namespace
} // namespace tessal::link
