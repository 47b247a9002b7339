// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/commands.h"
#include "register/register.h"

// What the commands that read or write the register share.
namespace tessal::cli {

// Where the register is: as configured for the machine, any part of it
// given on the command line instead (--register, --password-file,
// --station).
reg::Place register_place(const Invocation& in);

// The register's failure, with its exit status.
Result register_failed(const reg::Failure& failure);
// The register cannot be opened, read or written.
Result register_failed(const QString& text);

// A file written with the register's rows: its name as the text, and in
// the JSON object "file" and the number of rows as `counted`.
Result file_written(const std::string& file, const char* counted, std::size_t rows);

} // namespace tessal::cli
