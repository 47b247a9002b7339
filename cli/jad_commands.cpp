// SPDX-License-Identifier: Apache-2.0
// The JAD descriptor: read whole or one parameter, and one parameter set.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/jad_descriptor.h"
#include "device/operations.h"

namespace tessal::cli {

namespace {

// The parameter of that name ("NAME" or "NAME:") in a descriptor read.
std::optional<std::string> jad_value(const device::JadRead& read, std::string name) {
    if (name.empty() || name.back() != ':') {
        name += ':';
    }
    for (int k = 0; k < read.table.count; ++k) {
        if (read.table.names[static_cast<std::size_t>(k)] == name) {
            return read.table.values[static_cast<std::size_t>(k)];
        }
    }
    return std::nullopt;
}

// The whole descriptor: as it came, and its parameters by name.
Result descriptor(const device::JadRead& read) {
    std::vector<Field> parameters;
    for (int k = 0; k < read.table.count; ++k) {
        std::string name = read.table.names[static_cast<std::size_t>(k)];
        name.pop_back(); // the colon
        parameters.push_back({name, read.table.values[static_cast<std::size_t>(k)]});
    }
    Result r = as_it_came({"descriptor", *read.descriptor});
    add_group(r, "parameters", parameters);
    return r;
}

Result jad_get(Commands& c) {
    auto [report, read] =
        c.with_session([](device::Session& s) { return device::read_jad(s, {}); });
    if (!read.descriptor) {
        return failure(report);
    }
    if (c.in().words.size() < 3) {
        return descriptor(read);
    }
    const std::string& name = c.in().words[2];
    const std::optional<std::string> value = jad_value(read, name);
    if (!value) {
        return failure(device::Failure::Kind::value_missing, {}, name);
    }
    Result r;
    add_fields(r, {{"name", name}, {"value", *value, Field::State::value, {""}}});
    return r;
}

// --verify: the parameter must read back as it was sent.
Result verified(Commands& c, const std::string& name, const std::string& value, Result r) {
    auto [check, read] = c.with_session([](device::Session& s) { return device::read_jad(s, {}); });
    if (!read.descriptor) {
        return failure(check);
    }
    // The descriptor shows a value after a blank; the value goes out as given.
    const std::optional<std::string> now = jad_value(read, name);
    if (now != value) {
        mismatch(r, now ? *now : "(missing)");
    }
    return r;
}

Result jad_set(Commands& c) {
    std::string name = c.in().words[2];
    const std::string& value = c.in().words[3];
    if (name.empty() || name == ":") {
        return usage_error("jad set needs a parameter name");
    }
    if (name.back() != ':') {
        name += ':';
    }
    // The value is checked as the window checks it before anything is sent.
    const device::JadRequest request = device::jad_value_request(name, value);
    if (request.command.empty()) {
        return bad_value(request.first ? request.first->text : std::string(),
                         *device::jad_value_problem(value));
    }
    auto [report, acknowledged] =
        c.with_session([&](device::Session& s) { return device::send_jad(s, request); });
    if (!acknowledged) {
        return failure(report);
    }
    Result r = message_result(report);
    return c.in().has("--verify") ? verified(c, name, value, r) : r;
}

constexpr Command kRows[] = {
    {"jad get", "[NAME]", "", "", Reach::device, jad_get},
    {"jad set", "NAME VALUE", "--verify", "[--verify]", Reach::device, jad_set},
};

} // namespace

std::span<const Command> jad_commands() {
    return kRows;
}

} // namespace tessal::cli
