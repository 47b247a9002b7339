// SPDX-License-Identifier: Apache-2.0
// tessal-cli's command table against what a person reads of it: --help, the
// bash completion and the manual page.
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
    QFile file(QStringLiteral(TESSAL_SOURCE_DIR "/cli/") + name);
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
    const QString page = source_file("tessal-cli.1");
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

TEST(CliTable, TheUsageTextListsEveryCommand) {
    const QStringList expected{
        "ports",          "version",       "last-command",    "restart",       "reset",
        "test",           "imei",          "signal",          "operators",     "at",
        "clock",          "clock set",     "ftp get",         "ftp set",       "jad get",
        "jad set",        "sim id",        "sim set-id",      "sim password",  "sim pin",
        "profile export", "profile diff",  "profile apply",   "check",
#ifdef TESSAL_WITH_REGISTER
        "station",        "register list", "register export", "register sync",
#endif
    };
    QStringList listed;
    for (const Listed& row : table()) {
        listed << row.words;
    }
    EXPECT_EQ(listed, expected);
    const QString help = output_of("--help");
    for (const QString& words : expected) {
        EXPECT_TRUE(help.contains(
            QRegularExpression("\n  " + QRegularExpression::escape(words) + "( |\n)")))
            << words.toStdString();
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
    const QString completion = source_file("tessal-cli.bash-completion");
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

} // namespace
} // namespace tessal::cli
