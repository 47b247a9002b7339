// SPDX-License-Identifier: Apache-2.0
// The device's basic commands, and the ports and operators the settings know.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/device_text.h"
#include "device/operations.h"
#include "device/sim_replies.h"
#include "link/messages.h"
#include "link/port_map.h"

#include <QJsonArray>

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
        return refused(kUsage, "not_confirmed", link::kMsgConfirm,
                       "reset sends nothing without --yes");
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
        const Result error = failure(device::Failure::Kind::modem_error, {}, *reply);
        r.exit = error.exit;
        r.error = error.error;
    }
    return r;
}

// What each port number reaches, as the console's port list tells it.
Result ports(Commands& c) {
    QJsonArray ports;
    Result r;
    for (const link::PortDescription& port :
         link::describe_ports(c.settings().com_devices, c.machine().ports())) {
        const link::PortInfo info = port.listed.value_or(link::PortInfo{});
        QJsonObject entry;
        entry["number"] = port.number;
        entry["device"] = QString::fromStdString(port.device);
        entry["present"] = port.listed.has_value();
        entry["adapter"] = info.adapter;
        entry["description"] = QString::fromStdString(info.description);
        entry["serial_number"] = QString::fromStdString(info.serial_number);
        ports.append(entry);
        r.text += (port.number > 1 ? "\n" : "") + std::to_string(port.number) + " " + port.device;
        if (!info.description.empty()) {
            r.text += " (" + printable(info.description) + ")";
        }
    }
    r.values["ports"] = ports;
    return r;
}

Result operators(Commands& c) {
    const settings::Settings& settings = c.settings();
    QJsonArray operators;
    Result r;
    for (std::size_t i = 0; i < settings::operators_in_use(settings); ++i) {
        const std::vector<Field> fields{{"name", settings.operator_names[i].value_or("")},
                                        {"gprs", settings.gprs_strings[i].value_or("")}};
        QJsonObject entry;
        entry["index"] = static_cast<int>(i);
        add_fields(entry, fields);
        operators.append(entry);
        r.text += (i > 0 ? "\n" : "") + std::to_string(i) + "\t" +
                  printable(field_text(fields[0])) + "\t" + printable(field_text(fields[1]));
    }
    r.values["operators"] = operators;
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
