// SPDX-License-Identifier: Apache-2.0
// Every device operation over a scripted port on the test's own thread: the
// requests it sends, the value it gives the window and the messages the
// technician gets, for each way the device can answer.
#include "device/ftp_replies.h"
#include "device/ftp_verify.h"
#include "device/operations.h"
#include "device/profile.h"
#include "link/frame.h"
#include "support/files.h"
#include "support/scripted_port.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <functional>

namespace tessal::device {
namespace {

using tessal::testing::file_text;
using tessal::testing::ScriptedPort;

// What the device does with each request, in order: the bytes it answers,
// or one of the markers.
const std::string kAck = "\x06", kNak = "\x15", kBadSum = "\x02x79\x03"; // "x" checks as 78
const std::string kSilent = "<silent>", kReadFails = "<read fails>";
const std::string kCancel = "<cancel>";  // traffic stopped while the reply is awaited
const std::string kNoPort = "<no port>"; // alone: the port cannot be opened

const char* const kNone = "(nothing)"; // no value: the window keeps what it shows
const char* const kPortMsg = "Port nije dobro izabran, podesite port i pokusajte ponovo!";
#ifdef _WIN32
const std::string kPort1 = "COM1"; // port 1 without a key
#else
const std::string kPort1 = "/dev/ttyS0";
#endif
const char* const kNoReply = "Uredjaj ne odgovara, proverite vezu i brzinu prenosa!";
const char* const kNoReplyAck = "Uredjaj ne odgovara !";
const char* const kChanged = "OK - Promena parametara izvrsena";
const char* const kNoSeason = "Odaberite letnje ili zimsko racunanje vremena.";

struct Row {
    std::vector<std::string> answers;
    std::string requests;  // request bodies in order, "|" between them
    std::string value;     // what the window gets
    std::string messages;  // shown at the end, "|" between them; "[plain] " marks a plain one
    std::string told = {}; // shown on the way; "@n": after n requests
};

struct Outcome {
    std::string requests, value, messages, told;
    Report report;
};

// The texts with "|" between them.
template <class Texts> std::string joined(const Texts& parts) {
    std::string text;
    for (std::size_t i = 0; i < std::size(parts); ++i) {
        text += (i > 0 ? "|" : "") + parts[i];
    }
    return text;
}

// Two operators, the second one last used.
settings::Settings with_operators() {
    settings::Settings settings;
    settings.gprs_strings[0] = "internet,telenor";
    settings.gprs_strings[1] = "gprswap,mts";
    settings.last_used_index = 1;
    return settings;
}

// An operation and the value it gives the window, as text.
using Op = std::function<std::string(Session&)>;

// Each operation runs over a fresh port that answers each request with the
// next of the row's answers.  The fixture is the front end that shows the
// messages on the way.
class OperationsTest : public ::testing::Test, public Prompter {
  protected:
    static std::string frame(const std::string& payload) { return link::build_frame(payload); }
    // A device's answers to the six FTP reads.
    static std::vector<std::string> holding(const std::string& address, const std::string& user,
                                            const std::string& gprs) {
        return {frame(address), frame(user),   frame("tajna"),
                frame("/izv"),  frame("/kom"), frame(gprs)};
    }
    // Operations that give the window nothing, or a text when they read one.
    static Op doing(std::function<void(Session&)> op) {
        return [op](Session& s) { return op(s), std::string(); };
    }
    // Operations that send: "taken" when the device took what was sent.
    static Op sending(std::function<bool(Session&)> op) {
        return [op](Session& s) { return op(s) ? std::string("taken") : std::string(); };
    }
    static Op reading(std::function<std::optional<std::string>(Session&)> op) {
        return [op](Session& s) { return op(s).value_or(kNone); };
    }

    void tell(const Message& m) override {
        told_.push_back(m.text + " @" + std::to_string(port->requests().size()));
    }
    bool ask(const Message&) override { return true; }

    Outcome run(const std::vector<std::string>& answers, const Op& op, bool front_end = true) {
        now = 0;
        told_.clear();
        auto owned = std::make_unique<ScriptedPort>(&now);
        port = owned.get();
        link = std::make_unique<link::DeviceLink>(std::move(owned), [this] { return now; });
        port->fail_open = !answers.empty() && answers.front() == kNoPort;
        port->on_write = [this, answers, at = std::size_t{0}](const std::string& bytes) mutable {
            if (bytes.size() == 1) {
                return; // the link's ACK or NAK for a reply frame
            }
            const std::string next = at < answers.size() ? answers[at++] : kSilent;
            if (next == kReadFails) {
                port->fail_next_read();
            } else if (next == kCancel) {
                link->cancel();
            } else if (next != kSilent) {
                port->arrive(next);
            }
        };
        Session session(*link, PortChoice{}, front_end ? this : nullptr);
        Outcome out;
        out.value = op(session);
        out.report = session.finish();
        std::vector<std::string> shown;
        for (const Message& m : out.report.messages) {
            shown.push_back((m.kind == Message::Kind::plain ? "[plain] " : "") + m.text);
        }
        out.messages = joined(shown);
        out.requests = joined(port->requests());
        out.told = joined(told_);
        EXPECT_FALSE(link->is_open()) << "the port stayed open";
        return out;
    }

    Outcome expect(const Row& row, const Op& op) {
        Outcome got = run(row.answers, op);
        EXPECT_EQ(got.requests, row.requests);
        EXPECT_EQ(got.value, row.value);
        EXPECT_EQ(got.messages, row.messages);
        EXPECT_EQ(got.told, row.told);
        EXPECT_FALSE(got.report.cancelled);
        return got;
    }
    void expect_rows(const std::vector<Row>& rows, const Op& op) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE("row " + std::to_string(i));
            expect(rows[i], op);
        }
    }

    const settings::Settings settings = with_operators();
    // Operations more than one test runs; what is sent goes as typed.
    const Op version = reading(read_version), imei = reading(read_imei);
    const Op sim_id = reading(read_sim_id);
    const Op signal = [](Session& s) {
        const std::optional<SignalReading> r = read_signal_level(s);
        return r ? r->label + " bar " + std::to_string(r->bar) : kNone;
    };
    const Op clock = [](Session& s) {
        const std::optional<ClockTexts> t = read_clock(s, kSummerOffset);
        return t ? joined(*t) : kNone;
    };
    static Op set(ClockTexts local) {
        return sending([local](Session& s) { return set_clock(s, local, kSummerOffset); });
    }
    const Op password = sending([](Session& s) { return send_password(s, " 12 ab"); });
    const Op sim_id_sent = sending([](Session& s) { return send_sim_id(s, "8938 10"); });
    const Op unlock = doing([](Session& s) { unlock_sim(s, "1234"); });
    const Op jad_ip =
        sending([](Session& s) { return send_jad(s, jad_value_request("IP:", "10.0.0.2")); });
    const Op nothing_ticked = doing([this](Session& s) { send_ftp(s, FtpRows{}, settings); });
    const std::string six = "RFTPGovAddr|RFTPGovUser|RFTPGovPass|RFTP_pathFILES|"
                            "RFtpGovFoldsCommand|RgprsParamVlada"; // the reads
    const std::string ok = frame("\r\nOK\r\n"), wanted = frame("\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    std::int64_t now = 0;
    ScriptedPort* port = nullptr;
    std::unique_ptr<link::DeviceLink> link;
    std::vector<std::string> told_;
};

// What each operation asks, gives the window and says where it differs by
// operation: a data read gives the reply and says nothing, an acknowledged
// command says "OK!", and each words a silent device and a bad checksum its
// own way.  The other failures read alike everywhere (EachFailureSaysItsKind).
// The clock is read as the PC's local time and set in the modem's own.
TEST_F(OperationsTest, EachOperationsRequestValueAndMessage) {
    const Op last = reading(read_last_command);
    const std::string scid = frame("\r\n^SCID: 89381030000012345678\r\n\r\nOK\r\n");
    const std::string cclk = frame("\r\n+CCLK: \"06/03/15,21:59:59\"\r\n\r\nOK\r\n");
    const std::string at = "AAT+CCLK=\"06/";
    // clang-format off
    const std::pair<Op, Row> rows[] = {
        {version, {{frame("RVT 2.17")}, "V", "RVT 2.17", ""}},
        {version, {{kAck}, "V", "OK", ""}},
        {version, {{kSilent}, "V", kNone, kNoReply}},
        {version, {{kBadSum}, "V", kNone, "Checksum nije dobar!"}},
        {last, {{frame("RVT 2.17")}, "W", "RVT 2.17", ""}},
        {sending(restart), {{kAck}, "E", "taken", "OK!"}},
        {sending(restart), {{kSilent}, "E", "", kNoReplyAck}},
        {sending(restart), {{kBadSum}, "E", "", "CS"}},
        {sending(reset), {{kAck}, "X", "taken", "OK!"}},
        {sending(test_link), {{kAck}, "T", "taken", "OK!"}},
        {sending(test_link), {{kNak}, "T", "", "Not OK!"}},
        {imei, {{frame("\r\n351234567890123\r\n\r\nOK\r\n")}, "AAT+GSN", "351234567890123", ""}},
        {imei, {{frame("\r\n351234567890123")}, "AAT+GSN", "", ""}},
        {signal, {{frame("\r\n+CSQ: 21,99\r\n\r\nOK\r\n")}, "AAT+CSQ", "Nivo: 21 bar 63", ""}},
        {signal, {{frame("\r\n+CSQ: 99,99\r\n\r\nOK\r\n")}, "AAT+CSQ", "Nema signala bar 0", ""}},
        {sim_id, {{scid}, "AAT^SCID", "89381030000012345678", ""}},
        {sim_id, {{frame("89381030000012345678\r\n")}, "AAT^SCID", "???", ""}},
        {password, {{kAck}, "p 12 ab", "taken", "OK!"}},
        {sim_id_sent, {{kAck}, "PSIM:8938 10", "taken", "OK!"}},
        {jad_ip, {{kAck}, "PIP:10.0.0.2", "taken", kChanged}},
        {clock, {{cclk}, "AAT+CCLK?", "06|03|15|23|59|59", ""}},
        {clock, {{frame("+CCLK: \"06/03/15\"")}, "AAT+CCLK?", "|||||", ""}},
        {clock, {{frame("\r\nOK\r\n")}, "AAT+CCLK?", kNone, ""}},
        {clock, {{kSilent}, "AAT+CCLK?", kNone, "Uredjaj ne odgovara, proverite vezu!"}},
        {set({"06", "03", "15", "13", "45", "00"}),
         {{kAck}, at + "03/15,11:45:00\"", "taken", "OK!"}},
        {set({"6", "3", "5", "9", "5", "0"}), {{ok}, at + "03/05,07:05:00\"", "taken", "OK"}},
        {set({"06", "13", "15", "01", "45", "00"}),
         {{kAck}, "", "", "Podaci za datum nisu dobro uneti"}},
    };
    // clang-format on
    for (const auto& [op, row] : rows) {
        SCOPED_TRACE(row.requests + " " + row.answers.front());
        expect(row, op);
    }
    // Why the port could not be opened: in the message's details and the
    // report; a port that opened has no such failure.
    const Report report = run({kNoPort}, version).report;
    EXPECT_EQ(report.messages.at(0).details, "Uredjaj: " + kPort1 + "\nGreska porta.");
    EXPECT_EQ(report.port_failure.value_or(link::PortFailure{}).device, kPort1);
    EXPECT_FALSE(run({kNak}, version).report.port_failure);
}

// The station's probe: "V" at a reply time-out of its own, the link's own
// back afterwards whatever the device did; it says nothing but why the port
// did not open (its failures' kinds: EachFailureSaysItsKind).  The link test
// waits a time of its own too.
TEST_F(OperationsTest, ProbeAndLinkTestWaitTheirOwnTimeAndPutTheLinksBack) {
    const Op probe = [](Session& s) { return probe_version(s, 300).value_or(kNone); };
    expect_rows({{{frame("RVT 2.17")}, "V", "RVT 2.17", ""},
                 {{kAck}, "V", kNone, ""},
                 {{kBadSum}, "V", kNone, ""},
                 {{kNoPort}, "", kNone, kPortMsg}},
                probe);
    // A silent device costs the probe's wait; the next request waits five
    // seconds again.
    expect({{kSilent, kSilent}, "V|V", kNone, kNoReply},
           [&](Session& s) { return probe(s), version(s); });
    EXPECT_EQ(now, 300 + 5000);
    // The link test waits one second; the next exchange five again.
    expect({{kSilent, kSilent}, "T|V", kNone, std::string(kNoReplyAck) + "|" + kNoReply},
           [this](Session& s) { return test_link(s), version(s); });
    EXPECT_EQ(now, 1000 + 5000);
    EXPECT_EQ(link->constants().reply_timeout_ms, 5000);
    // A time-out of the caller's own (tessal-cli's --timeout) stays after it.
    expect({{kSilent}, "T", "300", kNoReplyAck}, [this](Session& s) {
        link->constants().reply_timeout_ms = 300;
        test_link(s);
        return std::to_string(link->constants().reply_timeout_ms);
    });
}

// The rows ticked, each with its value.
FtpRows ticked_rows(std::initializer_list<std::pair<FtpParameter, std::string>> values) {
    FtpRows rows;
    for (const auto& [parameter, value] : values) {
        rows.ticked[parameter] = true;
        rows.values[parameter] = value;
    }
    return rows;
}

TEST_F(OperationsTest, FtpReadOverOneOpening) {
    const auto with = [](const char* gprs) { return holding("10.18.5.9", "rvt", gprs); };
    const std::string three = "RFTPGovAddr|RFTPGovUser|RFTPGovPass";
    // Value: rows read, the address boxes, the four texts, the GPRS string, the operator.
    expect_rows(
        {{with("gprswap,mts"), six, "6 10|18|5|9 rvt|tajna|/izv|/kom gprswap,mts op 1", ""},
         {with("vip"), six, "6 10|18|5|9 rvt|tajna|/izv|/kom vip op -", "GPRS parametri su: vip"},
         {{frame("10.18.5.9"), frame("rvt"), kSilent}, three, "2 10|18|5|9 rvt|||  op -", kNoReply},
         {{kNak}, "RFTPGovAddr", "0 ||| |||  op -", "Not OK!"}},
        [&](Session& s) {
            const FtpRead r = read_ftp(s, settings);
            EXPECT_LE(port->open_calls, 1);
            const auto value = [&r](FtpParameter p) { return r.values[p]; };
            const std::vector texts{value(FtpParameter::user), value(FtpParameter::password),
                                    value(FtpParameter::for_send), value(FtpParameter::command)};
            return std::to_string(r.rows_read) + " " +
                   joined(split_address(value(FtpParameter::address))) + " " + joined(texts) + " " +
                   value(FtpParameter::gprs) + " op " +
                   (r.operator_index ? std::to_string(*r.operator_index) : "-");
        });
}

TEST_F(OperationsTest, FtpSendOneOpeningPerRow) {
    const std::string ip = "10.18.5. 9 ", gap = "10..5.9";
    const std::string addr = "PFTPGovAddr:010.018.005.9", pass = "PFTPGovPass:tajna";
    const std::string two = addr + "|PFTPGovUser:rvt", padded = "010|018|005 0";
    const std::string all =
        two + "|" + pass +
        "|PFTP_pathFILES:/izv|PFtpGovFoldsCommand:/kom|PgprsParamVlada:gprswap,mts";
    const std::string user = "PFTPGovUser: r t |PgprsParamVlada:internet,telenor";
    const std::vector<std::string> acks(6, kAck);
    // Ticked rows, address, user name, operator; value: padded octets, rows
    // acknowledged, complete.  Each request has a port opening of its own.
    const std::tuple<const char*, std::string, const char*, int, Row> rows[] = {
        {"111111", ip, "rvt", 1, {acks, all, "010|018|005 012345 complete", kChanged}},
        {"010001", ip, " r t ", 0, {acks, user, "- 15 complete", kChanged}},
        {"100000", gap, "rvt", 1, {acks, "", "- ", "Podaci za ftp adresu nisu dobro uneti."}},
        {"110000", ip, "  ", 1, {acks, addr, padded, "Podaci za username nisu dobro uneti."}},
        {"000001", ip, "rvt", -1, {acks, "", "- ", "Odaberite operatera."}},
        {"111000", ip, "rvt", 1, {{kAck, kNak, kAck}, two, padded, "Not OK!"}},
        {"001000", ip, "rvt", 1, {{kSilent}, pass, "- ", kNoReplyAck}},
        {"011000", ip, "rvt", 1, {{kNoPort}, "", "- ", kPortMsg}},
    };
    for (const auto& [ticks, address, typed_user, op, row] : rows) {
        SCOPED_TRACE(std::string(ticks) + " " + row.messages);
        FtpRows in = ticked_rows({{FtpParameter::address, address},
                                  {FtpParameter::user, typed_user},
                                  {FtpParameter::password, "tajna"},
                                  {FtpParameter::for_send, "/izv"},
                                  {FtpParameter::command, "/kom"}});
        for (const FtpParameterRow& r : kFtpParameterTable) {
            in.ticked[r.parameter] = ticks[static_cast<std::size_t>(r.parameter)] == '1';
        }
        in.operator_index = op;
        expect(row, [&](Session& s) {
            const FtpSent sent = send_ftp(s, in, settings);
            std::string value = sent.padded ? joined(*sent.padded) + " " : "- ";
            for (const FtpParameter acknowledged : sent.acknowledged) {
                value += std::to_string(static_cast<std::size_t>(acknowledged));
            }
            return value + (sent.complete ? " complete" : "");
        });
        const std::size_t openings =
            row.requests.empty() ? 0 : std::ranges::count(row.requests, '|') + 1;
        EXPECT_EQ(port->applied.size(), openings);
        EXPECT_EQ(static_cast<std::size_t>(port->close_calls), openings);
    }
}

// The value rules every front end applies before anything is sent: the
// address's octets, the boxes' texts, a JAD value; each with the window's
// message.
TEST(ValueRules, FtpValuesAreCheckedByTheirParametersRule) {
    const std::tuple<const char*, const char*> addresses[] = {
        {"192.168.1.10", "(fits)"},
        {" 7.0.255.1 ", "(fits)"},
        {"1.2.3.4.5", "octet 4 not a number from 0 to 255"},
        {"00a.b.c.d", "octet 1 not a number from 0 to 255"},
        {"999.999.999.999", "octet 1 not a number from 0 to 255"},
        {"1.2.256.4", "octet 3 not a number from 0 to 255"},
        {"1234.5.6.7", "octet 1 empty, longer than 3 characters or not device text"},
        {"1. .3.4", "octet 2 empty, longer than 3 characters or not device text"},
    };
    const settings::Settings settings;
    for (const auto& [address, why] : addresses) {
        FtpRows rows;
        rows.ticked[FtpParameter::address] = true;
        rows.values[FtpParameter::address] = address;
        const std::optional<FtpRefusal> refusal = ftp_rows_refusal(rows, settings);
        EXPECT_EQ(refusal ? refusal->why : "(fits)", why) << address;
    }
    const std::tuple<std::string, const char*> texts[] = {
        {std::string(32, 'u'), "(fits)"},
        {" a ", "(fits)"},
        {std::string(33, 'u'), "longer than 32 characters"},
        {"   ", "empty"},
        {"/a\tb", "a character the device cannot carry"},
    };
    // Each box's field and the window's message for it (the address's and
    // the operator's: FtpSendOneOpeningPerRow).
    const std::pair<FtpParameter, const char*> boxes[] = {
        {FtpParameter::user, "user: Podaci za username nisu dobro uneti."},
        {FtpParameter::password, "password: Podaci za password nisu dobro uneti."},
        {FtpParameter::for_send, "for_send: Podaci za for send nisu dobro uneti."},
        {FtpParameter::command, "command: Podaci za command nisu dobro uneti."},
    };
    for (const auto& [row, message] : boxes) {
        EXPECT_EQ(std::string(ftp_parameter(row).field) + ": " + ftp_parameter(row).refusal,
                  message);
        for (const auto& [text, why] : texts) {
            FtpRows rows;
            rows.ticked[row] = true;
            rows.values[row] = text;
            const std::optional<FtpRefusal> refusal = ftp_rows_refusal(rows, settings);
            EXPECT_EQ(refusal ? refusal->why : "(fits)", why)
                << ftp_parameter(row).field << " " << text;
        }
    }
    EXPECT_EQ(address_problem("10.0.0").value_or("(fits)"), "not four octets A.B.C.D");
    EXPECT_EQ(address_problem("10.0.0.255").value_or("(fits)"), "(fits)");
}

TEST(ValueRules, AJadValueIsNeitherBlankNorLongerThan255) {
    const std::tuple<std::string, const char*, const char*> values[] = {
        {" 30 ", "PREPORT_INTERVAL: 30 ", "(fits)"},
        {std::string(255, 'v'), "(sent)", "(fits)"},
        {"  ", "", "empty"},
        {std::string(256, 'v'), "", "longer than 255 characters"},
        {"a\x1b[2J", "", "a character the device cannot carry"},
    };
    for (const auto& [value, command, why] : values) {
        SCOPED_TRACE(value.substr(0, 20));
        const JadRequest request = jad_value_request("REPORT_INTERVAL:", value);
        EXPECT_EQ(jad_value_problem(value).value_or("(fits)"), why);
        if (std::string(command) == "(sent)") {
            EXPECT_EQ(request.command, "PREPORT_INTERVAL:" + value);
        } else {
            EXPECT_EQ(request.command, command);
        }
        EXPECT_EQ(request.first ? request.first->text : "",
                  *command ? "" : "Unesite novu vrednost parametra");
    }
}

// A profile's value whose acknowledgement the line lost: the read-back
// decides whether the device took it; without one it stays unknown.
TEST_F(OperationsTest, ApplyReadsBackAValueWhoseAcknowledgementWasLost) {
    // The device's answers to the apply's reads: version, IMEI, FTP, JAD.
    const auto device = [](const std::string& user) {
        std::vector<std::string> all = holding("10.0.0.1", user, "gprs");
        all.insert(all.begin(), {frame("GPRS 2.4.1"), frame("\r\n356871044629016\r\n\r\nOK\r\n")});
        all.push_back(frame("A: 1\r\n"));
        return all;
    };
    const auto apply = [](Session& s) {
        Profile wanted;
        wanted.ftp[FtpParameter::user] = "tech";
        const device::Outcome r = apply_profile(s, wanted, {}, false);
        std::string value;
        for (const ValueState& v : r.values) {
            value += v.field + " " + state_name(v.state) + " " + v.now + " " + v.why;
        }
        using Ending = device::Outcome::Ending;
        return value + (r.ending() == Ending::incomplete ? " stopped" : "") +
               (r.ending() == Ending::done ? " complete" : "");
    };
    // The device holding "terminal"; the acknowledgement lost (the line
    // drops before it, unless told otherwise); then the device read back
    // holding `after`, or silent.
    const auto answers = [&](const std::string& after, const std::string& lost = kReadFails) {
        std::vector<std::string> all = device("terminal");
        all.push_back(lost);
        const std::vector<std::string> again = after.empty() ? std::vector{kSilent} : device(after);
        all.insert(all.end(), again.begin(), again.end());
        return all;
    };
    Outcome got = run(answers("tech"), apply);
    EXPECT_EQ(got.value, "ftp.user confirmed tech  complete");
    // The apply records one outcome, its own: the writes it is made of are in it.
    ASSERT_EQ(got.report.writes.size(), 1U);
    EXPECT_EQ(got.report.writes.front().write, device::Outcome::Write::profile);
    EXPECT_EQ(run(answers("terminal"), apply).value,
              "ftp.user not_written terminal Greska! stopped");
    // A read-back that fails does not hide the failure that stopped the apply.
    got = run(answers(""), apply);
    EXPECT_EQ(got.report.failure.value_or(Failure{}).kind, Failure::Kind::port_failed);
    EXPECT_EQ(got.report.failure.value_or(Failure{}).text, "Greska!");
    EXPECT_EQ(got.value, "ftp.user unknown  Greska! stopped");
    // A device that stays silent took nothing, as the window sees it.
    EXPECT_EQ(run(answers("", kSilent), apply).value,
              "ftp.user not_written  Uredjaj ne odgovara ! stopped");
}

TEST_F(OperationsTest, PinSequence) {
    const std::string state = "AAT+CPIN?", entry = state + "|AAT+CPIN =1234";
    const std::string lock = "|AAT+CLCK = \"SC\",0,1234", attempts = entry + "|AAT^SPIC1234";
    const std::string off = entry + lock, two = frame("\r\n^SPIC: 2\r\n\r\nOK\r\n");
    const std::string cme = "\r\n+CME ERROR: 16\r\n", refused = frame(cme);
    const std::string ready = frame("\r\n+CPIN: READY\r\n\r\nOK\r\n"), puk = "+CPIN: SIM PUK";
    const std::string wrong = "Pogresan PIN kod, imate jos  2 pokusaj(a)!";
    // Value: how the sequence ended; the switch answered with a modem error
    // is that, not an unknown answer.
    const Op typed = [](Session& s) {
        const char* const names[] = {"pin_set",    "not_needed",  "no_sim", "wrong_pin",
                                     "unexpected", "modem_error", "failed"};
        return std::string(names[static_cast<int>(unlock_sim(s, "  1234 "))]);
    };
    // clang-format off
    expect_rows(
        {{{ready}, state, "not_needed", "Oslobodjeno od PIN koda"},
         {{frame("\r\nERROR\r\n")}, state, "no_sim", "SIM kartica nije prisutna"},
         {{frame(puk)}, state, "unexpected", "Nedozvoljena operacija ==" + puk + "=="},
         {{wanted, ok, ok}, off, "pin_set", "PIN kod uspesno setovan"},
         {{wanted, ok, kAck}, off, "pin_set", "OK"},
         {{wanted, ok, refused}, off, "modem_error", cme},
         {{wanted, ok, kNak}, off, "failed", "Not OK!"},
         {{wanted, refused, two}, attempts, "wrong_pin", wrong},
         // Status results on the way are shown at once and the sequence goes on.
         {{kSilent, ok, kAck}, off, "pin_set", "OK", "Uredjaj ne odgovara ! @1"},
         {{wanted, kAck, ok}, off, "pin_set", "PIN kod uspesno setovan", "OK! @2"},
         {{wanted, refused, kReadFails, kAck}, attempts + lock, "pin_set", "OK", "Greska! @3"}},
        typed);
    // clang-format on
    // Without a front end the message on the way waits for the end.
    const Outcome got = run({kSilent, ok, kAck}, unlock, false);
    EXPECT_EQ(got.messages, "Uredjaj ne odgovara !|OK");
    // The report keeps no PIN, and no reply that may echo it.
    std::vector<std::string> exchanges;
    for (const Exchange& e : got.report.exchanges) {
        exchanges.push_back(e.command + " -> " + e.result);
    }
    EXPECT_EQ(joined(exchanges), "AAT+CPIN? -> TO|AAT+CPIN =**** -> ******|"
                                 "AAT+CLCK = \"SC\",0,**** -> OK");
}

TEST_F(OperationsTest, JadReadKeepsACopyAndTheParameters) {
    QTemporaryDir dir;
    const std::filesystem::path copy = dir.path().toStdString() + "/Jad.txt";
    // Value: the parameters, "name=value;" each.
    const auto into = [](const std::filesystem::path& path) {
        return [path](Session& s) {
            const JadRead r = read_jad(s, path);
            std::string value = r.descriptor ? "" : kNone;
            for (std::size_t i = 0; i < static_cast<std::size_t>(r.table.count); ++i) {
                value += r.table.names[i] + "=" + r.table.values[i] + ";";
            }
            return value;
        };
    };
    expect({{frame("CASH_TYPE: 3\r\nIP: 10.0.0.1")}, "J", "CASH_TYPE:=3;IP:=10.0.0.1;", ""},
           into(copy));
    EXPECT_EQ(file_text(copy), "CASH_TYPE: 3\r\nIP: 10.0.0.1\r\n");
    expect({{frame("A: 1\r\nB:\r\nC: 3")}, "J", "A:=1;", "[plain] greska"}, into(copy));
    EXPECT_EQ(file_text(copy), "A: 1\r\nB:\r\nC: 3\r\n");
    std::filesystem::remove(copy);
    expect({{kSilent}, "J", kNone, kNoReply}, into(copy));
    EXPECT_FALSE(std::filesystem::exists(copy));
    expect({{frame("A: 1")}, "J", "A:=1;", "Fajl Jad.txt nije upisan!"},
           into(dir.path().toStdString() + "/nema/Jad.txt"));
}

TEST(JadRequestTest, TheSetRequestOrWhyThereIsNone) {
    const JadParameterTable table{{"CASH_TYPE:", "IP:"}, {}, 2};
    settings::Settings settings;
    settings.cash_type_count = 3;
    settings.cash_type_names = {"Galeb", std::nullopt, "Tring"};
    settings.cash_type_numbers = {"3", "5", "7"};
    const std::vector<CashType> types = offered_cash_types(settings);
    EXPECT_EQ(types, (std::vector<CashType>{{"3", "Galeb"}, {"7", "Tring"}}));
    // Chosen parameter, typed value, chosen type; the request and the message
    // shown first ("[plain] " marks a plain one).
    const std::tuple<int, const char*, std::optional<int>, const char*, const char*> rows[] = {
        {-1, "1", std::nullopt, "", "Unesite komandu "},
        {2, "1", std::nullopt, "", "Unesite komandu "},
        {1, "  ", std::nullopt, "", "Unesite novu vrednost parametra"},
        {1, " 10.0.0.2", std::nullopt, "PIP: 10.0.0.2", ""},
        {0, "", 1, "PCASH_TYPE:7", "[plain] Tring"},
        {0, "", -1, "", "Odaberite tip kase."},
        {0, "", 2, "", "Odaberite tip kase."},
    };
    for (const auto& [chosen, value, cash_type, command, first] : rows) {
        const JadRequest request = jad_request(table, chosen, value, cash_type, types);
        EXPECT_EQ(request.command, command) << first;
        const std::optional<Message>& m = request.first;
        EXPECT_EQ(m ? (m->kind == Message::Kind::plain ? "[plain] " : "") + m->text : "", first);
    }
}

// Every write records its outcome in the report, whatever came of it: each
// value's field, the device's value before as far as the run had read it
// (? when it had not), the value asked (a secret as asterisks), what became
// of it and why; and how the write ended.
TEST_F(OperationsTest, EveryWriteRecordsItsOutcome) {
    using Ending = device::Outcome::Ending;
    const ClockTexts day{"26", "03", "15", "12", "45", "00"};
    const ClockTexts read{"26", "03", "15", "12", "40", "10"};
    FtpRows ftp = ticked_rows({{FtpParameter::user, "rvt"},
                               {FtpParameter::password, "tajna"},
                               {FtpParameter::for_send, "/izv"}});
    ftp.before[FtpParameter::user] = "terminal";
    ftp.before[FtpParameter::password] = "staro";
    const JadParameterTable table{{"IP:"}, {"10.0.0.1"}, 1};
    const Op clock_sent =
        sending([&](Session& s) { return set_clock(s, day, kSummerOffset, read); });
    const Op no_season = sending([&](Session& s) { return set_clock(s, day, 0); });
    const Op send = doing([&](Session& s) { send_ftp(s, ftp, settings); });
    const Op jad = sending([&](Session& s) {
        return send_jad(s, jad_request(table, 0, "10.0.0.2", std::nullopt, {}));
    });
    const std::string silent = kNoReplyAck, no_season_text = kNoSeason;
    const std::string cme = frame("\r\n+CME ERROR: 16\r\n"),
                      two = frame("\r\n^SPIC: 2\r\n\r\nOK\r\n");
    struct Case {
        std::vector<std::string> answers;
        Op op;
        std::string values; // "field before->asked state: why", "|" between them
        Ending ending;
    };
    // clang-format off
    const Case cases[] = {
        {{kAck}, sending(restart), "device.restart ?-> written", Ending::done},
        {{kReadFails}, sending(restart), "device.restart ?-> unknown: Greska!", Ending::incomplete},
        {{kSilent}, sending(reset), "device.reset ?-> not_written: " + silent, Ending::incomplete},
        {{kAck}, clock_sent, "clock 15.03.2026 12:40:10->15.03.2026 12:45:00 written", Ending::done},
        {{}, no_season, "clock ?->15.03.2026 12:45:00 not_written: " + no_season_text,
         Ending::refused},
        {{kAck, kNak}, send, "ftp.user terminal->rvt written|ftp.password ********->******** "
         "not_written: Not OK!|ftp.for_send ?->/izv not_written: nije poslato", Ending::incomplete},
        {{}, nothing_ticked, "", Ending::refused},
        {{kAck}, jad, "jad.IP 10.0.0.1->10.0.0.2 written", Ending::done},
        {{kAck}, jad_ip, "jad.IP ?->10.0.0.2 written", Ending::done},
        {{kAck}, password, "sim.password ?->******** written", Ending::done},
        {{kNak}, sim_id_sent, "sim.id ?->8938 10 not_written: Not OK!", Ending::incomplete},
        {{wanted, ok, ok}, unlock, "sim.pin ?->******** written|sim.pin_request ?->off written",
         Ending::done},
        {{frame("\r\n+CPIN: READY\r\n\r\nOK\r\n")}, unlock, "sim.pin ?->******** not_written: "
         "Oslobodjeno od PIN koda|sim.pin_request ?->off not_written: Oslobodjeno od PIN koda",
         Ending::incomplete},
        {{wanted, cme, two}, unlock, "sim.pin ?->******** not_written: Pogresan PIN kod, imate "
         "jos  2 pokusaj(a)!|sim.pin_request ?->off not_written: nije poslato", Ending::incomplete},
        {{wanted, ok, kReadFails}, unlock, "sim.pin ?->******** written|sim.pin_request ?->off "
         "unknown: Greska!", Ending::incomplete},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values);
        const Report report = run(c.answers, c.op).report;
        ASSERT_EQ(report.writes.size(), 1U);
        const device::Outcome& outcome = report.writes.front();
        std::vector<std::string> values;
        for (const ValueState& v : outcome.values) {
            values.push_back(v.field + " " + v.before.value_or("?") + "->" + v.wanted + " " +
                             state_name(v.state) + (v.why.empty() ? "" : ": " + v.why));
        }
        EXPECT_EQ(joined(values), c.values);
        EXPECT_EQ(outcome.ending(), c.ending);
    }
}

// Each operation says where it fails what kind of failure it is, with the
// message the technician gets and the reply it failed on as the report
// shows it; an operation that ends well records none.
TEST_F(OperationsTest, EachFailureSaysItsKind) {
    using K = Failure::Kind;
    const Op restarting = sending(restart);
    const Op probe = doing([](Session& s) { probe_version(s, 300); });
    const Op twice = doing([](Session& s) { read_version(s), read_version(s); });
    const Op no_season = doing([](Session& s) { read_clock(s, 0); });
    const Op ftp_read = doing([&](Session& s) { read_ftp(s, settings); });
    const std::string cme3 = "\r\n+CME ERROR: 3\r\n", cme16 = "\r\n+CME ERROR: 16\r\n";
    const std::string scid = "89381030000012345678\r\n", puk = "+CPIN: SIM PUK";
    const std::string port_detail = "Uredjaj: " + kPort1 + "\nGreska porta.";
    struct Case {
        Op op;
        std::vector<std::string> answers;
        std::optional<K> kind;
        std::string text, reply;
    };
    // clang-format off
    const Case cases[] = {
        {version, {frame("RVT 2.17")}, std::nullopt, "", ""},
        {version, {kSilent}, K::no_reply, kNoReply, "TO"},
        {version, {kNak}, K::refused, "Not OK!", "NOK"},
        {version, {kBadSum}, K::bad_checksum, "Checksum nije dobar!", "CS"},
        {version, {kReadFails}, K::port_failed, "Greska!", "ERja"},
        {version, {kNoPort}, K::port_unavailable, kPortMsg, port_detail},
        {twice, {kCancel}, K::interrupted, "", ""},
        {probe, {kSilent}, K::no_reply, "", "TO"},
        {probe, {kReadFails}, K::port_failed, "", "ERja"},
        {restarting, {kAck}, std::nullopt, "", ""},
        {restarting, {frame("BUSY")}, K::unexpected_reply, "BUSY", "BUSY"},
        {imei, {frame("\r\nERROR\r\n")}, K::modem_error, "", "\r\nERROR\r\n"},
        {imei, {ok}, K::value_missing, "", "\r\nOK\r\n"},
        {signal, {ok}, K::value_missing, "Nema signala", "\r\nOK\r\n"},
        {no_season, {}, K::bad_value, kNoSeason, ""},
        {clock, {ok}, K::value_missing, "", "\r\nOK\r\n"},
        {set({"06", "03", "15", "12", "00", "00"}), {frame(cme3)}, K::modem_error, cme3, cme3},
        {nothing_ticked, {}, K::bad_value, "Nisu obelezeni podaci za slanje", ""},
        {ftp_read, {frame("10.18.5.9"), kNak}, K::refused, "Not OK!", "NOK"},
        {sim_id, {frame(scid)}, K::value_missing, "???", scid},
        {unlock, {frame(puk)}, K::unexpected_reply, "Nedozvoljena operacija ==" + puk + "==", puk},
        {unlock, {kBadSum}, K::bad_checksum, "Nedozvoljena operacija ==CS==", "CS"},
        {unlock, {kSilent, ok, kAck}, std::nullopt, "", ""},
        {unlock, {wanted, ok, frame(cme16)}, K::modem_error, cme16, "******************"},
        {jad_ip, {kNak}, K::refused, "Not OK!", "NOK"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.answers));
        const std::optional<Failure> failure = run(c.answers, c.op).report.failure;
        EXPECT_EQ(failure.has_value(), c.kind.has_value());
        if (failure && c.kind) {
            EXPECT_EQ(failure->kind, *c.kind);
            EXPECT_EQ(failure->text, c.text);
            EXPECT_EQ(failure->reply, c.reply);
        }
    }
}

TEST_F(OperationsTest, CancelledOperationSendsNothingMore) {
    const auto cancelled = [this](const std::vector<std::string>& answers, const Op& op) {
        const Outcome got = run(answers, op);
        EXPECT_TRUE(got.report.cancelled);
        EXPECT_EQ(got.told, ""); // nothing is shown on the way either
        return got.requests + " " + got.value;
    };
    EXPECT_EQ(
        cancelled({frame("10.18.5.9"), kCancel, frame("tajna")},
                  [&](Session& s) { return std::to_string(read_ftp(s, settings).rows_read); }),
        "RFTPGovAddr|RFTPGovUser 1");
    const FtpRows ftp =
        ticked_rows({{FtpParameter::address, "1.2.3.4"}, {FtpParameter::user, "rvt"}});
    EXPECT_EQ(cancelled({kCancel, kAck}, doing([&](Session& s) { send_ftp(s, ftp, settings); })),
              "PFTPGovAddr:001.002.003.4 ");
    EXPECT_EQ(cancelled({kCancel, kAck, kAck}, unlock), "AAT+CPIN? ");
    // Stopped before it began: the port is not even opened, nothing is said.
    const Outcome got =
        run({frame("RVT")}, [this](Session& s) { return link->cancel(), version(s); });
    EXPECT_TRUE(got.report.cancelled);
    EXPECT_EQ(got.requests + got.value + got.messages, "(nothing)");
    EXPECT_TRUE(port->applied.empty());
}

// A send's outcome with each ticked row in `state`.
device::Outcome sent_as(const FtpRows& rows, ValueState::State state) {
    device::Outcome sent;
    sent.write = device::Outcome::Write::ftp;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (rows.ticked[row.parameter]) {
            ValueState& v = sent.values.emplace_back();
            v.field = ftp_field(row.parameter);
            v.state = state;
        }
    }
    return sent;
}

// The read-back after a send: the parameters sent that the device holds
// otherwise, and whether a value whose acknowledgement was lost reached it.
TEST_F(OperationsTest, FtpReadBackNamesWhatDiffersFromWhatWasSent) {
    FtpRows rows = ticked_rows({{FtpParameter::address, "10.18.5.9"},
                                {FtpParameter::user, "rvt"},
                                {FtpParameter::gprs, ""}});
    rows.operator_index = 1; // "gprswap,mts"
    // Value: the fields that differ, "|" between them.
    expect_rows(
        {{holding("010.018.005.9", "rvt", "gprswap,mts"), six, "", ""},
         {holding("10.18.5.9", "ana", "vip"), six, "address|user|gprs", "GPRS parametri su: vip"},
         {{frame("010.018.005.9"), kSilent}, "RFTPGovAddr|RFTPGovUser", kNone, kNoReply}},
        reading([&](Session& s) -> std::optional<std::string> {
            device::Outcome sent = sent_as(rows, ValueState::State::written);
            if (!read_back_sent(s, sent, rows, settings, true)) {
                return std::nullopt;
            }
            std::vector<std::string> fields;
            for (const FtpParameterRow& row : kFtpParameterTable) {
                const ValueState* v = sent.value(ftp_field(row.parameter));
                if (v && v->state == ValueState::State::read_back_differs) {
                    fields.push_back(row.field);
                }
            }
            return joined(fields);
        }));
    // A GPRS string given as it is counts instead of the operator's.
    rows.operator_index.reset();
    rows.values[FtpParameter::gprs] = "vip";
    EXPECT_EQ(ftp_wanted(rows, settings)[FtpParameter::gprs], "vip");
    expect_rows(
        {{holding("010.018.005.9", "ana", "vip"), six, "not taken", "GPRS parametri su: vip"},
         {holding("010.018.005.9", "rvt", "vip"), six, "taken", "GPRS parametri su: vip"}},
        reading([&](Session& s) -> std::optional<std::string> {
            FtpRows lost;
            lost.ticked[FtpParameter::user] = true;
            lost.values = rows.values;
            device::Outcome sent = sent_as(lost, ValueState::State::unknown);
            if (!read_back_sent(s, sent, lost, settings, false)) {
                return std::nullopt;
            }
            const ValueState::State now = sent.values.front().state;
            return now == ValueState::State::confirmed ? "taken" : "not taken";
        }));
}

// A value of a write as the command line and the station tell it: in a line
// and in a summary of what went wrong.
TEST(OutcomeLines, EachStateInALineAndInASummary) {
    using S = ValueState::State;
    // clang-format off
    const std::tuple<S, const char*, const char*, const char*> rows[] = {
        {S::unchanged, "", "ftp.user: unchanged (terminal)", "ftp.user: unchanged"},
        {S::differs, "", "ftp.user: differs (terminal -> tech)", "ftp.user: differs"},
        {S::confirmed, "", "ftp.user: confirmed (terminal -> tech)", "ftp.user: confirmed"},
        {S::read_back_differs, "", "ftp.user: read_back_differs (terminal -> tech, now ana)",
         "ftp.user: read back as ana"},
        {S::written, "", "ftp.user: written (terminal -> tech)", "ftp.user: not read back"},
        {S::not_written, "Not OK!", "ftp.user: not_written (terminal -> tech): Not OK!",
         "ftp.user: Not OK!"},
        {S::not_written, "", "ftp.user: not_written (terminal -> tech)", "ftp.user: not written"},
        {S::unknown, "Greska!", "ftp.user: unknown, read it back (terminal -> tech): Greska!",
         "ftp.user: unknown, read it back"},
    };
    // clang-format on
    for (const auto& [state, why, line, summary] : rows) {
        const ValueState v{"ftp.user", "terminal", "tech", state, "ana", why};
        EXPECT_EQ(value_line(v), line);
        EXPECT_EQ(value_summary(v), summary);
    }
    EXPECT_EQ(value_line({"jad.A", std::nullopt, "", S::written, "", ""}),
              "jad.A: written (? -> \"\")");
}

} // namespace
} // namespace tessal::device
