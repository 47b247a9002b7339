// SPDX-License-Identifier: Apache-2.0
// The device's basic commands, and the ports and operators the settings know.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/device_text.h"
#include "device/operations.h"
#include "device/sim_replies.h"
#include "link/messages.h"
#include "link/port_map.h"

namespace tessal::cli {

namespace {

Result read_text(Commands& c, const char* name,
                 std::optional<std::string> (*read)(device::Session&)) {
    auto [report, value] = c.with_session(read);
    return value ? single({name, *value}) : failure(report);
}

Result version(Commands& c) {
    return read_text(c, "version", device::read_version);
}

Result last_command(Commands& c) {
    return read_text(c, "last_command", device::read_last_command);
}

Result restart(Commands& c) {
    return acknowledged_result(c.with_session(device::restart));
}

Result reset(Commands& c) {
    if (!c.in().has("--yes")) {
        // The console asks first; here the question is --yes.
        return failure(Own::not_confirmed, link::kMsgConfirm, "reset sends nothing without --yes");
    }
    return acknowledged_result(c.with_session(device::reset));
}

Result test(Commands& c) {
    return acknowledged_result(c.with_session(device::test_link));
}

Result imei(Commands& c) {
    auto [report, value] = c.with_session(device::read_imei);
    // A reply without an IMEI leaves the console's box empty.
    return value && !value->empty() ? single({"imei", *value}) : failure(report);
}

Result signal(Commands& c) {
    auto [report, value] = c.with_session(device::read_signal_level);
    if (!value || value->strength < 0) {
        return failure(report);
    }
    const std::string strength = std::to_string(value->strength);
    return grouped("signal",
                   {{"strength", strength, Field::State::number},
                    {"bar", std::to_string(value->bar), Field::State::number},
                    {"label", value->label}},
                   strength);
}

Result at(Commands& c) {
    const std::string& command = c.in().words[1];
    auto [report, reply] =
        c.with_session([&](device::Session& s) { return device::pass_through(s, command); });
    if (!reply) {
        return failure(report);
    }
    Result r = as_it_came({"reply", *reply});
    if (device::modem_error(*reply)) {
        fail(r, device::Failure::Kind::modem_error, {}, *reply);
    }
    return r;
}

const link::PortInfo& info(const link::PortDescription& port) {
    static const link::PortInfo kUnlisted;
    return port.listed ? *port.listed : kUnlisted;
}

// A port as the console's port list tells it: "1 /dev/ttyUSB0 (FT232R USB UART)".
constexpr Column<link::PortDescription> kPortColumns[] = {
    {"number", [](const link::PortDescription& p) { return number(p.number); }, {""}},
    {"device", [](const link::PortDescription& p) { return own_text(p.device); }, {" "}},
    {"present", [](const link::PortDescription& p) { return truth(p.listed.has_value()); }},
    {"adapter", [](const link::PortDescription& p) { return truth(info(p).adapter); }},
    {"description",
     [](const link::PortDescription& p) { return own_text(info(p).description); },
     {" (", ")", Line::Shown::when_given}},
    {"serial_number",
     [](const link::PortDescription& p) { return own_text(info(p).serial_number); }},
};

// What each port number reaches.
Result ports(Commands& c) {
    Result r;
    add_list(r, "ports", link::describe_ports(c.settings().com_devices, c.machine().ports()),
             kPortColumns);
    return r;
}

// An operator of the settings' table, by its row.
struct Operator {
    std::size_t index;
    const settings::Settings& settings;
};

// "0<TAB>Mts<TAB>gprs.mts"
constexpr Column<Operator> kOperatorColumns[] = {
    {"index", [](const Operator& o) { return number(static_cast<long long>(o.index)); }, {""}},
    {"name",
     [](const Operator& o) { return device_text(o.settings.operator_names[o.index].value_or("")); },
     {"\t"}},
    {"gprs",
     [](const Operator& o) { return device_text(o.settings.gprs_strings[o.index].value_or("")); },
     {"\t"}},
};

Result operators(Commands& c) {
    std::vector<Operator> in_use;
    for (std::size_t i = 0; i < settings::operators_in_use(c.settings()); ++i) {
        in_use.push_back({i, c.settings()});
    }
    Result r;
    add_list(r, "operators", in_use, kOperatorColumns);
    return r;
}

constexpr Command kRows[] = {
    {"ports", "", "", "", Reach::machine, ports},
    {"version", "", "", "", Reach::device, version},
    {"last-command", "", "", "", Reach::device, last_command},
    {"restart", "", "", "", Reach::device, restart},
    {"reset", "", "--yes", "--yes", Reach::device, reset},
    {"test", "", "", "", Reach::device, test},
    {"imei", "", "", "", Reach::device, imei},
    {"signal", "", "", "", Reach::device, signal},
    {"operators", "", "", "", Reach::machine, operators},
    {"at", "COMMAND", "", "", Reach::device, at},
};

} // namespace

std::span<const Command> device_commands() {
    return kRows;
}

} // namespace tessal::cli
