// SPDX-License-Identifier: Apache-2.0
// The device check against the simulated device: a verdict for each way a
// device can fail to upload, and what the stages read.
#include "device/check.h"
#include "support/simulated_device.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <functional>

namespace tessal::device {
namespace {

// The PC's time in winter: the device's clock stands an hour behind it.
const QDateTime kNow(QDate(2026, 12, 8), QTime(10, 0, 0));

const char kProfile[] = R"({"schema": 1, "ftp": {"user": "terminal", "for_send": "/racuni"},)"
                        R"( "jad": {"MIDlet-Version": "2.4.1"}})";

struct CheckRow {
    const char* what;
    std::function<void(devsim::Device&)> device;
    std::function<void(CheckInput&)> input;
    // The verdict's code, then each stage's outcome: g good, w warning,
    // f failed, - not checked.
    const char* verdict;
    const char* outcomes;
    devsim::Faults faults = {};
};

class CheckTest : public ::testing::Test {
  protected:
    CheckResult run(const CheckRow& row) {
        testing::SimulatedDevice sim;
        EXPECT_TRUE(sim.started);
        sim.simulator->with_device([&row](devsim::Device& d) {
            d.modem().sim().pin_required = false;
            d.modem().set_clock("26/12/08,09:00:00");
            if (row.device) {
                row.device(d);
            }
        });
        CheckInput input;
        input.settings.operator_names[0] = "Mreza A";
        input.settings.gprs_strings[0] = "internet,gprs,gprs";
        input.settings.network_codes[0] = "22001";
        input.settings.last_used_index = 0;
        input.now = [] { return kNow; };
        if (row.input) {
            row.input(input);
        }
        sim.simulator->set_faults(row.faults);
        PortChoice port;
        port.com_devices[0] = sim.simulator->link_path().string();
        Session session(sim.link, port);
        session.constants().reply_timeout_ms = 1000; // a silent device is not waited for long
        CheckResult result = check_device(session, input);
        EXPECT_TRUE(session.finish().messages.empty());
        return result;
    }
};

std::string outcomes(const CheckResult& result) {
    std::string letters;
    for (const StageResult& stage : result.stages) {
        letters += "gwf-"[static_cast<int>(stage.outcome)];
    }
    return letters;
}

TEST_F(CheckTest, AVerdictForEachWayADeviceFails) {
    using devsim::Device;
    const auto modem = [](std::function<void(devsim::Modem&)> set) {
        return [set](Device& d) { set(d.modem()); };
    };
    using M = devsim::Modem;
    const auto network = [](int registration) {
        return [registration](Device& d) { d.modem().network().registration = registration; };
    };
    const auto clock = [](const char* at) { return [at](Device& d) { d.modem().set_clock(at); }; };
    const auto profile = [](CheckInput& in) {
        std::string problem;
        in.profile = parse_profile(kProfile, problem);
    };
    // clang-format off
    const CheckRow rows[] = {
        {"good", {}, {}, "ok", "ggggg gggg -"},
        {"silent", {}, {}, "device_silent", "f---- ---- -", testing::with(&devsim::Faults::silent)},
        {"PIN", modem([](M& m) { m.sim().pin_required = true; }), {}, "sim_pin_required",
         "ggfgg fffg -"},
        {"PUK", modem([](M& m) { m.sim().attempts_left = 0; }), {}, "sim_puk_required",
         "ggfgg fffg -"},
        {"no SIM", modem([](M& m) { m.sim().present = false; }), {}, "no_sim", "ggf-g fffg -"},
        {"no signal", modem([](M& m) { m.set_signal(99); }), {}, "no_signal", "ggggf gggg -"},
        {"searching", network(2), {}, "registration_searching", "ggggg fffg -"},
        {"denied", network(3), {}, "registration_denied", "ggggg fffg -"},
        {"not registered", network(0), {}, "not_registered", "ggggg fffg -"},
        {"roaming, weak signal",
         [](Device& d) { d.modem().network().registration = 5, d.modem().set_signal(7); }, {},
         "ok", "ggggw wggg -"},
        {"wrong GPRS string", [](Device& d) { d.set_parameter("gprsParamVlada", "web,,"); }, {},
         "wrong_gprs_string", "ggggg gfgg -"},
        {"detached", modem([](M& m) { m.network().gprs_attached = false; }), {}, "gprs_detached",
         "ggggg ggfg -"},
        {"clock half an hour off", clock("26/12/08,08:30:00"), {}, "clock_wrong", "ggggg gggf -"},
        {"clock five minutes off", clock("26/12/08,09:05:00"), {}, "ok", "ggggg gggw -"},
        // Refused, named, or missing from the table: not checked, never guessed.
        {"CREG refused", modem([](M& m) { m.forms().error_for = "AT+CREG"; }), {}, "ok",
         "ggggg -ggg -"},
        {"network by name", modem([](M& m) { m.network().name = "Mreza A"; }), {}, "ok",
         "ggggg g-gg -"},
        {"no network code", {}, [](CheckInput& in) { in.settings.network_codes[0].reset(); }, "ok",
         "ggggg g-gg -"},
        {"profile differs", {}, profile, "profile_differs", "ggggg gggg f"},
    };
    // clang-format on
    for (const CheckRow& row : rows) {
        SCOPED_TRACE(row.what);
        const CheckResult result = run(row);
        EXPECT_EQ(check_reason(result.verdict()).code, std::string(row.verdict));
        std::string expected = row.outcomes;
        std::erase(expected, ' ');
        EXPECT_EQ(outcomes(result), expected) << check_text(result);
    }
}

// What the window copies and tessal-cli prints: each stage with its reading
// and reason, the verdict last; the modem's refusal as it answered.
TEST_F(CheckTest, TheTextNamesEachStageAndTheVerdictLast) {
    const CheckRow row{"PIN, no identification",
                       [](devsim::Device& d) {
                           d.modem().sim().pin_required = true;
                           d.modem().forms().error_for = "AT^SCID";
                       },
                       {},
                       "",
                       ""};
    QString text = QString::fromStdString(check_text(run(row)));
    text.remove(QRegularExpression("Sat: [^\n]*\n"));
    EXPECT_EQ(text.toStdString(),
              "Uredjaj: u redu - Tessal GPRS 2.4.1 (simulator)\n"
              "Modem: u redu - 356871044629016\n"
              "SIM kartica: greska - SIM PIN, pokusaja PIN-a: 3 (SIM kartica ceka PIN)\n"
              "SIM identifikacija: nije provereno - +CME ERROR: 10 (Modem odbija komandu)\n"
              "Signal: u redu - Nivo: 21\n"
              "Registracija: greska - nije prijavljen (0) (Modem nije prijavljen na mrezu)\n"
              "Mreza: greska - +COPS: 0 (Modem nije u mrezi)\n"
              "GPRS: greska - nije prikljucen (Modem nije prikljucen na GPRS)\n"
              "Profil: nije provereno (Profil nije zadat)\n"
              "Ocena: Greska u koraku SIM kartica: SIM kartica ceka PIN [sim_pin_required]");
}

} // namespace
} // namespace tessal::device
