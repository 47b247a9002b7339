// SPDX-License-Identifier: Apache-2.0
#include "book_window.h"

#include "device/entry_page.h"
#include "look.h"

#include "device/device_text.h"
#include "register/writer.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

namespace tessal::console {

using device::after_text;
using device::before_text;
using device::book_time;
using device::kind_words;
using device::verdict_words;

namespace {

enum Column { kNumber, kDate, kKind, kTechnician, kVerdict, kColumns };

QString seen(const QString& text) {
    return device::visible(text);
}

// A value of the entry, or a dash where it has none.
QString given(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : seen(text);
}

// Where a register's failure is said: in the window.
QString out_of_reach(const QString& why) {
    return QStringLiteral("Registar nije dostupan: ") + why;
}

// The entry whole, as the window shows it.
QString entry_text(const reg::Entry& e) {
    const reg::Intervention& o = e.opened;
    QStringList lines{
        QStringLiteral("Unos br. %1, %2, %3")
            .arg(o.entry ? QString::number(*o.entry) : QStringLiteral("-"), kind_words(o.kind),
                 book_time(o.time)),
        QStringLiteral("Uredjaj: IMEI %1, SIM %2, verzija %3, port %4")
            .arg(given(o.imei), given(o.sim_id), given(o.version), given(o.port)),
        QStringLiteral("Serviser: %1, ovlascenje %2, %3")
            .arg(given(o.technician), given(o.authorization), given(o.company)),
        QStringLiteral("Stanica: %1, korisnik %2").arg(given(o.station), given(o.user)),
        QStringLiteral("Skinute plombe: ") + given(o.seals_removed),
    };
    for (const reg::Change& c : e.changes) {
        const QString values = reg::is_secret(c)
                                   ? after_text(c)
                                   : before_text(c) + QStringLiteral(" -> ") + after_text(c);
        lines << QStringLiteral("  %1: %2 (%3)").arg(seen(c.field), values, seen(c.state)) +
                     (c.why.isEmpty() ? QString() : QStringLiteral(": ") + seen(c.why));
    }
    if (e.ended) {
        lines << QStringLiteral("Postavljene plombe: ") + given(e.ended->seals_applied)
              << QStringLiteral("Napomena: ") + given(e.ended->note);
    }
    lines << QStringLiteral("Ocena: ") + verdict_words(e);
    return lines.join(QLatin1Char('\n'));
}

QString difference_text(const reg::Difference& d) {
    const auto value = [](const std::optional<QString>& v) {
        return v ? seen(*v) : QStringLiteral("?");
    };
    return seen(d.field) + QStringLiteral(": ") +
           (d.secret ? QStringLiteral("promenjeno")
                     : value(d.from) + QStringLiteral(" -> ") + value(d.to));
}

// Whether a device's entries are as they were written: the chains of their
// writers walked, their last rows against the checkpoints the writers'
// trusted keys signed.
QString proof_of(const reg::Register& book, const std::vector<reg::Entry>& entries) {
    QStringList writers;
    for (const reg::Entry& e : entries) {
        if (!e.last_link().writer.isEmpty() && !writers.contains(e.last_link().writer)) {
            writers << e.last_link().writer;
        }
    }
    if (writers.isEmpty()) {
        return entries.empty() ? QString()
                               : QStringLiteral("Unosi nisu u lancu: nista ne dokazuje da su "
                                                "neizmenjeni");
    }
    QString error;
    const std::optional<reg::Verdict> v = book.verify({}, error, writers);
    if (!v) {
        return QStringLiteral("Provera nije uspela: ") + seen(error);
    }
    if (v->faults_found > 0) {
        return QStringLiteral("UPOZORENJE: knjiga je menjana posle upisa (gresaka: %1); "
                              "tessal-cli register verify kaze gde")
            .arg(v->faults_found);
    }
    for (const reg::Entry& e : entries) {
        const reg::Link& last = e.last_link();
        const auto chain =
            std::find_if(v->chains.begin(), v->chains.end(),
                         [&last](const reg::Chain& c) { return c.writer == last.writer; });
        if (last.writer == QLatin1String(reg::kBeforeTheChain)) {
            return QStringLiteral("Lanci su celi; unos %1 je upisan pre lanaca i nije potpisan")
                .arg(e.opened.entry ? QString::number(*e.opened.entry) : QStringLiteral("-"));
        }
        if (chain == v->chains.end() || chain->anchor.isEmpty()) {
            return QStringLiteral("Lanci su celi, ali kljuc pisca %1 nije poveren")
                .arg(seen(last.writer));
        }
        if (chain->signed_up_to < last.seq) {
            return QStringLiteral("Lanci su celi; unos %1 jos nije potpisan")
                .arg(e.opened.entry ? QString::number(*e.opened.entry) : QStringLiteral("-"));
        }
    }
    return QStringLiteral("Provereno: unosi su neizmenjeni i potpisani");
}

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

BookAnswer BookReader::answer(const BookQuestion& question) {
    BookAnswer answer;
    answer.question = question;
    QString error;
    if (!register_) {
        register_ = std::make_unique<reg::Register>();
        if (!register_->open_for_reading(place_, error)) {
            register_.reset();
            answer.failure = error;
            return answer;
        }
    }
    bool read = true;
    reg::Failure failure;
    switch (question.what) {
    case BookQuestion::What::find:
        // The text as an IMEI, a SIM identification and a seal code, in turn.
        for (QString reg::BookFilter::*part :
             {&reg::BookFilter::imei, &reg::BookFilter::sim, &reg::BookFilter::seal}) {
            reg::BookFilter filter;
            filter.*part = question.text;
            read = read && register_->each_entry(
                               filter,
                               [&answer](const reg::Entry& e) {
                                   if (!e.opened.imei.isEmpty() &&
                                       !answer.devices.contains(e.opened.imei)) {
                                       answer.devices << e.opened.imei;
                                   }
                               },
                               error);
        }
        break;
    case BookQuestion::What::book:
        if (auto entries = register_->book(question.text, error)) {
            answer.entries = std::move(*entries);
            answer.proof = proof_of(*register_, answer.entries);
        } else {
            read = false;
        }
        break;
    case BookQuestion::What::compare:
        if (auto differences =
                register_->differences(question.text, question.from, question.to, failure)) {
            answer.differences = std::move(*differences);
        } else {
            read = false;
            error = failure.text;
        }
        break;
    }
    if (!read) {
        answer.failure = error;
        // Opened again when next asked: a server may come back.
        if (failure.kind == reg::Failure::Kind::register_unusable) {
            register_.reset();
        }
    }
    return answer;
}

BookWindow::BookWindow(reg::Place place, QWidget* parent)
    : QWidget(parent, Qt::Window), choose_([this] {
          return QFileDialog::getSaveFileName(this, QStringLiteral("Stampaj unos"), QString(),
                                              QStringLiteral("PDF (*.pdf)"));
      }) {
    reader_ = std::make_unique<BookReader>(std::move(place));
    thread_.setObjectName(QStringLiteral("book"));
    thread_.start();
    worker_ = new link::Courier;
    worker_->moveToThread(&thread_);
    build();
}

BookWindow::~BookWindow() {
    // A question being answered is answered first; its answer is dropped
    // with the inbox.
    thread_.quit();
    thread_.wait();
    delete worker_;
}

void BookWindow::build() {
    setWindowTitle(QStringLiteral("Servisna knjiga"));
    setFixedSize(960, 620);
    apply_console_look(*this);

    auto* search_label = place(new QLabel(QStringLiteral("&Trazi:"), this), "", {12, 14, 80, 24});
    Search =
        spoken(place(new QLineEdit(this), "Search", {96, 12, 530, 26}), "IMEI, SIM ili plomba");
    Search->setPlaceholderText(QStringLiteral("IMEI, SIM ili plomba (deo broja je dovoljan)"));
    label_for(search_label, Search);
    Find = console_button(this, "Find", "&Nadji", {634, 10, 120, 30});
    enter_presses(Search, Find);

    auto* devices_label =
        place(new QLabel(QStringLiteral("&Uredjaj:"), this), "", {12, 50, 80, 24});
    Devices = spoken(place(new QComboBox(this), "Devices", {96, 48, 530, 26}), "Uredjaj");
    label_for(devices_label, Devices);
    Status = spoken(place(new QLabel(this), "Status", {634, 44, 314, 36}), "Stanje");
    Status->setWordWrap(true);
    Status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Status->setFocusPolicy(Qt::StrongFocus);

    Entries =
        spoken(place(new QTableWidget(0, kColumns, this), "Entries", {12, 86, 936, 190}), "Unosi");
    Entries->setHorizontalHeaderLabels({QStringLiteral("Br."), QStringLiteral("Datum"),
                                        QStringLiteral("Vrsta"), QStringLiteral("Serviser"),
                                        QStringLiteral("Ocena")});
    Entries->verticalHeader()->hide();
    Entries->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Entries->setSelectionBehavior(QAbstractItemView::SelectRows);
    Entries->setSelectionMode(QAbstractItemView::SingleSelection);
    Entries->setTabKeyNavigation(false);
    Entries->setColumnWidth(kNumber, 60);
    Entries->setColumnWidth(kDate, 190);
    Entries->setColumnWidth(kKind, 230);
    Entries->setColumnWidth(kTechnician, 280);
    Entries->horizontalHeader()->setStretchLastSection(true);

    auto* entry_label =
        place(new QLabel(QStringLiteral("&Izabrani unos:"), this), "", {12, 284, 300, 22});
    Entry = spoken(place(new QPlainTextEdit(this), "Entry", {12, 308, 600, 262}), "Unos");
    label_for(entry_label, Entry);
    Entry->setReadOnly(true);
    Entry->setTabChangesFocus(true);
    Print = console_button(this, "Print", "&Stampaj...", {12, 578, 200, 30});
    Proof = spoken(place(new QLabel(this), "Proof", {224, 578, 724, 30}), "Provera knjige");
    Proof->setWordWrap(true);
    Proof->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Proof->setFocusPolicy(Qt::StrongFocus);

    auto* from_label =
        place(new QLabel(QStringLiteral("&Od unosa:"), this), "", {624, 286, 100, 24});
    From = spoken(place(new QSpinBox(this), "From", {726, 284, 70, 26}), "Od unosa");
    label_for(from_label, From);
    auto* to_label = place(new QLabel(QStringLiteral("&Do:"), this), "", {804, 286, 40, 24});
    To = spoken(place(new QSpinBox(this), "To", {846, 284, 70, 26}), "Do unosa");
    label_for(to_label, To);
    Compare = console_button(this, "Compare", "Upo&redi", {624, 318, 324, 30});
    Differences =
        spoken(place(new QPlainTextEdit(this), "Differences", {624, 356, 324, 214}), "Razlike");
    Differences->setReadOnly(true);
    Differences->setTabChangesFocus(true);
    Differences->setLineWrapMode(QPlainTextEdit::NoWrap);

    show_book({});
    tab_order({Search, Find, Devices, Status, Entries, Entry, Print, Proof, From, To, Compare,
               Differences});
    connect(Find, &QPushButton::clicked, this, [this] { Find_Click(); });
    connect(Compare, &QPushButton::clicked, this, [this] { Compare_Click(); });
    connect(Print, &QPushButton::clicked, this, [this] { Print_Click(); });
    connect(Devices, &QComboBox::currentTextChanged, this, [this](const QString& imei) {
        if (!imei.isEmpty()) {
            ask({BookQuestion::What::book, 0, imei}, QStringLiteral("Citam knjigu uredjaja..."));
        }
    });
    connect(Entries, &QTableWidget::currentCellChanged, this, [this](int row) { show_entry(row); });
}

void BookWindow::ask(BookQuestion question, const QString& waiting) {
    question.number = ++asked_;
    Status->setText(waiting);
    worker_->post([this, question] {
        BookAnswer answer = reader_->answer(question);
        inbox_.post([this, answer = std::move(answer)] { take(answer); });
    });
}

void BookWindow::take(const BookAnswer& answer) {
    // Only the last question's answer is shown.
    if (answer.question.number != asked_) {
        return;
    }
    if (!answer.failure.isEmpty()) {
        Status->setText(answer.question.what == BookQuestion::What::compare
                            ? seen(answer.failure)
                            : out_of_reach(seen(answer.failure)));
        return;
    }
    switch (answer.question.what) {
    case BookQuestion::What::find: {
        Status->setText(answer.devices.isEmpty()
                            ? QStringLiteral("Nijedan uredjaj nije nadjen")
                            : QStringLiteral("Nadjeno uredjaja: %1").arg(answer.devices.size()));
        Proof->clear();
        const QSignalBlocker quiet(Devices);
        Devices->clear();
        Devices->addItems(answer.devices);
        Devices->setCurrentIndex(-1);
        show_book({});
        if (!answer.devices.isEmpty()) {
            Devices->setCurrentIndex(0);
            ask({BookQuestion::What::book, 0, answer.devices.front()},
                QStringLiteral("Citam knjigu uredjaja..."));
        }
        break;
    }
    case BookQuestion::What::book:
        Status->setText(QStringLiteral("Unosa: %1").arg(answer.entries.size()));
        Proof->setText(answer.proof);
        show_book(answer.entries);
        break;
    case BookQuestion::What::compare: {
        QStringList lines;
        for (const reg::Difference& d : answer.differences) {
            lines << difference_text(d);
        }
        Differences->setPlainText(lines.isEmpty()
                                      ? QStringLiteral("Nijedna vrednost se ne razlikuje")
                                      : lines.join(QLatin1Char('\n')));
        Status->setText(QStringLiteral("Unosi %1 i %2 uporedjeni")
                            .arg(answer.question.from)
                            .arg(answer.question.to));
        break;
    }
    }
}

void BookWindow::show_book(const std::vector<reg::Entry>& entries) {
    book_ = entries;
    Entries->setRowCount(static_cast<int>(book_.size()));
    for (int row = 0; row < Entries->rowCount(); ++row) {
        const reg::Entry& e = book_[static_cast<std::size_t>(row)];
        Entries->setItem(row, kNumber,
                         cell(e.opened.entry ? QString::number(*e.opened.entry) : QString()));
        Entries->setItem(row, kDate, cell(book_time(e.opened.time)));
        Entries->setItem(row, kKind, cell(kind_words(e.opened.kind)));
        Entries->setItem(row, kTechnician, cell(seen(e.opened.technician)));
        Entries->setItem(row, kVerdict, cell(verdict_words(e)));
        Entries->setRowHeight(row, 24);
    }
    const int last = static_cast<int>(book_.size());
    From->setRange(last > 0 ? 1 : 0, last);
    To->setRange(last > 0 ? 1 : 0, last);
    From->setValue(std::max(1, last - 1));
    To->setValue(last);
    Compare->setEnabled(last > 1);
    Differences->clear();
    Entries->setCurrentCell(last - 1, 0);
    show_entry(last - 1);
}

const reg::Entry* BookWindow::shown() const {
    const int row = Entries->currentRow();
    return row >= 0 && row < static_cast<int>(book_.size()) ? &book_[static_cast<std::size_t>(row)]
                                                            : nullptr;
}

void BookWindow::show_entry(int /*row*/) {
    const reg::Entry* e = shown();
    Entry->setPlainText(e != nullptr ? entry_text(*e) : QString());
    Print->setEnabled(e != nullptr);
}

void BookWindow::Find_Click() {
    const QString text = Search->text().trimmed();
    if (text.isEmpty()) {
        Status->setText(QStringLiteral("Upisite IMEI, SIM ili plombu"));
        return;
    }
    ask({BookQuestion::What::find, 0, text}, QStringLiteral("Trazim..."));
}

void BookWindow::Compare_Click() {
    if (book_.empty()) {
        return;
    }
    ask({BookQuestion::What::compare, 0, book_.front().opened.imei, From->value(), To->value()},
        QStringLiteral("Uporedjujem..."));
}

void BookWindow::Print_Click() {
    const reg::Entry* e = shown();
    if (e == nullptr) {
        return;
    }
    const QString file = choose_();
    if (file.isEmpty()) {
        return;
    }
    QString error;
    Status->setText(device::write_entry_page(*e, file, error)
                        ? QStringLiteral("Unos je odstampan u ") + file
                        : QStringLiteral("Unos nije odstampan: ") + error);
}

} // namespace tessal::console
