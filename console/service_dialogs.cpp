// SPDX-License-Identifier: Apache-2.0
#include "service_dialogs.h"

#include "look.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace tessal::console {

namespace {

constexpr int kWidth = 470;
constexpr int kLabelWidth = 170;
constexpr int kFieldLeft = 190;
constexpr int kFieldWidth = kWidth - kFieldLeft - 12;

// A control with its caption on the left, read together by a screen reader;
// the caption's letter after "&" moves the focus to it.
struct Caption {
    const char* name;   // the control's
    const char* shown;  // the label's text
    const char* spoken; // the control's name for a screen reader
};
template <class W>
W* captioned(QDialog& dialog, const Caption& caption, W* control, int top, int height = 24) {
    auto* label = new QLabel(QString::fromLatin1(caption.shown), &dialog);
    label->setGeometry(12, top + 2, kLabelWidth, 20);
    label_for(label, control);
    control->setParent(&dialog);
    place(control, caption.name, {kFieldLeft, top, kFieldWidth, height});
    return spoken(control, caption.spoken);
}

// The list of a table of the book's words: the window's words shown, the
// register's code behind each.
void fill(QComboBox& list, std::span<const device::BookWord> words) {
    for (const device::BookWord& word : words) {
        list.addItem(QString::fromLatin1(word.words), QString::fromLatin1(word.code));
    }
}

// "OK" and "Otkazi" at the dialog's bottom right, in that order; the dialog's
// height ends below them.
void add_buttons(QDialog& dialog, int top, QPushButton*& ok, QPushButton*& cancel) {
    ok = console_button(&dialog, "OK", "OK", {kWidth - 224, top, 100, 34});
    cancel = console_button(&dialog, "Otkazi", "Otkazi", {kWidth - 112, top, 100, 34});
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    dialog.setFixedSize(kWidth, top + 46);
}

std::string text_of(const QLineEdit* box) {
    return box->text().trimmed().toStdString();
}

std::string code_of(const QComboBox* list) {
    return list->currentData().toString().toStdString();
}

} // namespace

OpeningDialog::OpeningDialog(const device::Technician& technician, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Nova intervencija"));
    apply_console_look(*this);
    Serviser = captioned(*this, {"Serviser", "&Serviser:", "Serviser"}, new QLineEdit, 12);
    Ovlascenje =
        captioned(*this, {"Ovlascenje", "&Broj ovlascenja:", "Broj ovlascenja"}, new QLineEdit, 44);
    Firma = captioned(*this, {"Firma", "&Firma:", "Firma"}, new QLineEdit, 76);
    Vrsta = captioned(*this, {"Vrsta", "&Vrsta rada:", "Vrsta rada"}, new QComboBox, 108);
    SkinutePlombe = captioned(*this, {"SkinutePlombe", "S&kinute plombe:", "Skinute plombe"},
                              new QLineEdit, 140);
    add_buttons(*this, 184, OK, Otkazi);
    Serviser->setText(QString::fromStdString(technician.name));
    Ovlascenje->setText(QString::fromStdString(technician.authorization));
    Firma->setText(QString::fromStdString(technician.company));
    fill(*Vrsta, device::work_kinds());
    Vrsta->setCurrentIndex(Vrsta->findData(QString::fromStdString(device::Opening{}.kind)));
    // An entry names who did the work.
    const auto named = [this] { OK->setEnabled(!Serviser->text().trimmed().isEmpty()); };
    connect(Serviser, &QLineEdit::textChanged, this, named);
    named();
    tab_order({Serviser, Ovlascenje, Firma, Vrsta, SkinutePlombe, OK, Otkazi});
}

device::Opening OpeningDialog::opening() const {
    device::Opening opening;
    opening.technician = {text_of(Serviser), text_of(Ovlascenje), text_of(Firma)};
    opening.kind = code_of(Vrsta);
    opening.seals_removed = text_of(SkinutePlombe);
    return opening;
}

ClosingDialog::ClosingDialog(const QString& entry, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Zavrsi intervenciju"));
    apply_console_look(*this);
    Intervencija = place(new QLabel(entry, this), "Intervencija", {12, 10, kWidth - 24, 40});
    Intervencija->setWordWrap(true);
    PostavljenePlombe =
        captioned(*this, {"PostavljenePlombe", "&Postavljene plombe:", "Postavljene plombe"},
                  new QLineEdit, 58);
    Napomena = captioned(*this, {"Napomena", "&Napomena:", "Napomena"}, new QPlainTextEdit, 90, 88);
    // Tab leaves the note instead of being typed into it.
    Napomena->setTabChangesFocus(true);
    Nalaz = captioned(*this, {"Nalaz", "N&alaz:", "Nalaz"}, new QComboBox, 186);
    add_buttons(*this, 226, OK, Otkazi);
    // No verdict unless one is chosen.
    Nalaz->addItem(QString(), QString());
    fill(*Nalaz, device::verdicts());
    tab_order({PostavljenePlombe, Napomena, Nalaz, OK, Otkazi});
}

device::Closing ClosingDialog::closing() const {
    return {text_of(PostavljenePlombe), Napomena->toPlainText().trimmed().toStdString(),
            code_of(Nalaz)};
}

} // namespace tessal::console
