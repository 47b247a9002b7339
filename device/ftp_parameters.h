// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The six FTP upload parameters in one table: each one's name on the wire,
// how its value is given, its name in a profile and in JSON, the longest
// value the console's box takes, the window's message for a value it
// refuses, the dialog's row caption, whether it is a secret and tessal-cli's
// option for it.  The operations, the dialog, the profile and tessal-cli
// walk this table and take their limits and checks from it, so that no front
// end sends what another refuses and a parameter is added in one row.
namespace tessal::device {

// The parameters, in the order they are read and sent: the table's order.
enum class FtpParameter : std::size_t { address, user, password, for_send, command, gprs };

// How a parameter's value is given, and so which rule checks it.
enum class FtpValueKind {
    address, // the server's four octets, "A.B.C.D"; typed one octet to a box
    text,    // typed text: a user name, a password, a folder
    gprs,    // an operator's GPRS parameter string, chosen from the operators
};

struct FtpParameterRow {
    FtpParameter parameter;
    FtpValueKind kind;
    const char* wire;    // "R" or "P" goes before it on the line
    const char* field;   // in a profile and in tessal-cli's JSON
    const char* caption; // the dialog's row label
    const char* refusal; // what the window says when it refuses the value
    // The longest value a box takes; for the address, one octet's box.  0:
    // the value is chosen, not typed.
    std::size_t longest;
    // Never shown or traced; written to a profile file only when asked, and
    // given to tessal-cli in a file that its option names.
    bool secret;
    const char* option;       // tessal-cli's option for it in "ftp set"
    const char* option_value; // what the option takes, as the usage shows it
};

inline constexpr std::array<FtpParameterRow, 6> kFtpParameterTable{{
    {FtpParameter::address, FtpValueKind::address, "FTPGovAddr", "address",
     "ftp adresa:", "Podaci za ftp adresu nisu dobro uneti.", 3, false, "--address", "A.B.C.D"},
    {FtpParameter::user, FtpValueKind::text, "FTPGovUser", "user",
     "username:", "Podaci za username nisu dobro uneti.", 32, false, "--user", "U"},
    {FtpParameter::password, FtpValueKind::text, "FTPGovPass", "password",
     "password:", "Podaci za password nisu dobro uneti.", 32, true, "--password-file", "F"},
    {FtpParameter::for_send, FtpValueKind::text, "FTP_pathFILES", "for_send",
     "for send:", "Podaci za for send nisu dobro uneti.", 32, false, "--for-send", "PATH"},
    {FtpParameter::command, FtpValueKind::text, "FtpGovFoldsCommand", "command",
     "command:", "Podaci za command nisu dobro uneti.", 32, false, "--command", "PATH"},
    {FtpParameter::gprs, FtpValueKind::gprs, "gprsParamVlada", "gprs",
     "operater:", "Odaberite operatera.", 0, false, "--gprs", "TEXT"},
}};

// Each row stands at its parameter's place, so that a parameter finds its
// row and a value of its own without a second list.
static_assert([] {
    for (std::size_t at = 0; at < kFtpParameterTable.size(); ++at) {
        if (static_cast<std::size_t>(kFtpParameterTable[at].parameter) != at) {
            return false;
        }
    }
    return true;
}());

constexpr const FtpParameterRow& ftp_parameter(FtpParameter parameter) {
    return kFtpParameterTable[static_cast<std::size_t>(parameter)];
}

// The parameter's field in an outcome and in a profile's messages:
// "ftp.user".
std::string ftp_field(FtpParameter parameter);

// One T for each parameter, found by the parameter.  Whatever goes through
// them in order walks kFtpParameterTable.
template <typename T> class FtpByParameter {
  public:
    constexpr T& operator[](FtpParameter parameter) {
        return items_[static_cast<std::size_t>(parameter)];
    }
    constexpr const T& operator[](FtpParameter parameter) const {
        return items_[static_cast<std::size_t>(parameter)];
    }
    constexpr auto begin() const { return items_.begin(); }
    constexpr auto end() const { return items_.end(); }
    bool operator==(const FtpByParameter&) const = default;

  private:
    std::array<T, kFtpParameterTable.size()> items_{};
};

// One text for each parameter, in the device's character set: the address
// as "A.B.C.D", the typed texts as they are, the GPRS parameter string.
using FtpValues = FtpByParameter<std::string>;

// The longest text a typed box takes (a user name, password or folder), and
// an address octet's box.
inline constexpr std::size_t kLongestFtpValue = [] {
    std::size_t longest = 0;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (row.kind == FtpValueKind::text && row.longest > longest) {
            longest = row.longest;
        }
    }
    return longest;
}();
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

// A user name, password or folder typed for `parameter`: not blank, at most
// as long as its box (32 characters), every character one the line carries.
// Nothing when it fits; otherwise why not ("empty", "longer than 32
// characters", "a character the device cannot carry").
std::optional<std::string> ftp_text_problem(FtpParameter parameter, std::string_view text);

} // namespace tessal::device
