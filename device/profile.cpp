// SPDX-License-Identifier: Apache-2.0
#include "profile.h"

#include "device/ftp_replies.h"
#include "device/operations.h"
#include "link/frame.h"
#include "link/messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>

namespace tessal::device {

namespace {

constexpr const char* kNotSent = "nije poslato";

std::optional<std::string> Profile::*const kFtpMembers[6] = {&Profile::address,  &Profile::user,
                                                             &Profile::password, &Profile::for_send,
                                                             &Profile::command,  &Profile::gprs};

// The address as the console sends it.
std::string address_as_sent(const std::string& address) {
    const std::optional<std::array<std::string, 4>> octets = four_octets(address);
    return octets ? sent_address(*octets) : address;
}

std::optional<std::string> jad_value(const Profile& profile, const std::string& name) {
    for (const auto& [key, value] : profile.jad) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace

std::string profile_json(const Profile& profile, bool with_secrets) {
    QJsonObject source;
    source["version"] = from_device(profile.source.version);
    source["imei"] = from_device(profile.source.imei);
    source["read_at"] = from_device(profile.source.read_at);
    source["port"] = from_device(profile.source.port);
    QJsonObject ftp;
    for (std::size_t i = 0; i < kFtpFields.size(); ++i) {
        const std::optional<std::string>& value = profile.*kFtpMembers[i];
        if (!value) {
            continue;
        }
        if (kFtpFields[i] == std::string("password")) {
            if (with_secrets) {
                QJsonObject secret;
                secret["secret"] = from_device(*value);
                ftp["password"] = secret;
            }
            continue;
        }
        ftp[kFtpFields[i]] = from_device(*value);
    }
    if (profile.operator_name) {
        ftp["operator"] = from_device(*profile.operator_name);
    }
    QJsonObject jad;
    for (const auto& [name, value] : profile.jad) {
        jad[from_device(name)] = from_device(value);
    }
    QJsonObject root;
    root["schema"] = 1;
    root["source"] = source;
    root["ftp"] = ftp;
    root["jad"] = jad;
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

std::optional<Profile> parse_profile(const std::string& json, std::string& problem) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (document.isNull() || !document.isObject()) {
        problem = document.isNull() ? "not JSON: " + error.errorString().toStdString()
                                    : "not a profile: the top is not an object";
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    if (!root.value("schema").isDouble() || root.value("schema").toInt() != 1) {
        problem = "schema: not a profile of schema 1";
        return std::nullopt;
    }
    for (const QString& key : root.keys()) {
        if (key != "schema" && key != "source" && key != "ftp" && key != "jad") {
            problem = key.toStdString() + ": not a part of a profile";
            return std::nullopt;
        }
    }
    Profile profile;
    // A text member, as the device's bytes.
    const auto text_of = [&problem](const QJsonValue& value,
                                    const std::string& field) -> std::optional<std::string> {
        if (!value.isString()) {
            problem = field + ": not a text";
            return std::nullopt;
        }
        std::optional<std::string> converted = device_bytes(value.toString());
        if (!converted) {
            problem = field + ": a character the device cannot carry";
        }
        return converted;
    };
    const QJsonValue ftp_value = root.value("ftp");
    if (!ftp_value.isUndefined() && !ftp_value.isObject()) {
        problem = "ftp: not an object";
        return std::nullopt;
    }
    const QJsonObject ftp = ftp_value.toObject();
    for (const QString& key : ftp.keys()) {
        const std::string field = "ftp." + key.toStdString();
        const auto known = std::find(kFtpFields.begin(), kFtpFields.end(), key.toStdString());
        if (key == "operator") {
            profile.operator_name = text_of(ftp.value(key), field);
            if (!profile.operator_name) {
                return std::nullopt;
            }
            continue;
        }
        if (known == kFtpFields.end()) {
            problem = field + ": not an FTP parameter";
            return std::nullopt;
        }
        QJsonValue value = ftp.value(key);
        if (key == "password" && value.isObject()) {
            value = value.toObject().value("secret"); // written as a secret
        }
        std::optional<std::string> converted = text_of(value, field);
        if (!converted) {
            return std::nullopt;
        }
        profile.*kFtpMembers[static_cast<std::size_t>(known - kFtpFields.begin())] =
            std::move(converted);
    }
    const QJsonValue jad_value_ = root.value("jad");
    if (!jad_value_.isUndefined() && !jad_value_.isObject()) {
        problem = "jad: not an object";
        return std::nullopt;
    }
    const QJsonObject jad = jad_value_.toObject();
    for (const QString& key : jad.keys()) {
        const std::string field = "jad." + key.toStdString();
        std::optional<std::string> name = device_bytes(key);
        std::optional<std::string> value = text_of(jad.value(key), field);
        if (!name || !value) {
            if (!name) {
                problem = field + ": a character the device cannot carry";
            }
            return std::nullopt;
        }
        profile.jad.emplace_back(std::move(*name), std::move(*value));
    }
    const QJsonObject source = root.value("source").toObject();
    profile.source.version = device_bytes(source.value("version").toString()).value_or("");
    profile.source.imei = device_bytes(source.value("imei").toString()).value_or("");
    profile.source.read_at = device_bytes(source.value("read_at").toString()).value_or("");
    profile.source.port = device_bytes(source.value("port").toString()).value_or("");
    return profile;
}

std::optional<std::string> profile_problem(const Profile& profile) {
    if (profile.address) {
        const std::string& address = *profile.address;
        std::size_t from = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t stop = i < 3 ? address.find('.', from) : address.size();
            if (stop == std::string::npos) {
                return "ftp.address: not four octets A.B.C.D";
            }
            const std::string octet = address.substr(from, stop - from);
            if (trim_blanks(octet).empty() || octet.size() > kLongestOctet ||
                !is_device_text(octet)) {
                return "ftp.address: octet " + std::to_string(i + 1) +
                       " empty, longer than 3 characters or not device text";
            }
            from = stop + 1;
        }
    }
    // User, password, folders: what the console's boxes take.
    for (std::size_t i = 1; i <= 4; ++i) {
        const std::optional<std::string>& value = profile.*kFtpMembers[i];
        const std::string field = std::string("ftp.") + kFtpFields[i];
        if (!value) {
            continue;
        }
        if (value->size() > kLongestFtpValue) {
            return field + ": longer than 32 characters";
        }
        if (!is_device_text(*value)) {
            return field + ": a character the device cannot carry";
        }
    }
    if (profile.gprs && !is_device_text(*profile.gprs)) {
        return "ftp.gprs: a character the device cannot carry";
    }
    for (const auto& [name, value] : profile.jad) {
        const std::string field = "jad." + name;
        if (name.empty() || name.find(':') != std::string::npos || !is_device_text(name)) {
            return field + ": not a parameter name";
        }
        if (!is_device_text(value)) {
            return field + ": a character the device cannot carry";
        }
    }
    return std::nullopt;
}

std::optional<Profile> read_profile(Session& session, const settings::Settings& settings) {
    const std::size_t said = session.report().messages.size();
    Profile profile;
    const std::optional<std::string> version = read_version(session);
    if (!version) {
        return std::nullopt;
    }
    profile.source.port = session.device();
    profile.source.version = *version;
    const std::optional<std::string> imei = read_imei(session);
    if (!imei) {
        return std::nullopt;
    }
    profile.source.imei = *imei;
    const FtpRead ftp = read_ftp(session, settings);
    if (ftp.rows_read < kFtpFields.size()) {
        return std::nullopt;
    }
    profile.address = joined_address(ftp.address);
    profile.user = ftp.texts[0];
    profile.password = ftp.texts[1];
    profile.for_send = ftp.texts[2];
    profile.command = ftp.texts[3];
    profile.gprs = ftp.gprs;
    if (ftp.operator_index) {
        profile.operator_name = settings.operator_names[*ftp.operator_index].value_or("");
    }
    const JadRead jad = read_jad(session, {});
    if (!jad.descriptor) {
        return std::nullopt;
    }
    for (int k = 0; k < jad.table.count; ++k) {
        std::string name = jad.table.names[static_cast<std::size_t>(k)];
        name.pop_back(); // the colon
        // Text folded into a name by a line without a colon is no parameter.
        if (!name.empty() && is_device_text(name)) {
            profile.jad.emplace_back(name, jad.table.values[static_cast<std::size_t>(k)]);
        }
    }
    // The reads' own messages (an unknown GPRS string, a descriptor that did
    // not parse) belong to the window's reads, not to a profile.
    session.keep_messages(said);
    return profile;
}

const char* state_name(ValueState::State state) {
    using State = ValueState::State;
    switch (state) {
    case State::unchanged:
        return "unchanged";
    case State::differs:
        return "differs";
    case State::confirmed:
        return "confirmed";
    case State::read_back_differs:
        return "read_back_differs";
    case State::written:
        return "written";
    case State::not_written:
        return "not_written";
    }
    return "";
}

std::string values_json(const std::vector<ValueState>& values) {
    QJsonArray list;
    for (const ValueState& v : values) {
        QJsonObject entry;
        entry["field"] = from_device(v.field);
        entry["state"] = state_name(v.state);
        const std::pair<const char*, const std::string*> members[]{
            {"device", &v.device}, {"profile", &v.wanted}, {"now", &v.now}, {"why", &v.why}};
        for (const auto& [key, value] : members) {
            if (!value->empty()) {
                entry[key] = from_device(*value);
            }
        }
        list.append(entry);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact).toStdString();
}

std::vector<ValueState> compare_profile(const Profile& device, const Profile& wanted) {
    std::vector<ValueState> values;
    for (std::size_t i = 0; i < kFtpFields.size(); ++i) {
        const std::optional<std::string>& want = wanted.*kFtpMembers[i];
        if (!want) {
            continue;
        }
        const std::string have = (device.*kFtpMembers[i]).value_or("");
        const bool address = i == 0;
        const bool secret = i == 2;
        ValueState v;
        v.field = std::string("ftp.") + kFtpFields[i];
        v.device = secret ? kHidden : have;
        v.wanted = secret ? kHidden : *want;
        const bool same = address ? address_as_sent(*want) == address_as_sent(have) : *want == have;
        v.state = same ? ValueState::State::unchanged : ValueState::State::differs;
        values.push_back(std::move(v));
    }
    // The descriptor's order first, then what the device does not have.
    std::vector<std::string> order;
    for (const auto& [name, value] : device.jad) {
        if (jad_value(wanted, name)) {
            order.push_back(name);
        }
    }
    for (const auto& [name, value] : wanted.jad) {
        if (!jad_value(device, name)) {
            order.push_back(name);
        }
    }
    for (const std::string& name : order) {
        ValueState v;
        v.field = "jad." + name;
        v.device = jad_value(device, name).value_or("");
        v.wanted = *jad_value(wanted, name);
        v.state = jad_value(device, name) == v.wanted ? ValueState::State::unchanged
                                                      : ValueState::State::differs;
        values.push_back(std::move(v));
    }
    return values;
}

namespace {

bool differs(const ValueState& v) {
    return v.state == ValueState::State::differs;
}

// "ftp.user" and its place in the FTP rows, or nothing for a JAD value.
std::optional<std::size_t> ftp_row(const std::string& field) {
    for (std::size_t i = 0; i < kFtpFields.size(); ++i) {
        if (field == std::string("ftp.") + kFtpFields[i]) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

ApplyResult apply_profile(Session& session, const Profile& wanted,
                          const settings::Settings& settings, bool dry_run) {
    ApplyResult result;
    if (const std::optional<std::string> problem = profile_problem(wanted)) {
        session.say(*problem);
        result.refusal = *problem;
        return result;
    }
    const std::optional<Profile> device = read_profile(session, settings);
    if (!device) {
        return result;
    }
    result.values = compare_profile(*device, wanted);
    if (std::none_of(result.values.begin(), result.values.end(), differs)) {
        result.complete = true;
        return result;
    }
    // The console sends no empty text (the address aside, whose octets are
    // checked above): a value that would go out empty is refused before
    // anything is written.
    for (const ValueState& v : result.values) {
        if (differs(v) && v.field != "ftp.address" && v.field != "ftp.gprs" &&
            trim_blanks(v.wanted).empty()) {
            result.refusal = v.field + ": empty";
            session.say(result.refusal);
            return result;
        }
    }
    if (dry_run) {
        result.held_back = true;
        return result;
    }
    std::string question = "Razlike (uredjaj -> profil):\n";
    for (const ValueState& v : result.values) {
        if (differs(v)) {
            question += v.field + ": " + v.device + " -> " + v.wanted + "\n";
        }
    }
    if (!session.ask(question + "\n" + link::kMsgConfirm)) {
        result.held_back = true;
        return result;
    }
    const std::size_t said = session.report().messages.size();

    // The FTP rows that differ, in one action as the console sends them.
    FtpRows rows;
    for (const ValueState& v : result.values) {
        if (const std::optional<std::size_t> row = ftp_row(v.field); row && differs(v)) {
            rows.ticked[*row] = true;
        }
    }
    if (wanted.address) {
        rows.address = split_address(*wanted.address); // four octets, as checked above
    }
    rows.texts = {wanted.user.value_or(""), wanted.password.value_or(""),
                  wanted.for_send.value_or(""), wanted.command.value_or("")};
    rows.gprs = wanted.gprs;
    bool stopped = false;
    std::string why;
    if (std::any_of(rows.ticked.begin(), rows.ticked.end(), [](bool t) { return t; })) {
        const FtpSent sent = send_ftp(session, rows, settings);
        for (ValueState& v : result.values) {
            const std::optional<std::size_t> row = ftp_row(v.field);
            if (!row || !differs(v)) {
                continue;
            }
            const bool acknowledged = std::find(sent.acknowledged.begin(), sent.acknowledged.end(),
                                                *row) != sent.acknowledged.end();
            if (acknowledged) {
                v.state = ValueState::State::written;
            } else {
                v.state = ValueState::State::not_written;
                v.why = stopped || session.report().messages.empty()
                            ? kNotSent
                            : session.report().messages.back().text;
                stopped = true;
            }
        }
    }
    // Then the JAD parameters, one request each.
    for (ValueState& v : result.values) {
        if (ftp_row(v.field) || !differs(v)) {
            continue;
        }
        if (stopped) {
            v.state = ValueState::State::not_written;
            v.why = kNotSent;
            continue;
        }
        const std::string name = v.field.substr(4);
        if (send_jad(session, "P" + name + ":" + v.wanted)) {
            v.state = ValueState::State::written;
        } else {
            v.state = ValueState::State::not_written;
            v.why = session.report().messages.empty() ? std::string()
                                                      : session.report().messages.back().text;
            stopped = true;
        }
        session.close();
    }
    result.stopped = stopped;

    // Every value written is read back.
    const bool any_written = std::any_of(result.values.begin(), result.values.end(), [](auto& v) {
        return v.state == ValueState::State::written;
    });
    if (any_written && !session.cancelled()) {
        if (const std::optional<Profile> now = read_profile(session, settings)) {
            const std::vector<ValueState> after = compare_profile(*now, wanted);
            for (ValueState& v : result.values) {
                if (v.state != ValueState::State::written) {
                    continue;
                }
                const auto again =
                    std::find_if(after.begin(), after.end(),
                                 [&](const ValueState& a) { return a.field == v.field; });
                if (again == after.end()) {
                    continue;
                }
                v.now = again->device;
                v.state = again->state == ValueState::State::unchanged
                              ? ValueState::State::confirmed
                              : ValueState::State::read_back_differs;
            }
        }
    }
    // The requests' own messages are in the values now, but for the one that
    // stopped the apply.
    session.keep_messages(said);
    const auto stopper = std::find_if(result.values.begin(), result.values.end(), [](auto& v) {
        return v.state == ValueState::State::not_written && !v.why.empty() && v.why != kNotSent;
    });
    if (stopper != result.values.end()) {
        session.say(stopper->why);
    }
    result.complete = std::all_of(result.values.begin(), result.values.end(), [](auto& v) {
        return v.state == ValueState::State::unchanged || v.state == ValueState::State::confirmed;
    });
    return result;
}

} // namespace tessal::device
