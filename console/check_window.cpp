// SPDX-License-Identifier: Apache-2.0
#include "check_window.h"

#include "look.h"
#include "transaction.h"

#include "device/profile_file.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>

namespace tessal::console {

namespace {

enum Column { kStage, kOutcome, kReading, kReason, kColumns };

// Each outcome's colour: its icon, and the verdict's background.
QColor outcome_colour(device::CheckOutcome outcome) {
    switch (outcome) {
    case device::CheckOutcome::good:
        return {0, 160, 0};
    case device::CheckOutcome::warning:
        return {230, 150, 0};
    case device::CheckOutcome::failed:
        return {200, 0, 0};
    case device::CheckOutcome::not_checked:
        break;
    }
    return {128, 128, 128};
}

// A round mark in the outcome's colour.
QIcon outcome_icon(device::CheckOutcome outcome) {
    QPixmap mark(16, 16);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(outcome_colour(outcome));
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return QIcon(mark);
}

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setToolTip(text);
    return item;
}

} // namespace

CheckWindow::CheckWindow(Transaction& transaction, const settings::Settings& settings,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), transaction_(transaction), settings_(settings),
      now_([] { return QDateTime::currentDateTime(); }) {
    build();
}

void CheckWindow::build() {
    setWindowTitle(QStringLiteral("Provera uredjaja"));
    setFixedSize(960, 560);
    apply_console_look(*this);

    Verdict = spoken(place(new QLabel(this), "Verdict", {12, 10, 936, 48}), "Ocena");
    QFont bold = font();
    bold.setPointSize(12);
    bold.setBold(true);
    Verdict->setFont(bold);
    Verdict->setAlignment(Qt::AlignCenter);
    Verdict->setWordWrap(true);
    Verdict->setAutoFillBackground(true);
    // Read first: Tab reaches it, and its text can be selected.
    Verdict->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Verdict->setFocusPolicy(Qt::StrongFocus);
    show_verdict(QStringLiteral("Provera nije pokrenuta"), device::CheckOutcome::not_checked);

    auto* profile_label = place(new QLabel(QStringLiteral("&Profil:"), this), "", {12, 70, 80, 24});
    ProfileFile = spoken(place(new QLineEdit(this), "ProfileFile", {96, 68, 530, 26}), "Profil");
    ProfileFile->setPlaceholderText(QStringLiteral("bez profila"));
    label_for(profile_label, ProfileFile);
    Choose = console_button(this, "Choose", "...", {634, 66, 60, 30});
    Choose->setAccessibleName(QStringLiteral("Izbor profila"));
    Start = console_button(this, "Start", "&Proveri", {704, 66, 244, 30});

    Stages = spoken(
        place(new QTableWidget(static_cast<int>(device::kCheckStages.size()), kColumns, this),
              "Stages", {12, 106, 936, 282}),
        "Koraci provere");
    Stages->setHorizontalHeaderLabels({QStringLiteral("Korak"), QStringLiteral("Ishod"),
                                       QStringLiteral("Ocitano"), QStringLiteral("Razlog")});
    Stages->verticalHeader()->hide();
    Stages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Stages->setSelectionBehavior(QAbstractItemView::SelectRows);
    Stages->setTabKeyNavigation(false);
    Stages->setColumnWidth(kStage, 150);
    Stages->setColumnWidth(kOutcome, 150);
    Stages->setColumnWidth(kReading, 360);
    Stages->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < Stages->rowCount(); ++row) {
        Stages->setItem(
            row, kStage,
            cell(QString::fromLatin1(device::kCheckStages[static_cast<std::size_t>(row)].caption)));
        Stages->setRowHeight(row, 26);
    }

    Copy = console_button(this, "Copy", "&Kopiraj rezultat", {12, 396, 200, 30});
    auto* exchanges_label =
        place(new QLabel(QStringLiteral("&Razmena sa uredjajem:"), this), "", {224, 400, 300, 22});
    Exchanges = spoken(place(new QPlainTextEdit(this), "Exchanges", {12, 432, 936, 116}),
                       "Razmena sa uredjajem");
    label_for(exchanges_label, Exchanges);
    Exchanges->setReadOnly(true);
    Exchanges->setTabChangesFocus(true);
    Exchanges->setLineWrapMode(QPlainTextEdit::NoWrap);
    Copy->setEnabled(false);

    tab_order({Verdict, ProfileFile, Choose, Start, Stages, Copy, Exchanges});
    connect(Choose, &QPushButton::clicked, this, [this] { Choose_Click(); });
    connect(Start, &QPushButton::clicked, this, [this] { Start_Click(); });
    connect(Copy, &QPushButton::clicked, this, [this] { Copy_Click(); });
}

void CheckWindow::show_verdict(const QString& text, device::CheckOutcome outcome) {
    Verdict->setText(text);
    Verdict->setAccessibleDescription(QString::fromLatin1(device::check_outcome(outcome).caption));
    QPalette colours = Verdict->palette();
    colours.setColor(QPalette::Window, outcome_colour(outcome));
    colours.setColor(QPalette::WindowText, outcome == device::CheckOutcome::warning ||
                                                   outcome == device::CheckOutcome::not_checked
                                               ? Qt::black
                                               : Qt::white);
    Verdict->setPalette(colours);
}

void CheckWindow::Choose_Click() {
    choose_profile_into(ProfileFile, choose_);
}

void CheckWindow::Start_Click() {
    if (!transaction_.idle()) {
        return;
    }
    device::CheckInput input;
    input.settings = settings_;
    input.now = now_;
    if (const QString file = ProfileFile->text().trimmed(); !file.isEmpty()) {
        device::LoadedProfile loaded = device::load_profile(file);
        if (!loaded.profile) {
            transaction_.inform(
                QStringLiteral("Profil nije dobar: ") +
                from_device(loaded.problem.empty() ? loaded.message : loaded.problem));
            return;
        }
        input.profile = std::move(loaded.profile);
    }
    const QPointer<CheckWindow> window(this);
    const bool started = transaction_.run(
        this,
        [input = std::move(input)](device::Session& session) {
            return device::check_device(session, input);
        },
        [this](const device::CheckResult& result) { show_result(result); },
        [window] {
            if (window) {
                window->Start->setEnabled(true);
            }
        });
    if (started) {
        Start->setEnabled(false);
        show_verdict(QStringLiteral("Provera u toku..."), device::CheckOutcome::not_checked);
    }
}

void CheckWindow::show_result(const device::CheckResult& result) {
    result_ = result;
    for (const device::StageResult& stage : result.stages) {
        const int row = static_cast<int>(stage.stage);
        const QString outcome = QString::fromLatin1(device::check_outcome(stage.outcome).caption);
        QTableWidgetItem* mark = cell(outcome);
        mark->setIcon(outcome_icon(stage.outcome));
        mark->setData(Qt::AccessibleTextRole, outcome);
        Stages->setItem(row, kOutcome, mark);
        Stages->setItem(row, kReading, cell(from_device(device::visible_text(stage.reading))));
        Stages->setItem(row, kReason,
                        cell(stage.reason
                                 ? QString::fromLatin1(device::check_reason(*stage.reason).text)
                                 : QString()));
    }
    const device::StageResult* failed = result.failed();
    const device::CheckOutcome outcome = failed != nullptr ? device::CheckOutcome::failed
                                         : result.warnings().empty()
                                             ? device::CheckOutcome::good
                                             : device::CheckOutcome::warning;
    QString verdict = from_device(device::verdict_text(result));
    for (const device::StageResult* warning : result.warnings()) {
        verdict += QStringLiteral("\nUpozorenje: ") +
                   QString::fromLatin1(device::check_reason(*warning->reason).text);
    }
    show_verdict(verdict, outcome);
    QString lines;
    for (const device::Exchange& exchange : result.exchanges) {
        lines += QStringLiteral("> ") + from_device(device::visible_text(exchange.command)) +
                 QStringLiteral("\n< ") + from_device(device::visible_text(exchange.result)) +
                 QLatin1Char('\n');
    }
    Exchanges->setPlainText(lines);
    Copy->setEnabled(true);
}

QString CheckWindow::result_text() const {
    if (!result_) {
        return {};
    }
    return from_device(device::check_text(*result_)) + QStringLiteral("\n\n") +
           Exchanges->toPlainText();
}

void CheckWindow::Copy_Click() {
    QGuiApplication::clipboard()->setText(result_text());
}

} // namespace tessal::console
