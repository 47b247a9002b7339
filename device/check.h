// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/profile.h"
#include "device/session.h"
#include "settings/settings.h"

#include <QDateTime>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The device check: every reading a technician needs to tell why a device
// does not upload, in stages, over one opening of the port.  It only reads:
// nothing is written to the device and no PIN is entered.  Its result is a
// plain value that a window, tessal-cli and the station show or record.
namespace tessal::device {

// The device's clock against the PC's: a drift beyond the first is a
// warning, beyond the second a failure.
inline constexpr int kClockWarningSeconds = 60;
inline constexpr int kClockFailureSeconds = 600;
// A usable signal below this strength is a warning: uploads may break off.
inline constexpr int kWeakSignal = 10;

// The stages, in the order they run.
enum class CheckStage {
    device,       // the device answers: its version
    modem,        // the modem answers: its IMEI
    sim,          // the SIM's state and the PIN attempts left
    sim_id,       // the SIM's identification
    signal,       // the signal's strength
    registration, // registered on a network
    network,      // the network, and the GPRS string the operator table gives it
    gprs,         // attached to GPRS
    clock,        // the device's clock against the PC's
    profile,      // the FTP and JAD parameters against a profile
};

struct CheckStageRow {
    CheckStage stage;
    const char* name;    // in JSON
    const char* caption; // in the window and in the text
};
inline constexpr std::array<CheckStageRow, 10> kCheckStages{{
    {CheckStage::device, "device", "Uredjaj"},
    {CheckStage::modem, "modem", "Modem"},
    {CheckStage::sim, "sim", "SIM kartica"},
    {CheckStage::sim_id, "sim_id", "SIM identifikacija"},
    {CheckStage::signal, "signal", "Signal"},
    {CheckStage::registration, "registration", "Registracija"},
    {CheckStage::network, "network", "Mreza"},
    {CheckStage::gprs, "gprs", "GPRS"},
    {CheckStage::clock, "clock", "Sat"},
    {CheckStage::profile, "profile", "Profil"},
}};
const CheckStageRow& check_stage(CheckStage stage);

enum class CheckOutcome { good, warning, failed, not_checked };

struct CheckOutcomeRow {
    CheckOutcome outcome;
    const char* name;    // in JSON
    const char* caption; // in the window and in the text
};
inline constexpr std::array<CheckOutcomeRow, 4> kCheckOutcomes{{
    {CheckOutcome::good, "good", "u redu"},
    {CheckOutcome::warning, "warning", "upozorenje"},
    {CheckOutcome::failed, "failed", "greska"},
    {CheckOutcome::not_checked, "not_checked", "nije provereno"},
}};
const CheckOutcomeRow& check_outcome(CheckOutcome outcome);

// Why a stage is not good, and the verdict of a check that found nothing
// wrong.
enum class CheckReason {
    passed,
    port_unavailable,
    device_silent,
    device_error,
    no_imei,
    no_sim,
    sim_pin_required,
    sim_puk_required,
    sim_not_ready,
    no_sim_id,
    no_signal,
    weak_signal,
    not_registered,
    registration_searching,
    registration_denied,
    roaming,
    no_network,
    network_without_code,
    network_not_in_table,
    wrong_gprs_string,
    gprs_detached,
    clock_drift,
    clock_wrong,
    profile_differs,
    no_profile,
    modem_refused,
    unreadable,
    not_reached,
};

struct CheckReasonRow {
    CheckReason reason;
    const char* code; // in JSON, and tessal-cli's error code for a failed check
    const char* text; // the technician's words
};
const CheckReasonRow& check_reason(CheckReason reason);

struct StageResult {
    CheckStage stage = CheckStage::device;
    CheckOutcome outcome = CheckOutcome::not_checked;
    // What the stage is based on, in the device's character set: the version,
    // "SIM PIN, pokusaja PIN-a: 3", the modem's refusal as it came.
    std::string reading;
    // Why it is not good; none for a good stage.
    std::optional<CheckReason> reason;
};

struct CheckResult {
    // Every stage, in order.
    std::vector<StageResult> stages;
    // The check's exchanges, secrets as asterisks.
    std::vector<Exchange> exchanges;

    // The first failed stage: the verdict; nothing when none failed.
    const StageResult* failed() const;
    std::vector<const StageResult*> warnings() const;
    bool passed() const { return failed() == nullptr; }
    // The verdict's reason: the first failed stage's, or passed.
    CheckReason verdict() const;
};

struct CheckInput {
    // The operator table with its network codes.
    settings::Settings settings;
    // The FTP and JAD parameters the device should hold; without one the
    // last stage is not checked.
    std::optional<Profile> profile;
    // The PC's clock; the current time when empty.
    std::function<QDateTime()> now;
};

// Runs every stage over one opening of the port.  A device that does not
// answer ends the check: the stages after it are not checked.  A modem that
// refuses a command leaves that stage not checked, with its answer, and the
// check goes on.  The report holds no message of the check's own.
CheckResult check_device(Session& session, const CheckInput& input);

// Device text as visible characters: control bytes by name ("<CR>").
std::string visible_text(const std::string& bytes);

// "Greska u koraku SIM kartica: SIM kartica ceka PIN", or the passed text.
std::string verdict_text(const CheckResult& result);

// The whole result as lines of visible characters: each stage as
// "Signal: u redu - Nivo: 21", then the warnings and the verdict last.
std::string check_text(const CheckResult& result);

} // namespace tessal::device
