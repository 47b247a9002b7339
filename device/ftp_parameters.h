// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The six FTP upload parameters in one table: each one's name on the wire,
// its name in a profile and in JSON, the longest value the console's box
// takes, the window's message for a value it refuses and the dialog's row
// caption.  The dialog, the profile and tessal-cli take their limits and
// checks from here, so that no front end sends what another refuses.
namespace tessal::device {

// The parameters, in the order they are read and sent.
enum class FtpParameter : std::size_t { address, user, password, for_send, command, gprs };

struct FtpParameterRow {
    const char* wire;    // "R" or "P" goes before it on the line
    const char* field;   // in a profile and in tessal-cli's JSON
    const char* caption; // the dialog's row label
    const char* refusal; // what the window says when it refuses the value
    // The longest value a box takes; for the address, one octet's box.  0:
    // the value is chosen, not typed.
    std::size_t longest;
};

inline constexpr std::array<FtpParameterRow, 6> kFtpParameterTable{{
    {"FTPGovAddr", "address", "ftp adresa:", "Podaci za ftp adresu nisu dobro uneti.", 3},
    {"FTPGovUser", "user", "username:", "Podaci za username nisu dobro uneti.", 32},
    {"FTPGovPass", "password", "password:", "Podaci za password nisu dobro uneti.", 32},
    {"FTP_pathFILES", "for_send", "for send:", "Podaci za for send nisu dobro uneti.", 32},
    {"FtpGovFoldsCommand", "command", "command:", "Podaci za command nisu dobro uneti.", 32},
    {"gprsParamVlada", "gprs", "operater:", "Odaberite operatera.", 0},
}};

constexpr const FtpParameterRow& ftp_parameter(FtpParameter parameter) {
    return kFtpParameterTable[static_cast<std::size_t>(parameter)];
}
constexpr FtpParameter ftp_parameter_at(std::size_t row) {
    return static_cast<FtpParameter>(row);
}

// The longest text a user name, password or folder box takes, and an address
// octet's box.
inline constexpr std::size_t kLongestFtpValue = ftp_parameter(FtpParameter::user).longest;
inline constexpr std::size_t kLongestOctet = ftp_parameter(FtpParameter::address).longest;
// The largest value of an octet: no server has an address beyond it.
inline constexpr int kLargestOctet = 255;

// One octet as typed into its box: at most three characters, and without
// its blanks one to three digits of at most 255.  Nothing when it fits;
// otherwise why not ("empty, longer than 3 characters or not device text",
// "not a number from 0 to 255").
std::optional<std::string> octet_problem(std::string_view octet);

// The four octets: nothing when every one fits, otherwise the first that
// does not, named ("octet 4 not a number from 0 to 255").
std::optional<std::string> octets_problem(const std::array<std::string, 4>& octets);

// The address as one text "A.B.C.D": four octets as above.
std::optional<std::string> address_problem(std::string_view address);

// A user name, password or folder: not blank, at most 32 characters, every
// character one the line carries.  Nothing when it fits; otherwise why not
// ("empty", "longer than 32 characters", "a character the device cannot
// carry").
std::optional<std::string> ftp_text_problem(std::string_view text);

} // namespace tessal::device
