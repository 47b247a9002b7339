// SPDX-License-Identifier: Apache-2.0
// The register proved untouched: every writer's chain walked and held
// against the checkpoints its trusted key signed; a writer's key trusted by
// the register's owner; the checkpoints written out to be kept elsewhere;
// this user's own writer and the file of its public key.
#include "cli/command_table.h"
#include "cli/output.h"
#include "cli/register_access.h"

#include "register/writer.h"

#include <QFile>
#include <QSaveFile>

namespace tessal::cli {

namespace {

std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// The lines of a file kept outside the register, each read by `read`;
// nothing, with the refusal set, for a file that cannot be read or a line
// that is not one.
template <class T, class Read>
std::optional<std::vector<T>> lines_of(const std::string& file, const char* what, Read read,
                                       Result& refusal) {
    QFile in(QString::fromStdString(file));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        refusal = failure(Own::bad_value, "the " + std::string(what) + " file cannot be read",
                          file + ": " + utf8(in.errorString()));
        return std::nullopt;
    }
    std::vector<T> items;
    int number = 0;
    while (!in.atEnd()) {
        const QString line = QString::fromUtf8(in.readLine()).trimmed();
        ++number;
        if (line.isEmpty()) {
            continue;
        }
        std::optional<T> item = read(line);
        if (!item) {
            refusal = failure(Own::bad_value, "line " + std::to_string(number) + " of " +
                                                  printable(file) + " is not a " + what + " line");
            return std::nullopt;
        }
        items.push_back(std::move(*item));
    }
    return items;
}

constexpr Column<reg::Chain> kChainColumns[] = {
    {"writer", [](const reg::Chain& c) { return own_text(utf8(c.writer)); }},
    {"rows", [](const reg::Chain& c) { return number(c.rows); }},
    {"last", [](const reg::Chain& c) { return number(c.last); }},
    {"signed_up_to", [](const reg::Chain& c) { return number(c.signed_up_to); }},
    {"signed_at",
     [](const reg::Chain& c) {
         return maybe("", c.signed_at.isEmpty() ? std::nullopt : std::optional(utf8(c.signed_at)));
     }},
    {"anchor",
     [](const reg::Chain& c) {
         return maybe("", c.anchor.isEmpty() ? std::nullopt : std::optional(utf8(c.anchor)));
     }},
    // "ana@pc-servis/3f9a0c12: rows 1 to 120, signed up to row 118 of
    // 2026-12-09T10:41:00+01:00 by the key in keys.txt".
    {"",
     [](const reg::Chain& c) {
         std::string line = printable(utf8(c.writer)) + ": rows 1 to " + std::to_string(c.last);
         if (c.writer == QLatin1String(reg::kBeforeTheChain)) {
             line += ", chained when the register was brought up to date";
         } else if (c.anchor.isEmpty()) {
             line += ", no trusted key: nothing signed proves its rows";
         } else if (c.signed_up_to == 0) {
             line += ", no checkpoint signed by " + utf8(c.anchor);
         } else {
             line += ", signed up to row " + std::to_string(c.signed_up_to) + " of " +
                     utf8(c.signed_at) + " by " + utf8(c.anchor);
         }
         return own_text(line);
     },
     {""}},
};

constexpr Column<reg::Fault> kFaultColumns[] = {
    {"kind", [](const reg::Fault& f) { return own_text(reg::fault_code(f.kind)); }},
    {"writer", [](const reg::Fault& f) { return own_text(utf8(f.writer)); }},
    {"seq", [](const reg::Fault& f) { return number(f.seq); }},
    {"table", [](const reg::Fault& f) { return own_text(utf8(f.table)); }},
    {"id", [](const reg::Fault& f) { return own_text(utf8(f.id)); }},
    {"text", [](const reg::Fault& f) { return own_text(printable(utf8(f.text))); }, {""}},
};

Result verify_register(Commands& c) {
    const Invocation& in = c.in();
    reg::Anchors outside;
    Result refusal;
    if (const std::optional<std::string> keys = in.option("--keys")) {
        const auto read = lines_of<reg::NamedKey>(*keys, "key", reg::read_key_line, refusal);
        if (!read) {
            return refusal;
        }
        outside.keys = *read;
        outside.keys_from = QString::fromStdString(*keys);
    }
    if (const std::optional<std::string> file = in.option("--checkpoint")) {
        const auto read =
            lines_of<reg::Checkpoint>(*file, "checkpoint", reg::read_checkpoint_line, refusal);
        if (!read) {
            return refusal;
        }
        outside.checkpoints = *read;
    }
    reg::Register book;
    QString error;
    std::optional<reg::Verdict> verdict;
    if (!book.open_for_reading(register_place(in), error) ||
        !(verdict = book.verify(outside, error))) {
        return register_failed(error);
    }
    if (!verdict->chained) {
        return failure(Own::not_whole, "the register keeps no chains yet: nothing proves its rows",
                       "the program brings it up to date when it next writes to it");
    }
    Result r;
    const bool whole = verdict->faults_found == 0;
    add_fields(r, {{"whole", whole ? "true" : "false", Field::State::truth},
                   {"rows", std::to_string(verdict->rows), Field::State::number},
                   {"faults_found", std::to_string(verdict->faults_found), Field::State::number}});
    add_list(r, "chains", verdict->chains, kChainColumns);
    add_list(r, "faults", verdict->faults, kFaultColumns);
    const auto many = [](long long n, const char* one) {
        return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
    };
    const std::string counted = many(verdict->rows, "row") + " in " +
                                many(static_cast<long long>(verdict->chains.size()), "chain");
    if (whole) {
        r.text += (r.text.empty() ? "" : "\n") + ("the register is whole: " + counted);
        return r;
    }
    fail(r, Own::not_whole,
         "the register is not whole: " + many(verdict->faults_found, "fault") + " in " + counted);
    r.shown_on_failure = true;
    return r;
}

Result trust_writer(Commands& c) {
    const std::vector<std::string>& words = c.in().words;
    Result refusal;
    const auto keys = lines_of<reg::NamedKey>(words[3], "key", reg::read_key_line, refusal);
    if (!keys) {
        return refusal;
    }
    const QString writer = QString::fromStdString(words[2]);
    const auto key = std::find_if(keys->begin(), keys->end(),
                                  [&writer](const reg::NamedKey& k) { return k.writer == writer; });
    if (key == keys->end()) {
        return failure(Own::bad_value,
                       printable(words[3]) + " holds no key of " + printable(words[2]));
    }
    reg::Register book;
    QString error;
    if (!book.open(register_place(c.in()), error)) {
        return register_failed(error);
    }
    if (!book.trust(*key, error)) {
        return register_failed(error);
    }
    return single({"writer", words[2], Field::State::text});
}

Result write_checkpoints(Commands& c) {
    const std::string& file = c.in().words[2];
    reg::Register book;
    QString error;
    std::optional<std::vector<reg::Checkpoint>> last;
    if (!book.open_for_reading(register_place(c.in()), error) ||
        !(last = book.last_checkpoints(error))) {
        return register_failed(error);
    }
    QSaveFile out(QString::fromStdString(file));
    QByteArray text;
    for (const reg::Checkpoint& checkpoint : *last) {
        text += reg::checkpoint_line(checkpoint).toUtf8() + '\n';
    }
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        return register_failed(
            reg::Failure{reg::Failure::Kind::file_unwritable,
                         QStringLiteral("the checkpoint file cannot be written: %1: %2")
                             .arg(QString::fromStdString(file), out.errorString())});
    }
    return file_written(file, "checkpoints", last->size());
}

// The writer this user's rows are chained by, and the file its public key
// is in, for the register's owner to trust.
Result show_writer(Commands& c) {
    QString error;
    const std::unique_ptr<reg::Writer> writer =
        reg::Writer::of_user(register_place(c.in()).station, error);
    if (!writer) {
        return register_failed(error);
    }
    Result r;
    add_fields(r, {{"writer", utf8(writer->name()), Field::State::text, {""}},
                   {"key", writer->public_key().toBase64().toStdString(), Field::State::text},
                   {"file", utf8(writer->public_key_file()), Field::State::text, {"\n"}}});
    return r;
}

constexpr Command kRows[] = {
    {"register verify", "", "--checkpoint= --keys= --register= --password-file=",
     "[--checkpoint FILE] [--keys FILE] [--register FILE|URL] [--password-file F]", Reach::station,
     verify_register},
    {"register trust", "WRITER KEYFILE", "--register= --password-file=",
     "[--register FILE|URL] [--password-file F]", Reach::station, trust_writer},
    {"register checkpoint", "FILE", "--register= --password-file=",
     "[--register FILE|URL] [--password-file F]", Reach::station, write_checkpoints},
    {"register key", "", "--station=", "[--station NAME]", Reach::station, show_writer},
};

} // namespace

std::span<const Command> chain_commands() {
    return kRows;
}

} // namespace tessal::cli
