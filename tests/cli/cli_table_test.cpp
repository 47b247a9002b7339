// SPDX-License-Identifier: Apache-2.0
// tessal-cli's command table and failure table against what a person reads
// of them: --help, the bash completion, the manual page and the README.
#include "cli/failures.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace tessal::cli {
namespace {

// What tessal-cli prints for `argument` on standard output.
QString output_of(const QString& argument) {
    QProcess process;
    process.start(TESSAL_CLI, {argument});
    EXPECT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString source_file(const char* name) {
    QFile file(QStringLiteral(TESSAL_SOURCE_DIR "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
}

// A command's words and its options, from a line of --commands.
struct Listed {
    QString words;
    QStringList options;
};

std::vector<Listed> table() {
    std::vector<Listed> rows;
    for (const QString& line : output_of("--commands").split('\n', Qt::SkipEmptyParts)) {
        Listed row;
        QStringList words;
        for (const QString& word : line.split(' ')) {
            (word.startsWith("--") ? row.options : words) << word;
        }
        row.words = words.join(' ');
        rows.push_back(row);
    }
    return rows;
}

// The manual page's command entries, by their words: each entry's text from
// its heading to the next one.
std::map<QString, QString> manual_entries() {
    const QString page = source_file("cli/tessal-cli.1");
    const QString commands =
        page.section(".SH COMMANDS\n", 1).section(".SH OUTPUT\n", 0, 0).replace("\\-", "-");
    std::map<QString, QString> entries;
    QString current;
    bool heading = false;
    for (const QString& line : commands.split('\n')) {
        if (line == ".TP" || line == ".TQ" || line.startsWith(".SS")) {
            heading = !line.startsWith(".SS");
            current = line == ".TQ" ? current : QString();
            continue;
        }
        if (heading && line != ".na") {
            heading = false;
            QStringList words;
            for (const QString& w :
                 QString(line).remove('"').split(' ', Qt::SkipEmptyParts).mid(1)) {
                if (w[0] == '-' || w[0] == '[' || w[0] == '\\' || w[0] == '(' || w[0].isUpper()) {
                    break;
                }
                words << w;
            }
            current = words.join(' ');
        }
        if (!current.isEmpty()) {
            entries[current] += line + '\n';
        }
    }
    return entries;
}

// --help gives each command of the table a line of its own, with its
// arguments as a person types them.
TEST(CliTable, TheUsageTextListsEveryCommand) {
    const QString help = output_of("--help");
    const std::vector<Listed> rows = table();
    EXPECT_GE(rows.size(), 26u);
    for (const Listed& row : rows) {
        EXPECT_TRUE(help.contains(
            QRegularExpression("\n  " + QRegularExpression::escape(row.words) + "( |\n)")))
            << row.words.toStdString();
    }
    EXPECT_TRUE(help.contains("\n  ftp set [--address A.B.C.D] [--user U] [--password-file F] "
                              "[--for-send PATH] [--command PATH] [--operator NAME | --gprs "
                              "TEXT] [--verify]\n"));
    EXPECT_TRUE(help.contains("\n  jad get [NAME]\n"));
}

// The completion holds the table's lines as they are; the manual page has
// an entry for each command, naming each of its options, and none for a
// command the table lacks.
TEST(CliTable, CompletionAndManualNameWhatTheTableHolds) {
    const QString completion = source_file("cli/tessal-cli.bash-completion");
    const QString block = completion.section("_tessal_cli_commands='", 1).section("'", 0, 0);
    QStringList completed = block.split('\n');
    const std::map<QString, QString> entries = manual_entries();
    std::set<QString> in_table;
    for (const Listed& row : table()) {
        SCOPED_TRACE(row.words.toStdString());
        in_table.insert(row.words);
        const QString line = (QStringList{row.words} + row.options).join(' ');
        EXPECT_TRUE(completed.removeOne(line)) << line.toStdString();
        const auto entry = entries.find(row.words);
        ASSERT_NE(entry, entries.end());
        for (const QString& option : row.options) {
            EXPECT_TRUE(entry->second.contains(option)) << option.toStdString();
        }
    }
#ifndef TESSAL_WITH_REGISTER
    completed.removeIf([](const QString& line) {
        return line.startsWith("station") || line.startsWith("register");
    });
#endif
    EXPECT_EQ(completed, QStringList{}) << "completion lines the table lacks";
    for (const auto& [words, text] : entries) {
        EXPECT_TRUE(in_table.count(words) > 0)
            << "manual entry the table lacks: " << words.toStdString();
    }
}

// The completion offers the values the program takes for the service book's
// kind of work and verdict, as its refusal of another names them.
TEST(CliTable, CompletionOffersTheServiceBooksWords) {
    const QString completion = source_file("cli/tessal-cli.bash-completion");
    for (const QString option : {"--kind", "--verdict"}) {
        QProcess process;
        process.start(TESSAL_CLI, {"service", option == "--kind" ? "start" : "end", option, "?"});
        EXPECT_TRUE(process.waitForFinished(20000));
        const QString taken = QString::fromUtf8(process.readAllStandardError())
                                  .section(" takes ", 1)
                                  .remove(',')
                                  .remove(" or");
        const QString offered =
            completion.section("    " + option + ")\n", 1).section("'", 1, 1).simplified();
        EXPECT_EQ(offered.toStdString(), taken.simplified().toStdString());
    }
}

// The manual page's EXIT STATUS entries by status ("130, 143" is one entry
// for both).
std::map<int, QString> status_entries() {
    const QString section = source_file("cli/tessal-cli.1")
                                .section(".SH EXIT STATUS\n", 1)
                                .section(".SH FILES\n", 0, 0);
    std::map<int, QString> entries;
    for (const QString& entry : section.split(".TP\n", Qt::SkipEmptyParts)) {
        auto number = QRegularExpression("\\d+").globalMatch(entry.section('\n', 0, 0));
        while (number.hasNext()) {
            entries[number.next().captured().toInt()] = entry;
        }
    }
    return entries;
}

// Whether a part of the manual page names the JSON code in bold.
bool names_code(const QString& text, const char* code) {
    return text.contains(QRegularExpression("\\\\fB(\\\\%)?" + QString(code) + "\\\\fR"));
}

// Every kind of failure has one row; --help and the README list the
// statuses as the table holds them; the manual page has an entry for each
// status naming its codes and no other status's, and lists every code.
TEST(CliTable, HelpReadmeAndManualTellTheFailureTable) {
    std::vector<FailureKind> kinds;
    const auto add_up_to = [&kinds]<typename Kind>(Kind last) {
        for (int k = 0; k <= static_cast<int>(last); ++k) {
            kinds.push_back(static_cast<Kind>(k));
        }
    };
    add_up_to(device::Failure::Kind::partly_written);
    add_up_to(reg::Failure::Kind::file_unwritable);
    add_up_to(Own::sigterm);
    std::map<std::string, std::set<int>> statuses_of; // code -> the statuses it ends with
    std::vector<int> held;
    for (const ExitStatus& status : exit_statuses()) {
        held.push_back(status.exit);
        for (const FailureCode& failure : status.failures) {
            EXPECT_EQ(std::erase(kinds, failure.kind), 1u) << failure.code;
            statuses_of[failure.code].insert(status.exit);
        }
    }
    EXPECT_TRUE(kinds.empty()) << "kinds without a row";

    const QString list = QString::fromStdString(status_list());
    EXPECT_TRUE(output_of("--help").simplified().contains("exit status: " + list + "."));
    EXPECT_TRUE(source_file("README.md").simplified().contains("Exit status: " + list + "."))
        << list.toStdString();

    const std::map<int, QString> entries = status_entries();
    std::vector<int> listed;
    for (const auto& [exit, text] : entries) {
        listed.push_back(exit);
    }
    EXPECT_EQ(listed, held);
    const QString codes =
        source_file("cli/tessal-cli.1").section("\\fBcode\\fR is one of", 1).section(".\n", 0, 0);
    for (const auto& [code, statuses] : statuses_of) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(names_code(codes, code.c_str()));
        for (const auto& [exit, text] : entries) {
            EXPECT_EQ(names_code(text, code.c_str()), statuses.count(exit) > 0) << exit;
        }
    }
}

} // namespace
} // namespace tessal::cli
