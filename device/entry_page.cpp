// SPDX-License-Identifier: Apache-2.0
#include "device/entry_page.h"

#include "device/device_text.h"
#include "device/service_book.h"
#include "register/register.h"

#include <QDateTime>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace tessal::device {

namespace {

QString seen(const QString& text) {
    return device::visible(text);
}

QString words_of(std::span<const device::BookWord> table, const QString& code) {
    const device::BookWord* word = device::book_word(table, code.toStdString());
    return word != nullptr ? QString::fromLatin1(word->words) : seen(code);
}

// Writes down the page, a block of text after another.
class Page {
  public:
    explicit Page(QPdfWriter& writer)
        : writer_(writer), painter_(&writer), width_(writer.width()), height_(writer.height()) {
        // A font with the letters of Serbian Latin; the PDF carries it.
        body_ = QFont(QStringLiteral("DejaVu Sans"), 10);
        painter_.setFont(body_);
    }

    bool active() const { return painter_.isActive(); }
    // Ends the drawing; false when the writer failed on the way.
    bool end() { return painter_.end(); }

    // A line (wrapped when long) in the font given, at `x` of the width.
    void line(const QString& text, const QFont& font, double x = 0, double share = 1,
              bool advance = true) {
        painter_.setFont(font);
        QRect room(int(width_ * x), y_, int(width_ * share), 10000);
        const QRect used = painter_.boundingRect(room, Qt::TextWordWrap, text);
        // A line that no longer fits starts the next page (a line beside
        // one already drawn on this one stays with it).
        if (last_ == 0 && room_left() < used.height()) {
            next_page();
            room.moveTop(y_);
        }
        painter_.drawText(room, Qt::TextWordWrap, text);
        last_ = std::max(last_, used.height());
        if (advance) {
            y_ += last_ + gap();
            last_ = 0;
        }
    }
    void text(const QString& text) { line(text, body_); }
    void pair(const QString& label, const QString& value) {
        QFont bold = body_;
        bold.setBold(true);
        line(label, bold, 0, 0.3, false);
        line(value, body_, 0.3, 0.7);
    }
    void rule() {
        if (room_left() < gap()) {
            next_page();
        }
        painter_.drawLine(0, y_, width_, y_);
        y_ += gap();
    }
    void space(int lines = 1) { y_ += lines * 2 * gap(); }
    // A line to sign on, with what it is for below it, at `x` of the width.
    void signature(const QString& caption, double x) {
        painter_.setFont(body_);
        if (x == 0 && room_left() < 24 * gap()) {
            next_page();
        }
        const int at = y_ + 12 * gap();
        painter_.drawLine(int(width_ * x), at, int(width_ * (x + 0.4)), at);
        painter_.drawText(QRect(int(width_ * x), at + gap(), int(width_ * 0.4), 8 * gap()),
                          Qt::AlignHCenter, caption);
    }
    const QFont& body() const { return body_; }

  private:
    int gap() const { return painter_.fontMetrics().height() / 3; }
    int room_left() const { return height_ - y_; }
    void next_page() {
        writer_.newPage();
        y_ = 0;
    }

    QPdfWriter& writer_;
    QPainter painter_;
    QFont body_;
    int width_;
    int height_;
    int y_ = 0;
    int last_ = 0;
};

} // namespace

QString book_time(const QString& time) {
    const QDateTime when = QDateTime::fromString(time, Qt::ISODate);
    return when.isValid() ? when.toString(QStringLiteral("dd.MM.yyyy. HH:mm")) : seen(time);
}

QString kind_words(const QString& kind) {
    return words_of(device::work_kinds(), kind);
}

QString verdict_words(const reg::Entry& entry) {
    if (!entry.ended) {
        return QStringLiteral("nije zavrsen");
    }
    return entry.ended->verdict.isEmpty() ? QStringLiteral("bez ocene")
                                          : words_of(device::verdicts(), entry.ended->verdict);
}

QString before_text(const reg::Change& change) {
    if (reg::is_secret(change)) {
        return {};
    }
    return change.before ? seen(*change.before) : QStringLiteral("?");
}

QString after_text(const reg::Change& change) {
    if (reg::is_secret(change)) {
        return QStringLiteral("promenjeno");
    }
    const std::optional<QString> left = reg::value_left(change);
    return left ? seen(*left) : QStringLiteral("nije upisano");
}

namespace {

void draw(const reg::Entry& entry, Page& page) {
    const reg::Intervention& o = entry.opened;
    QFont title = page.body();
    title.setPointSize(16);
    title.setBold(true);
    page.line(QStringLiteral("Servisni zapisnik"), title, 0, 0.6, false);
    page.line(o.entry ? QStringLiteral("Unos br. %1").arg(*o.entry) : QString(), title, 0.6, 0.4);
    QFont company = page.body();
    company.setPointSize(12);
    company.setBold(true);
    page.line(seen(o.company), company);
    page.rule();
    page.pair(QStringLiteral("Serviser"),
              seen(o.technician) +
                  (o.authorization.isEmpty()
                       ? QString()
                       : QStringLiteral(", ovlascenje br. ") + seen(o.authorization)));
    page.pair(QStringLiteral("IMEI"), seen(o.imei));
    page.pair(QStringLiteral("SIM"), seen(o.sim_id));
    page.pair(QStringLiteral("Verzija"), seen(o.version));
    page.pair(QStringLiteral("Datum i vreme"), book_time(o.time));
    page.pair(QStringLiteral("Vrsta"), kind_words(o.kind));
    page.pair(QStringLiteral("Skinute plombe"), seen(o.seals_removed));
    page.pair(QStringLiteral("Postavljene plombe"),
              entry.ended ? seen(entry.ended->seals_applied) : QString());
    page.space();
    QFont bold = page.body();
    bold.setBold(true);
    page.line(QStringLiteral("Vrednost"), bold, 0, 0.3, false);
    page.line(QStringLiteral("Pre"), bold, 0.3, 0.35, false);
    page.line(QStringLiteral("Posle"), bold, 0.65, 0.35);
    page.rule();
    for (const reg::Change& c : entry.changes) {
        page.line(seen(c.field), page.body(), 0, 0.3, false);
        page.line(before_text(c), page.body(), 0.3, 0.35, false);
        page.line(after_text(c), page.body(), 0.65, 0.35);
    }
    if (entry.changes.empty()) {
        page.text(QStringLiteral("Nijedna vrednost nije menjana."));
    }
    page.rule();
    if (entry.ended && !entry.ended->note.isEmpty()) {
        page.pair(QStringLiteral("Napomena"), seen(entry.ended->note));
    }
    page.pair(QStringLiteral("Ocena"), verdict_words(entry));
    // What proves the entry untouched: the checkpoint its writer signed.
    QFont small = page.body();
    small.setPointSize(7);
    if (const std::optional<reg::Checkpoint>& c = entry.signed_by) {
        page.pair(QStringLiteral("Kontrolna tacka"), QStringLiteral("%1, red %2, %3")
                                                         .arg(seen(c->writer))
                                                         .arg(c->seq)
                                                         .arg(book_time(c->time)));
        page.line(QStringLiteral("SHA-256 ") + seen(c->hash), small, 0.3, 0.7);
        // The signature's 88 characters in two halves: no word breaks it.
        const QString signature = seen(c->signature);
        page.line(QStringLiteral("Potpis ") + signature.left(44) + QLatin1Char('\n') +
                      signature.mid(44),
                  small, 0.3, 0.7);
    } else {
        page.pair(QStringLiteral("Kontrolna tacka"), entry.last_link().writer.isEmpty()
                                                         ? QStringLiteral("unos nije u lancu")
                                                         : QStringLiteral("jos nije potpisana"));
    }
    page.space(2);
    page.signature(QStringLiteral("Potpis servisera"), 0);
    page.signature(QStringLiteral("Potpis korisnika"), 0.6);
}

} // namespace

bool write_entry_page(const reg::Entry& entry, const QString& file, QString& error) {
    // Written whole or not at all: a page cut short never replaces a file.
    QSaveFile out(file);
    const auto failed = [&error, &file](const QString& why) {
        error = QStringLiteral("the PDF file cannot be written: %1: %2").arg(file, why);
        return false;
    };
    if (!out.open(QIODevice::WriteOnly)) {
        return failed(out.errorString());
    }
    {
        QPdfWriter writer(&out);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("Servisni zapisnik"));
        writer.setCreator(QStringLiteral("Tessal"));
        Page page(writer);
        if (!page.active()) {
            return failed(QStringLiteral("the page cannot be drawn"));
        }
        draw(entry, page);
        if (!page.end()) {
            return failed(out.errorString());
        }
    }
    return out.commit() || failed(out.errorString());
}

} // namespace tessal::device
