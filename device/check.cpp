// SPDX-License-Identifier: Apache-2.0
#include "check.h"

#include "device/clock.h"
#include "device/ftp_replies.h"
#include "device/jad_descriptor.h"
#include "device/replies.h"
#include "device/sim_replies.h"
#include "link/frame.h"
#include "link/messages.h"
#include "link/trace.h"

#include <algorithm>
#include <cstdlib>

namespace tessal::device {

namespace {

constexpr CheckReasonRow kCheckReasons[] = {
    {CheckReason::passed, "ok", "Uredjaj je ispravan"},
    {CheckReason::port_unavailable, "port_unavailable", link::kMsgPortNotOpened},
    {CheckReason::device_silent, "device_silent", link::kMsgNoReplyLong},
    {CheckReason::device_error, "device_error", "Uredjaj ne odgovara ispravno"},
    {CheckReason::no_imei, "no_imei", "Modem ne daje IMEI"},
    {CheckReason::no_sim, "no_sim", "SIM kartica nije prisutna"},
    {CheckReason::sim_pin_required, "sim_pin_required", "SIM kartica ceka PIN"},
    {CheckReason::sim_puk_required, "sim_puk_required", "SIM kartica ceka PUK"},
    {CheckReason::sim_not_ready, "sim_not_ready", "SIM kartica nije spremna"},
    {CheckReason::no_sim_id, "no_sim_id", "SIM kartica ne daje identifikaciju"},
    {CheckReason::no_signal, "no_signal", "Nema signala"},
    {CheckReason::weak_signal, "weak_signal", "Signal je slab"},
    {CheckReason::not_registered, "not_registered", "Modem nije prijavljen na mrezu"},
    {CheckReason::registration_searching, "registration_searching", "Modem trazi mrezu"},
    {CheckReason::registration_denied, "registration_denied", "Mreza je odbila prijavu"},
    {CheckReason::roaming, "roaming", "Modem je u romingu"},
    {CheckReason::no_network, "no_network", "Modem nije u mrezi"},
    {CheckReason::network_without_code, "network_without_code", "Modem ne daje kod mreze"},
    {CheckReason::network_not_in_table, "network_not_in_table",
     "Tabela operatera nema kod ove mreze"},
    {CheckReason::wrong_gprs_string, "wrong_gprs_string",
     "GPRS parametri uredjaja nisu parametri ove mreze"},
    {CheckReason::gprs_detached, "gprs_detached", "Modem nije prikljucen na GPRS"},
    {CheckReason::clock_drift, "clock_drift", "Sat uredjaja odstupa od sata racunara"},
    {CheckReason::clock_wrong, "clock_wrong", "Sat uredjaja je pogresan"},
    {CheckReason::profile_differs, "profile_differs", "Parametri uredjaja se razlikuju od profila"},
    {CheckReason::no_profile, "no_profile", "Profil nije zadat"},
    {CheckReason::modem_refused, "modem_refused", "Modem odbija komandu"},
    {CheckReason::unreadable, "unreadable", "Odgovor se ne moze procitati"},
    {CheckReason::not_reached, "not_reached", "Provera je prekinuta"},
};

// The registration states of "+CREG:", as the check judges them.
struct RegistrationRow {
    int state;
    const char* reading;
    CheckOutcome outcome;
    std::optional<CheckReason> reason;
};
constexpr RegistrationRow kRegistrations[] = {
    {0, "nije prijavljen", CheckOutcome::failed, CheckReason::not_registered},
    {1, "domaca mreza", CheckOutcome::good, std::nullopt},
    {2, "trazi mrezu", CheckOutcome::failed, CheckReason::registration_searching},
    {3, "prijava odbijena", CheckOutcome::failed, CheckReason::registration_denied},
    {4, "nepoznato", CheckOutcome::failed, CheckReason::not_registered},
    {5, "roming", CheckOutcome::warning, CheckReason::roaming},
};

// The text after the last "<name>" in a reply, to the end of its line,
// without blanks around it; nothing when the reply has no such line.  An
// unsolicited line comes before the answer, so the last one is the answer.
std::optional<std::string> answer_line(const std::string& reply, const std::string& name) {
    const std::size_t at = reply.rfind(name);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t from = at + name.size();
    const std::size_t end = reply.find_first_of("\r\n", from);
    return trim_blanks(
        std::string_view(reply).substr(from, end == std::string::npos ? end : end - from));
}

// The fields of an answer line, split at commas, each without its blanks and
// quotes.
std::vector<std::string> fields_of(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = line.find(',', from);
        std::string field = trim_blanks(
            std::string_view(line).substr(from, comma == std::string::npos ? comma : comma - from));
        std::erase(field, '"');
        fields.push_back(std::move(field));
        if (comma == std::string::npos) {
            return fields;
        }
        from = comma + 1;
    }
}

std::optional<int> whole_number(const std::string& text) {
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::atoi(text.c_str());
}

// The first line of a reply that holds something, for a reading.
std::string first_line(const std::string& reply) {
    std::size_t from = reply.find_first_not_of("\r\n ");
    if (from == std::string::npos) {
        return {};
    }
    const std::size_t end = reply.find_first_of("\r\n", from);
    return reply.substr(from, end == std::string::npos ? end : end - from);
}

// How one exchange of the check came back.
struct Answer {
    enum class Kind {
        reply,   // a reply to read
        refused, // the modem's error line
        failed,  // the device refused or its reply was broken
        lost,    // the device is silent or the line broke
    };
    Kind kind = Kind::reply;
    std::string text;
};

class Checker {
  public:
    Checker(Session& session, const CheckInput& input) : session_(session), input_(input) {
        for (const CheckStageRow& row : kCheckStages) {
            result_.stages.push_back({row.stage, CheckOutcome::not_checked, {}, {}});
        }
    }

    CheckResult run() {
        const std::size_t said = session_.report().messages.size();
        const std::size_t exchanged = session_.report().exchanges.size();
        // Plain functions rather than pointers to members: an array of these
        // is what the bounds sanitizer reads correctly.
        using Step = void (*)(Checker&, StageResult&);
        static constexpr Step kSteps[] = {
            [](Checker& c, StageResult& s) { c.device(s); },
            [](Checker& c, StageResult& s) { c.modem(s); },
            [](Checker& c, StageResult& s) { c.sim(s); },
            [](Checker& c, StageResult& s) { c.sim_id(s); },
            [](Checker& c, StageResult& s) { c.signal(s); },
            [](Checker& c, StageResult& s) { c.registration(s); },
            [](Checker& c, StageResult& s) { c.network(s); },
            [](Checker& c, StageResult& s) { c.gprs(s); },
            [](Checker& c, StageResult& s) { c.clock(s); },
            [](Checker& c, StageResult& s) { c.profile(s); },
        };
        static_assert(std::size(kSteps) == kCheckStages.size());
        for (std::size_t i = 0; i < kCheckStages.size(); ++i) {
            StageResult& stage = result_.stages[i];
            if (stopped_) {
                stage.reason = CheckReason::not_reached;
                continue;
            }
            kSteps[i](*this, stage);
        }
        // The verdict is the window's; the port's message is in it.
        session_.keep_messages(said);
        const std::vector<Exchange>& all = session_.report().exchanges;
        result_.exchanges.assign(all.begin() + static_cast<std::ptrdiff_t>(exchanged), all.end());
        return std::move(result_);
    }

  private:
    static void judge(StageResult& stage, CheckOutcome outcome, std::string reading,
                      std::optional<CheckReason> reason = std::nullopt) {
        stage.outcome = outcome;
        stage.reading = std::move(reading);
        stage.reason = reason;
    }

    Answer ask(const std::string& command, std::optional<std::size_t> secret_from = {}) {
        std::string result = secret_from ? session_.exchange_secret(command, *secret_from)
                                         : session_.exchange(command);
        if (const std::optional<std::string> message = link::data_message(result)) {
            const bool lost = result == link::kTimeout || result == link::kPortFailure;
            stopped_ = stopped_ || lost;
            return {lost ? Answer::Kind::lost : Answer::Kind::failed, *message};
        }
        // Only the modem words an error line; a parameter may hold the word.
        if (command.front() == 'A' && modem_error(result)) {
            return {Answer::Kind::refused, trim_blanks(first_line(result))};
        }
        return {Answer::Kind::reply, std::move(result)};
    }

    // True when the answer is a reply to read; otherwise the stage is judged
    // by how the exchange went.
    static bool readable(StageResult& stage, const Answer& answer) {
        switch (answer.kind) {
        case Answer::Kind::reply:
            return true;
        case Answer::Kind::refused:
            judge(stage, CheckOutcome::not_checked, answer.text, CheckReason::modem_refused);
            break;
        case Answer::Kind::failed:
            judge(stage, CheckOutcome::failed, answer.text, CheckReason::device_error);
            break;
        case Answer::Kind::lost:
            judge(stage, CheckOutcome::failed, {}, CheckReason::device_silent);
            break;
        }
        return false;
    }

    // A reply without the line the stage reads.
    static void unreadable(StageResult& stage, const std::string& reply) {
        judge(stage, CheckOutcome::not_checked, first_line(reply), CheckReason::unreadable);
    }

    void device(StageResult& stage) {
        if (!session_.open()) {
            const std::optional<Failure>& failure = session_.report().failure;
            // The device tried and why it failed, on one line.
            std::string why = failure ? failure->reply : std::string();
            std::replace(why.begin(), why.end(), '\n', ' ');
            judge(stage, CheckOutcome::failed, why, CheckReason::port_unavailable);
            stopped_ = true;
            return;
        }
        const Answer answer = ask("V");
        if (readable(stage, answer)) {
            judge(stage, CheckOutcome::good, answer.text);
        }
    }

    void modem(StageResult& stage) {
        const Answer answer = ask("AAT+GSN");
        if (!readable(stage, answer)) {
            return;
        }
        const std::string imei = extract_imei(answer.text);
        if (imei.empty()) {
            judge(stage, CheckOutcome::failed, first_line(answer.text), CheckReason::no_imei);
        } else {
            judge(stage, CheckOutcome::good, imei);
        }
    }

    void sim(StageResult& stage) {
        // The SIM dialog's reading: an error line means no card.
        const Answer answer = ask(kCmdPinState);
        if (answer.kind == Answer::Kind::refused) {
            judge(stage, CheckOutcome::failed, answer.text, CheckReason::no_sim);
            return;
        }
        if (!readable(stage, answer)) {
            return;
        }
        std::string state = answer_line(answer.text, "+CPIN:").value_or(first_line(answer.text));
        std::erase(state, '"');
        switch (pin_state(answer.text)) {
        case PinState::ready:
            judge(stage, CheckOutcome::good, state);
            break;
        case PinState::pin_wanted:
            judge(stage, CheckOutcome::failed, state, CheckReason::sim_pin_required);
            break;
        case PinState::no_sim:
            judge(stage, CheckOutcome::failed, state, CheckReason::no_sim);
            return;
        case PinState::unexpected:
            judge(stage, CheckOutcome::failed, state,
                  contains_word(state, "SIM PUK") ? CheckReason::sim_puk_required
                                                  : CheckReason::sim_not_ready);
            break;
        }
        // The attempts left, as the SIM dialog asks for them; without a PIN.
        const Answer attempts = ask(kCmdPinAttempts);
        if (attempts.kind == Answer::Kind::lost) {
            readable(stage, attempts);
        } else if (attempts.kind == Answer::Kind::reply) {
            if (const std::optional<std::string> left = answer_line(attempts.text, "^SPIC:")) {
                stage.reading += ", pokusaja PIN-a: " + *left;
            }
        }
    }

    void sim_id(StageResult& stage) {
        const Answer answer = ask(kCmdSimIdentification);
        if (!readable(stage, answer)) {
            return;
        }
        const std::string shown = sim_identification(answer.text);
        if (is_sim_number(shown)) {
            judge(stage, CheckOutcome::good, shown);
        } else {
            judge(stage, CheckOutcome::failed, shown, CheckReason::no_sim_id);
        }
    }

    void signal(StageResult& stage) {
        const Answer answer = ask("AAT+CSQ");
        if (!readable(stage, answer)) {
            return;
        }
        const SignalReading reading = read_signal(answer.text);
        if (reading.strength < 0) {
            unreadable(stage, answer.text);
        } else if (!signal_usable(reading.strength)) {
            judge(stage, CheckOutcome::failed,
                  reading.label + " (" + std::to_string(reading.strength) + ")",
                  CheckReason::no_signal);
        } else if (reading.strength < kWeakSignal) {
            judge(stage, CheckOutcome::warning, reading.label, CheckReason::weak_signal);
        } else {
            judge(stage, CheckOutcome::good, reading.label);
        }
    }

    void registration(StageResult& stage) {
        const Answer answer = ask("AAT+CREG?");
        if (!readable(stage, answer)) {
            return;
        }
        // "+CREG: n,stat" to the question; an unsolicited "+CREG: stat" has
        // the state alone.
        const std::optional<std::string> line = answer_line(answer.text, "+CREG:");
        const std::vector<std::string> fields =
            line ? fields_of(*line) : std::vector<std::string>{};
        const std::optional<int> state =
            fields.empty() ? std::nullopt : whole_number(fields[fields.size() > 1 ? 1 : 0]);
        const auto row = std::find_if(std::begin(kRegistrations), std::end(kRegistrations),
                                      [&](const RegistrationRow& r) { return r.state == state; });
        if (row == std::end(kRegistrations)) {
            unreadable(stage, answer.text);
            return;
        }
        judge(stage, row->outcome, std::string(row->reading) + " (" + std::to_string(*state) + ")",
              row->reason);
    }

    void network(StageResult& stage) {
        const Answer answer = ask("AAT+COPS?");
        if (!readable(stage, answer)) {
            return;
        }
        const std::optional<std::string> line = answer_line(answer.text, "+COPS:");
        if (!line) {
            unreadable(stage, answer.text);
            return;
        }
        // "+COPS: mode,format,oper": format 2 names the network by its code.
        const std::vector<std::string> fields = fields_of(*line);
        if (fields.size() < 3 || fields[2].empty()) {
            judge(stage, CheckOutcome::failed, "+COPS: " + *line, CheckReason::no_network);
            return;
        }
        const std::string& network = fields[2];
        if (fields[1] != "2") {
            judge(stage, CheckOutcome::not_checked, network, CheckReason::network_without_code);
            return;
        }
        const settings::Settings& s = input_.settings;
        std::optional<std::size_t> chosen;
        for (std::size_t i = 0; i < settings::operators_in_use(s) && !chosen; ++i) {
            if (s.network_codes[i] == network) {
                chosen = i;
            }
        }
        if (!chosen) {
            judge(stage, CheckOutcome::not_checked, network, CheckReason::network_not_in_table);
            return;
        }
        const std::string reading = network + " (" + s.operator_names[*chosen].value_or("") + ")";
        const Answer gprs = ask(std::string("R") + ftp_parameter(FtpParameter::gprs).wire);
        if (!readable(stage, gprs)) {
            return;
        }
        const std::string wanted = s.gprs_strings[*chosen].value_or("");
        if (gprs.text == wanted) {
            judge(stage, CheckOutcome::good, reading + ", GPRS: " + gprs.text);
        } else {
            judge(stage, CheckOutcome::failed,
                  reading + ", GPRS: " + gprs.text + " (tabela: " + wanted + ")",
                  CheckReason::wrong_gprs_string);
        }
    }

    void gprs(StageResult& stage) {
        const Answer answer = ask("AAT+CGATT?");
        if (!readable(stage, answer)) {
            return;
        }
        const std::optional<std::string> line = answer_line(answer.text, "+CGATT:");
        if (line == "1") {
            judge(stage, CheckOutcome::good, "prikljucen");
        } else if (line == "0") {
            judge(stage, CheckOutcome::failed, "nije prikljucen", CheckReason::gprs_detached);
        } else {
            unreadable(stage, answer.text);
        }
    }

    void clock(StageResult& stage) {
        const Answer answer = ask("AAT+CCLK?");
        if (!readable(stage, answer)) {
            return;
        }
        const QDateTime now = input_.now ? input_.now() : QDateTime::currentDateTime();
        // The device's clock runs behind local time by the season's offset,
        // as the console sets it: the PC's own rules tell the season.
        const int offset = now.isDaylightTime() ? kSummerOffset : kWinterOffset;
        const std::optional<ClockTexts> device = read_device_clock(answer.text);
        const std::optional<ClockTexts> local =
            device && !(*device)[kHour].empty() ? device_to_local(*device, offset) : std::nullopt;
        const auto field = [&](ClockField f) {
            return static_cast<int>(parse_number((*local)[f]).value_or(-1)); // -1: no date
        };
        const QDateTime shown =
            local ? QDateTime(QDate(full_year(field(kYear)), field(kMonth), field(kDay)),
                              QTime(field(kHour), field(kMinute), field(kSecond)))
                  : QDateTime();
        if (!shown.isValid()) {
            unreadable(stage, answer.text);
            return;
        }
        const qint64 drift = now.secsTo(shown);
        const std::string reading =
            shown.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")).toStdString() + ", odstupanje " +
            (drift > 0 ? "+" : "") + std::to_string(drift) + " s";
        if (std::llabs(drift) > kClockFailureSeconds) {
            judge(stage, CheckOutcome::failed, reading, CheckReason::clock_wrong);
        } else if (std::llabs(drift) > kClockWarningSeconds) {
            judge(stage, CheckOutcome::warning, reading, CheckReason::clock_drift);
        } else {
            judge(stage, CheckOutcome::good, reading);
        }
    }

    // The device's FTP and JAD parameters, each read as the console reads
    // them; nothing once a read did not give a value (the stage says why).
    std::optional<Profile> configuration(StageResult& stage) {
        Profile held;
        for (const FtpParameterRow& row : kFtpParameterTable) {
            const std::string request = std::string("R") + row.wire;
            const Answer answer =
                ask(request, row.secret ? std::optional(request.size()) : std::nullopt);
            if (!readable(stage, answer)) {
                return std::nullopt;
            }
            held.ftp[row.parameter] = row.kind == FtpValueKind::address
                                          ? joined_address(split_address(answer.text))
                                          : answer.text;
        }
        const Answer jad = ask("J");
        if (!readable(stage, jad)) {
            return std::nullopt;
        }
        JadParameterTable table;
        parse_descriptor(jad.text, table);
        for (int k = 0; k < table.count; ++k) {
            std::string name = table.names[static_cast<std::size_t>(k)];
            name.pop_back(); // the colon
            held.jad.emplace_back(name, table.values[static_cast<std::size_t>(k)]);
        }
        return held;
    }

    void profile(StageResult& stage) {
        if (!input_.profile) {
            judge(stage, CheckOutcome::not_checked, {}, CheckReason::no_profile);
            return;
        }
        const std::optional<Profile> held = configuration(stage);
        if (!held) {
            return;
        }
        const std::vector<ValueState> values = compare_profile(*held, *input_.profile);
        std::string differences;
        for (const ValueState& v : values) {
            if (v.state == ValueState::State::differs) {
                differences += (differences.empty() ? "" : "; ") + v.field + ": " +
                               v.before.value_or("") + " -> " + v.wanted;
            }
        }
        if (differences.empty()) {
            judge(stage, CheckOutcome::good,
                  "vrednosti kao u profilu: " + std::to_string(values.size()));
        } else {
            judge(stage, CheckOutcome::failed, differences, CheckReason::profile_differs);
        }
    }

    Session& session_;
    const CheckInput& input_;
    CheckResult result_;
    bool stopped_ = false;
};

template <class Row, class Key>
const Row& row_of(const Row* begin, const Row* end, Key key, Key Row::*member) {
    return *std::find_if(begin, end, [&](const Row& row) { return row.*member == key; });
}

} // namespace

const CheckStageRow& check_stage(CheckStage stage) {
    return row_of(kCheckStages.data(), kCheckStages.data() + kCheckStages.size(), stage,
                  &CheckStageRow::stage);
}

const CheckOutcomeRow& check_outcome(CheckOutcome outcome) {
    return row_of(kCheckOutcomes.data(), kCheckOutcomes.data() + kCheckOutcomes.size(), outcome,
                  &CheckOutcomeRow::outcome);
}

const CheckReasonRow& check_reason(CheckReason reason) {
    return row_of(std::begin(kCheckReasons), std::end(kCheckReasons), reason,
                  &CheckReasonRow::reason);
}

const StageResult* CheckResult::failed() const {
    const auto found = std::find_if(stages.begin(), stages.end(), [](const StageResult& s) {
        return s.outcome == CheckOutcome::failed;
    });
    return found == stages.end() ? nullptr : &*found;
}

std::vector<const StageResult*> CheckResult::warnings() const {
    std::vector<const StageResult*> found;
    for (const StageResult& stage : stages) {
        if (stage.outcome == CheckOutcome::warning) {
            found.push_back(&stage);
        }
    }
    return found;
}

CheckReason CheckResult::verdict() const {
    const StageResult* first = failed();
    return first != nullptr && first->reason ? *first->reason : CheckReason::passed;
}

CheckResult check_device(Session& session, const CheckInput& input) {
    return Checker(session, input).run();
}

std::string visible_text(const std::string& bytes) {
    return link::trace_text(bytes);
}

std::string verdict_text(const CheckResult& result) {
    const StageResult* first = result.failed();
    const std::string text = check_reason(result.verdict()).text;
    return first == nullptr
               ? text
               : "Greska u koraku " + std::string(check_stage(first->stage).caption) + ": " + text;
}

std::string check_text(const CheckResult& result) {
    std::string text;
    for (const StageResult& stage : result.stages) {
        text += std::string(check_stage(stage.stage).caption) + ": " +
                check_outcome(stage.outcome).caption;
        if (!stage.reading.empty()) {
            text += " - " + visible_text(stage.reading);
        }
        if (stage.reason) {
            text += " (" + std::string(check_reason(*stage.reason).text) + ")";
        }
        text += '\n';
    }
    for (const StageResult* warning : result.warnings()) {
        text += "Upozorenje: " + std::string(check_reason(*warning->reason).text) + " [" +
                check_reason(*warning->reason).code + "]\n";
    }
    return text + "Ocena: " + verdict_text(result) + " [" + check_reason(result.verdict()).code +
           "]";
}

} // namespace tessal::device
