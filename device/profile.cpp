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

// The FTP parameter of a value's field ("ftp.user"), or nothing for a JAD
// value.
const FtpParameterRow* ftp_row(const std::string& field) {
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (field == ftp_field(row.parameter)) {
            return &row;
        }
    }
    return nullptr;
}

std::optional<std::string> jad_value(const Profile& profile, const std::string& name) {
    for (const auto& [key, value] : profile.jad) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

// A name from the file as a message names it: cut after kLongestJadName
// characters, and as visible characters.
QString shown_name(QString name) {
    if (name.size() > static_cast<qsizetype>(kLongestJadName)) {
        name = name.left(static_cast<qsizetype>(kLongestJadName)) + QStringLiteral("...");
    }
    return visible(name);
}

// Why a JAD parameter's name cannot stand in the descriptor, or nothing.
std::optional<std::string> jad_name_problem(const std::string& name) {
    if (name.size() > kLongestJadName) {
        return "a name longer than " + std::to_string(kLongestJadName) + " characters";
    }
    if (name.empty() || name.find(':') != std::string::npos || !is_device_text(name)) {
        return "not a parameter name";
    }
    return std::nullopt;
}

// The first member name that stands twice in one object of the JSON text,
// with the names of the objects around it ("ftp.user"); nothing when every
// name is given once.  A JSON reader keeps one of the two silently.
std::optional<std::string> repeated_name(const std::string& json) {
    struct Level {
        bool object = false;
        bool expecting_name = false;
        std::string path;
        std::vector<QString> names;
        QString last;
    };
    std::vector<Level> levels;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char ch = json[i];
        if (ch == '"') {
            const std::size_t start = i;
            for (++i; i < json.size() && json[i] != '"'; ++i) {
                if (json[i] == '\\') {
                    ++i;
                }
            }
            if (levels.empty() || !levels.back().object || !levels.back().expecting_name) {
                continue;
            }
            // The name with its escapes read as JSON reads them.
            const QByteArray quoted =
                QByteArray("[") +
                QByteArray(json.data() + start, static_cast<qsizetype>(i + 1 - start)) + "]";
            const QString name = QJsonDocument::fromJson(quoted).array().at(0).toString();
            Level& level = levels.back();
            level.expecting_name = false;
            level.last = name;
            if (std::find(level.names.begin(), level.names.end(), name) != level.names.end()) {
                return level.path + shown_name(name).toStdString();
            }
            level.names.push_back(name);
        } else if (ch == '{' || ch == '[') {
            std::string path;
            if (!levels.empty()) {
                path = levels.back().path +
                       (levels.back().object ? shown_name(levels.back().last).toStdString() + "."
                                             : "");
            }
            levels.push_back({ch == '{', ch == '{', path, {}, {}});
        } else if (ch == '}' || ch == ']') {
            if (!levels.empty()) {
                levels.pop_back();
            }
        } else if (ch == ',' && !levels.empty() && levels.back().object) {
            levels.back().expecting_name = true;
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
    for (const FtpParameterRow& row : kFtpParameterTable) {
        const std::optional<std::string>& value = profile.ftp[row.parameter];
        if (!value) {
            continue;
        }
        if (row.secret) {
            if (with_secrets) {
                QJsonObject secret;
                secret["secret"] = from_device(*value);
                ftp[row.field] = secret;
            }
            continue;
        }
        ftp[row.field] = from_device(*value);
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

namespace {

// The profile's top object, once the text is JSON, names no member twice,
// is of schema 1 and holds only a profile's parts.
std::optional<QJsonObject> profile_root(const std::string& json, std::string& problem) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (document.isNull() || !document.isObject()) {
        problem = document.isNull() ? "not JSON: " + error.errorString().toStdString()
                                    : "not a profile: the top is not an object";
        return std::nullopt;
    }
    if (const std::optional<std::string> repeated = repeated_name(json)) {
        problem = *repeated + ": given twice";
        return std::nullopt;
    }
    QJsonObject root = document.object();
    if (!root.value("schema").isDouble() || root.value("schema").toInt() != 1) {
        problem = "schema: not a profile of schema 1";
        return std::nullopt;
    }
    for (const QString& key : root.keys()) {
        if (key != "schema" && key != "source" && key != "ftp" && key != "jad") {
            problem = shown_name(key).toStdString() + ": not a part of a profile";
            return std::nullopt;
        }
    }
    return root;
}

// A text member, as the device's bytes.
std::optional<std::string> text_of(const QJsonValue& value, const std::string& field,
                                   std::string& problem) {
    if (!value.isString()) {
        problem = field + ": not a text";
        return std::nullopt;
    }
    std::optional<std::string> converted = device_bytes(value.toString());
    if (!converted) {
        problem = field + ": a character the device cannot carry";
    }
    return converted;
}

// A part of the profile that is an object when it is there.
std::optional<QJsonObject> part_of(const QJsonObject& root, const char* name,
                                   std::string& problem) {
    const QJsonValue value = root.value(name);
    if (!value.isUndefined() && !value.isObject()) {
        problem = std::string(name) + ": not an object";
        return std::nullopt;
    }
    return value.toObject();
}

bool parse_ftp(const QJsonObject& root, Profile& profile, std::string& problem) {
    const std::optional<QJsonObject> ftp = part_of(root, "ftp", problem);
    if (!ftp) {
        return false;
    }
    for (const QString& key : ftp->keys()) {
        const std::string field = "ftp." + shown_name(key).toStdString();
        if (key == "operator") {
            profile.operator_name = text_of(ftp->value(key), field, problem);
            if (!profile.operator_name) {
                return false;
            }
            continue;
        }
        const auto known =
            std::find_if(kFtpParameterTable.begin(), kFtpParameterTable.end(),
                         [&key](const FtpParameterRow& row) { return key == row.field; });
        if (known == kFtpParameterTable.end()) {
            problem = field + ": not an FTP parameter";
            return false;
        }
        QJsonValue value = ftp->value(key);
        if (known->secret && value.isObject()) {
            value = value.toObject().value("secret"); // written as a secret
        }
        std::optional<std::string> converted = text_of(value, field, problem);
        if (!converted) {
            return false;
        }
        profile.ftp[known->parameter] = std::move(converted);
    }
    return true;
}

bool parse_jad(const QJsonObject& root, Profile& profile, std::string& problem) {
    const std::optional<QJsonObject> jad = part_of(root, "jad", problem);
    if (!jad) {
        return false;
    }
    for (const QString& key : jad->keys()) {
        const std::string field = "jad." + shown_name(key).toStdString();
        std::optional<std::string> name = device_bytes(key);
        std::optional<std::string> value = text_of(jad->value(key), field, problem);
        if (!name || !value) {
            if (!name) {
                problem = field + ": a character the device cannot carry";
            }
            return false;
        }
        profile.jad.emplace_back(std::move(*name), std::move(*value));
    }
    return true;
}

// Where the profile was read, as far as the file says.
Profile::Source source_of(const QJsonObject& root) {
    const QJsonObject source = root.value("source").toObject();
    const auto text = [&source](const char* name) {
        return device_bytes(source.value(name).toString()).value_or("");
    };
    return {text("version"), text("imei"), text("read_at"), text("port")};
}

} // namespace

std::optional<Profile> parse_profile(const std::string& json, std::string& problem) {
    const std::optional<QJsonObject> root = profile_root(json, problem);
    Profile profile;
    if (!root || !parse_ftp(*root, profile, problem) || !parse_jad(*root, profile, problem)) {
        return std::nullopt;
    }
    profile.source = source_of(*root);
    return profile;
}

namespace {

// The FTP value the profile names, checked by the rule of its kind.
std::optional<std::string> ftp_value_problem(const Profile& profile, const FtpParameterRow& row) {
    const std::optional<std::string>& value = profile.ftp[row.parameter];
    if (!value) {
        return std::nullopt;
    }
    switch (row.kind) {
    case FtpValueKind::address:
        return address_problem(*value);
    case FtpValueKind::text:
        // What the console's boxes take.  An empty one is refused only when
        // it would be written (write_problem).
        if (trim_blanks(*value).empty()) {
            return std::nullopt;
        }
        return ftp_text_problem(row.parameter, *value);
    case FtpValueKind::gprs:
        if (!is_device_text(*value)) {
            return "a character the device cannot carry";
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> profile_problem(const Profile& profile) {
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (const std::optional<std::string> problem = ftp_value_problem(profile, row)) {
            return std::string("ftp.") + row.field + ": " + *problem;
        }
    }
    for (const auto& [name, value] : profile.jad) {
        const std::string field = "jad." + to_device(shown_name(from_device(name)));
        if (const std::optional<std::string> problem = jad_name_problem(name)) {
            return field + ": " + *problem;
        }
        // As the FTP texts: an empty one is refused only when it would be
        // written; one too long for its line is refused from the file alone.
        if (trim_blanks(value).empty()) {
            continue;
        }
        if (const std::optional<std::string> problem = jad_value_problem(value)) {
            return field + ": " + *problem;
        }
    }
    return std::nullopt;
}

std::optional<std::string> write_problem(const std::vector<ValueState>& values) {
    for (const ValueState& v : values) {
        if (v.state != ValueState::State::differs) {
            continue;
        }
        // The console sends no empty text; a JAD value goes in one line.
        const FtpParameterRow* ftp = ftp_row(v.field);
        if (!ftp) {
            if (const std::optional<std::string> problem = jad_value_problem(v.wanted)) {
                return v.field + ": " + *problem;
            }
        } else if (ftp->kind == FtpValueKind::text && trim_blanks(v.wanted).empty()) {
            return v.field + ": empty";
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
    if (ftp.rows_read < kFtpParameterTable.size()) {
        return std::nullopt;
    }
    for (const FtpParameterRow& row : kFtpParameterTable) {
        profile.ftp[row.parameter] = ftp.values[row.parameter];
    }
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
        // Text folded into a name by a line without a colon is no parameter,
        // nor is a name no profile could hold.
        if (!jad_name_problem(name)) {
            profile.jad.emplace_back(name, jad.table.values[static_cast<std::size_t>(k)]);
        }
    }
    // The reads' own messages (an unknown GPRS string, a descriptor that did
    // not parse) belong to the window's reads, not to a profile.
    session.keep_messages(said);
    return profile;
}

std::vector<ValueState> compare_profile(const Profile& device, const Profile& wanted) {
    std::vector<ValueState> values;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        const std::optional<std::string>& want = wanted.ftp[row.parameter];
        if (!want) {
            continue;
        }
        const std::string have = device.ftp[row.parameter].value_or("");
        ValueState v;
        v.field = ftp_field(row.parameter);
        v.before = row.secret ? kHidden : have;
        v.wanted = row.secret ? kHidden : *want;
        // An address is the same when it goes out the same.
        const bool same = row.kind == FtpValueKind::address
                              ? address_as_sent(*want) == address_as_sent(have)
                              : *want == have;
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
        v.before = jad_value(device, name).value_or("");
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

// How far the writes of an apply came.
struct Stop {
    bool stopped = false;
    // The failure that stopped the apply: the read-back after it does not
    // replace it.
    std::optional<Failure> failure;
};

// The differences as the front end is asked about them.
std::string differences_question(const std::vector<ValueState>& values) {
    std::string question = "Razlike (uredjaj -> profil):\n";
    for (const ValueState& v : values) {
        if (differs(v)) {
            question += v.field + ": " + v.before.value_or("") + " -> " + v.wanted + "\n";
        }
    }
    return question + "\n" + link::kMsgConfirm;
}

// Reads and compares the device, then refuses, holds back or asks: true
// when the values that differ are to be written; otherwise `result` is the
// apply's.
bool ready_to_write(Session& session, const Profile& wanted, const settings::Settings& settings,
                    bool dry_run, Outcome& result) {
    if (const std::optional<std::string> problem = profile_problem(wanted)) {
        session.say(*problem);
        result.refusal = *problem;
        return false;
    }
    const std::optional<Profile> device = read_profile(session, settings);
    if (!device) {
        return false;
    }
    result.values = compare_profile(*device, wanted);
    if (std::none_of(result.values.begin(), result.values.end(), differs)) {
        return false;
    }
    // A value that would go out empty, or too long for its line, is refused
    // before anything is written.
    if (const std::optional<std::string> problem = write_problem(result.values)) {
        result.refusal = *problem;
        session.say(result.refusal);
        return false;
    }
    if (dry_run || !session.ask(differences_question(result.values))) {
        result.held_back = true;
        return false;
    }
    return true;
}

// The FTP rows that differ, in one action as the console sends them.
FtpRows rows_to_write(const Profile& wanted, const std::vector<ValueState>& values) {
    FtpRows rows;
    for (const ValueState& v : values) {
        if (const FtpParameterRow* row = ftp_row(v.field); row && differs(v)) {
            rows.ticked[row->parameter] = true;
        }
    }
    // Each value as the profile gives it: the address four octets, as
    // checked before, and the GPRS parameter string itself.
    for (const FtpParameterRow& row : kFtpParameterTable) {
        rows.values[row.parameter] = wanted.ftp[row.parameter].value_or("");
    }
    return rows;
}

// The FTP values that differ, sent as the window sends them, each taking
// what became of its row: a request that went out and whose acknowledgement
// was lost (the line dropped) may have been taken, so its value is unknown
// until it is read back.
void write_ftp(Session& session, const Profile& wanted, const settings::Settings& settings,
               std::vector<ValueState>& values, Stop& stop) {
    const FtpRows rows = rows_to_write(wanted, values);
    if (std::none_of(rows.ticked.begin(), rows.ticked.end(), [](bool t) { return t; })) {
        return;
    }
    send_ftp(session, rows, settings);
    const Outcome sent = session.take_write();
    for (ValueState& v : values) {
        if (const ValueState* row = sent.value(v.field)) {
            v.state = row->state;
            v.why = row->why;
        }
    }
    if (sent.stopped) {
        stop.failure = session.report().failure;
        stop.stopped = true;
    }
}

// Then the JAD values that differ, one request each; none after a stop.
void write_jad(Session& session, std::vector<ValueState>& values, Stop& stop) {
    for (ValueState& v : values) {
        if (ftp_row(v.field) || !differs(v)) {
            continue;
        }
        if (stop.stopped) {
            v.state = ValueState::State::not_written;
            v.why = kMsgNotSent;
            continue;
        }
        const std::string name = v.field.substr(4);
        send_jad(session, jad_value_request(name + ":", v.wanted));
        const Outcome sent = session.take_write();
        v.state = sent.values.front().state;
        v.why = sent.values.front().why;
        if (sent.stopped) {
            stop.failure = session.report().failure;
            stop.stopped = true;
        }
        session.close();
    }
}

// Every value written is read back, and so is every value whose
// acknowledgement was lost: the read decides whether the device took it.
bool to_read(const ValueState& v) {
    return v.state == ValueState::State::written || v.state == ValueState::State::unknown;
}

void read_back(Session& session, const Profile& wanted, const settings::Settings& settings,
               std::vector<ValueState>& values) {
    if (std::none_of(values.begin(), values.end(), to_read) || session.cancelled()) {
        return;
    }
    const std::optional<Profile> now = read_profile(session, settings);
    if (!now) {
        return;
    }
    const std::vector<ValueState> after = compare_profile(*now, wanted);
    for (ValueState& v : values) {
        const auto again = std::find_if(after.begin(), after.end(),
                                        [&](const ValueState& a) { return a.field == v.field; });
        if (to_read(v) && again != after.end()) {
            settle(v, again->before.value_or(""), again->state == ValueState::State::unchanged);
        }
    }
}

// The requests' own messages are in the values now, but for the one that
// stopped the apply; its failure is the report's.
void conclude(Session& session, std::size_t said, const Stop& stop, Outcome& result) {
    session.keep_messages(said);
    const auto stopper = std::find_if(result.values.begin(), result.values.end(), [](auto& v) {
        return (v.state == ValueState::State::not_written ||
                v.state == ValueState::State::unknown) &&
               !v.why.empty() && v.why != kMsgNotSent;
    });
    if (stopper != result.values.end()) {
        session.say(stopper->why);
    }
    result.stopped = stop.stopped;
    if (stop.stopped) {
        session.restore_failure(stop.failure);
    }
}

} // namespace

Outcome apply_profile(Session& session, const Profile& wanted, const settings::Settings& settings,
                      bool dry_run) {
    Outcome result;
    result.write = Outcome::Write::profile;
    result.reads_back = true;
    if (ready_to_write(session, wanted, settings, dry_run, result)) {
        const std::size_t said = session.report().messages.size();
        // A read on the way may have failed before the writes began.
        session.restore_failure(std::nullopt);
        Stop stop;
        write_ftp(session, wanted, settings, result.values, stop);
        write_jad(session, result.values, stop);
        read_back(session, wanted, settings, result.values);
        conclude(session, said, stop, result);
    }
    session.record(result);
    return result;
}

} // namespace tessal::device
