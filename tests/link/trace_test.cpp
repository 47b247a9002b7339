#include "link/device_link.h"
#include "link/trace.h"
#include "support/scripted_port.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>

namespace tessal::link {
namespace {

using tessal::testing::ScriptedPort;

// The records without their time stamp, which is checked for its form.
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

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    const char* name;
    std::function<void(ScriptedPort&)> script;
    const char* command;
    const char* result;
    std::vector<std::string> lines;
};

// One transaction per outcome, as the console runs it: open, exchange,
// close.  Each pass of the wait takes 7 ms of the link's clock.
TEST(TraceTest, RecordsInOrderForEveryOutcome) {
    const std::string opened = "- port otvoren /dev/ttyUSB0 38400,N,8,1";
    const std::string closed = "- port zatvoren";
    const std::string version = "> 02 56 39 3A 03  <STX>V9:<ETX>";
    const std::vector<Outcome> outcomes{
        {"acknowledgement",
         [](ScriptedPort& p) { p.arrive("\x06"); },
         "T",
         "OK",
         {opened, "> 02 54 3B 3A 03  <STX>T;:<ETX>", "< 06  <ACK>  (+7 ms)", "- odgovor: OK",
          closed}},
        {"refusal",
         [](ScriptedPort& p) { p.arrive("\x15"); },
         "V",
         "NOK",
         {opened, version, "< 15  <NAK>  (+7 ms)", "- odgovor: NOK", closed}},
        {"good frame",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.2>6\x03");
         },
         "V",
         "1.2",
         {opened, version, "< 02 31 2E 32 3E 36 03  <STX>1.2>6<ETX>  (+7 ms)", "> 06  <ACK>",
          "- odgovor: payload 3 bajta", closed}},
        {"bad checksum",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.2>7\x03");
         },
         "V",
         "CS",
         {opened, version, "< 02 31 2E 32 3E 37 03  <STX>1.2>7<ETX>  (+7 ms)", "> 15  <NAK>",
          "- odgovor: CS", closed}},
        {"frame too short",
         [](ScriptedPort& p) { p.arrive("\x02\x03"); },
         "V",
         "NOK",
         {opened, version, "< 02 03  <STX><ETX>  (+7 ms)", "- odgovor: NOK", closed}},
        {"time-out",
         [](ScriptedPort&) {},
         "V",
         "TO",
         {opened, version, "- isteklo vreme za odgovor (5000 ms)", "- odgovor: TO", closed}},
        {"port that will not open",
         [](ScriptedPort& p) {
             p.fail_open = true;
             p.fault = {link::PortFault::Kind::PermissionDenied, "dialout", "Permission denied"};
         },
         "V",
         "PO",
         {"- greska pri otvaranju porta /dev/ttyUSB0: Pristup odbijen: dodajte korisnika u grupu "
          "dialout (sudo usermod -aG dialout $USER), pa se ponovo prijavite.",
          closed}},
        {"hang-up in the middle of a reply",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.");
             p.fail_next_read();
         },
         "V",
         "ERja",
         {opened, version, "< 02 31 2E  <STX>1.  (+7 ms)", "- odgovor: ERja", closed}},
        {"reply split across reads",
         [](ScriptedPort& p) {
             p.arrive("\x02"
                      "1.");
             p.arrive("");
             p.arrive("2>6\x03");
         },
         "V",
         "1.2",
         {opened, version, "< 02 31 2E  <STX>1.  (+7 ms)", "< 32 3E 36 03  2>6<ETX>  (+21 ms)",
          "> 06  <ACK>", "- odgovor: payload 3 bajta", closed}},
    };
    for (const Outcome& outcome : outcomes) {
        SCOPED_TRACE(outcome.name);
        std::int64_t now = 0;
        auto owned = std::make_unique<ScriptedPort>(&now);
        ScriptedPort& port = *owned;
        DeviceLink link(std::move(owned), [&now] { return now; });
        PortMap map;
        map.devices[0] = "/dev/ttyUSB0";
        link.set_port_map(map);
        port.chunk_delay_ms = 7;
        Trace trace;
        link.set_trace(&trace);
        outcome.script(port);

        std::uint8_t number = 1;
        std::int32_t speed = 38400;
        std::string result = link.init_port(number, speed);
        if (result == "OK") {
            result = link.get_frame(outcome.command);
        }
        link.close_port();
        EXPECT_EQ(result, outcome.result);
        EXPECT_EQ(masked(trace), outcome.lines);
    }
}

TEST(TraceTest, BytesAsHexAndText) {
    const std::string bytes("\x00\x01\x02\x03\x04\x06\x09\x0A\x0D\x15\x1B\x1F\x7F\x80\xE9\xFF A~\\",
                            20);
    EXPECT_EQ(trace_hex(bytes), "00 01 02 03 04 06 09 0A 0D 15 1B 1F 7F 80 E9 FF 20 41 7E 5C");
    EXPECT_EQ(trace_text(bytes),
              "<NUL><SOH><STX><ETX><EOT><ACK><HT><LF><CR><NAK><ESC><US><DEL>\\x80\\xE9\\xFF A~\\");
    EXPECT_EQ(trace_hex(""), "");
    for (const auto& [count, text] :
         std::vector<std::pair<std::size_t, std::string>>{{0, "0 bajtova"},
                                                          {1, "1 bajt"},
                                                          {3, "3 bajta"},
                                                          {12, "12 bajtova"},
                                                          {21, "21 bajt"},
                                                          {111, "111 bajtova"},
                                                          {1024, "1024 bajta"}}) {
        EXPECT_EQ(byte_count_text(count), text);
    }
}

TEST(TraceTest, FileTakesTheLinesAndIsRenamedAtOneMebibyte) {
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    const std::filesystem::path file = folder / "rvt_trace.txt";
    const std::filesystem::path rotated = folder / "rvt_trace.1.txt";
    // 60 bytes short of 1 MiB; every record below takes 41 bytes with its
    // line end.
    std::ofstream(file, std::ios::binary) << std::string(1048576 - 60, 'x');
    std::ofstream(rotated, std::ios::binary) << "older trace";

    Trace trace(file);
    trace.port_closed(); // fits: 1048557 bytes
    trace.flush_file();
    EXPECT_EQ(read_file(rotated), "older trace");
    trace.port_closed(); // would pass 1 MiB: the file is renamed first
    trace.port_closed();
    trace.flush_file();

    EXPECT_EQ(std::filesystem::file_size(rotated), 1048557U);
    const std::string kept = read_file(rotated);
    EXPECT_EQ(kept.substr(kept.size() - 18), " - port zatvoren\r\n");
    const std::string fresh = read_file(file);
    static const std::regex two_lines(
        R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} - port zatvoren\r\n){2})");
    EXPECT_TRUE(std::regex_match(fresh, two_lines)) << fresh;
}

TEST(TraceTest, FileThatCannotBeWrittenCostsOnlyTheFile) {
    QTemporaryDir dir;
    // A folder where the file should be: nothing can be appended to it.
    const std::filesystem::path file =
        std::filesystem::path(dir.path().toStdString()) / "rvt_trace.txt";
    std::filesystem::create_directory(file);

    std::int64_t now = 0;
    auto owned = std::make_unique<ScriptedPort>(&now);
    ScriptedPort& port = *owned;
    DeviceLink link(std::move(owned), [&now] { return now; });
    Trace trace(file);
    link.set_trace(&trace);
    std::uint8_t number = 1;
    std::int32_t speed = 38400;
    ASSERT_EQ(link.init_port(number, speed), "OK");
    port.arrive("\x06");
    EXPECT_EQ(link.get_frame("T"), "OK");
    trace.flush_file();
    EXPECT_EQ(masked(trace).size(), 4U);
    EXPECT_TRUE(std::filesystem::is_directory(file));
}

} // namespace
} // namespace tessal::link
