// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/device_text.h"
#include "device/ftp_parameters.h"
#include "device/outcome.h"
#include "device/session.h"
#include "settings/settings.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Configuration profiles: a device's whole configuration (the six FTP
// parameters and the JAD descriptor's parameters) as a JSON file that a
// person can read and edit, compared with a device and applied to it with
// every value read back.
namespace tessal::device {

struct Profile {
    // The FTP parameters, each left out (nothing) when the profile does not
    // name it; texts in the device's character set, the address as
    // "192.168.1.10".  A secret is written to a file only when asked.
    FtpByParameter<std::optional<std::string>> ftp;
    // The operator whose GPRS string that is, when the table knows it;
    // informative, never applied.
    std::optional<std::string> operator_name;
    // The JAD descriptor's parameters, names without their colon, in the
    // descriptor's order.
    std::vector<std::pair<std::string, std::string>> jad;

    // Where the profile was read: informative, never applied.
    struct Source {
        std::string version;
        std::string imei;
        std::string read_at; // local time, "2026-12-07 14:03:27"
        std::string port;    // the device path
    } source;
};

// The profile as JSON: "schema": 1, "source", "ftp", "jad".  The password
// is left out unless `with_secrets`, and then marked as a secret.
std::string profile_json(const Profile& profile, bool with_secrets);

// Reads a profile file's text.  Nothing, with `problem` naming the field,
// for text that is not a profile of schema 1 or a value of the wrong kind.
std::optional<Profile> parse_profile(const std::string& json, std::string& problem);

// The first value the device cannot hold, named as the profile names it
// ("ftp.user: longer than 32 characters", "jad.PIB: longer than 255
// characters"), or a JAD name that is not one of at most kLongestJadName
// device characters; nothing when every value fits.  Everything the file
// alone shows is found here, before any request.  An empty text is refused
// only when it would be written (see apply_profile): a device may hold one,
// so its own profile applies back.
std::optional<std::string> profile_problem(const Profile& profile);

// The device's configuration as a profile: version, IMEI, the six FTP
// parameters and the JAD descriptor, each read as the console reads it.
// Nothing when a read failed (the session's report says why).
std::optional<Profile> read_profile(Session& session, const settings::Settings& settings);

// Compares the profile with the device's configuration: every value the
// profile names, in the order they would be written.
std::vector<ValueState> compare_profile(const Profile& device, const Profile& wanted);

// The first value of a comparison that may not be written although the
// profile may hold it: an empty text ("jad.MIDlet-Name: empty"), or a JAD
// value too long for its line (which profile_problem refuses from the file
// alone); nothing when every value to write fits.
std::optional<std::string> write_problem(const std::vector<ValueState>& values);

// Reads the device, compares, asks the session's front end (with the list
// of differences) unless `dry_run` or nothing differs, writes only the
// values that differ in the console's order (the FTP parameters, then the
// JAD parameters, each in a port opening of its own), then reads every
// written value back.  A profile the device cannot hold is refused before
// anything is sent.  The outcome holds every value the profile names, in
// the order they would be written (the device's value before, the profile's
// as the value asked); it is the one the report records for the apply.
Outcome apply_profile(Session& session, const Profile& wanted, const settings::Settings& settings,
                      bool dry_run);

} // namespace tessal::device
