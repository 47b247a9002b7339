// SPDX-License-Identifier: Apache-2.0
#include "gprs_dialog.h"

#include "console/transaction.h"
#include "ftp_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tessal::dialogs {

namespace {

constexpr int kRowTop = 34;
constexpr int kRowStep = 32;
constexpr int kRowHeight = 24;
constexpr int kNameLeft = 10;
constexpr int kNameWidth = 150;
constexpr int kGprsLeft = 170;
// Characters of a GPRS parameter string in view at once; longer strings
// scroll in their box.
constexpr int kGprsShown = 64;

} // namespace

GprsDialog::GprsDialog(console::Transaction& transaction, settings::Settings& settings,
                       std::function<void()> ftp_lists, std::function<bool()> save, QWidget* parent)
    : QDialog(parent), transaction_(transaction), settings_(settings),
      ftp_lists_(std::move(ftp_lists)), save_(std::move(save)) {
    build();
    Form_Load();
}

GprsDialog::~GprsDialog() = default;

void GprsDialog::build() {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Podesavanje GPRS Parametara"));
    apply_console_look(*this);
    const int gprs_width = console::box_width(*this, kGprsShown);
    const int width = kGprsLeft + gprs_width + kNameLeft;
    setFixedSize(width, 294);
    auto* device_text = new DeviceTextValidator(this);

    Label1 = new QLabel(QStringLiteral("&Operater"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(kNameLeft, 10, kNameWidth, 20);
    Label2 = new QLabel(QStringLiteral("&GPRS parametri"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(kGprsLeft, 10, gprs_width, 20);

    for (std::size_t row = 0; row < Text_prov_ime.size(); ++row) {
        const int top = kRowTop + static_cast<int>(row) * kRowStep;
        Text_prov_ime[row] = new QLineEdit(this);
        Text_prov_ime[row]->setObjectName(QStringLiteral("Text_prov_ime%1").arg(row));
        Text_prov_ime[row]->setGeometry(kNameLeft, top, kNameWidth, kRowHeight);
        Text_prov_ime[row]->setAccessibleName(QStringLiteral("Operater %1").arg(row + 1));
        Text_prov_gprs[row] = new QLineEdit(this);
        Text_prov_gprs[row]->setObjectName(QStringLiteral("Text_prov_gprs%1").arg(row));
        Text_prov_gprs[row]->setGeometry(kGprsLeft, top, gprs_width, kRowHeight);
        Text_prov_gprs[row]->setAccessibleName(QStringLiteral("GPRS parametri %1").arg(row + 1));
        for (QLineEdit* box : {Text_prov_ime[row], Text_prov_gprs[row]}) {
            // No length limit; only characters that the file and the device
            // keep as they are.
            box->setValidator(device_text);
        }
    }
    // The column captions lead to the first row.
    console::label_for(Label1, Text_prov_ime[0]);
    console::label_for(Label2, Text_prov_gprs[0]);

    // Enter presses neither button: confirming writes the settings file.
    Potvrda = console::console_button(this, "Potvrda", "Potvrda", {kNameLeft, 246, 120, 36});
    Izlaz = console::console_button(this, "Izlaz", "Izlaz", {width - 130, 246, 120, 36});
    connect(Potvrda, &QPushButton::clicked, this, [this] { Potvrda_Click(); });
    connect(Izlaz, &QPushButton::clicked, this, [this] { Izlaz_Click(); });
}

void GprsDialog::Form_Load() {
    const settings::Settings& settings = settings_;
    for (std::size_t row = 0; row < Text_prov_ime.size(); ++row) {
        // Rows after the last used index stay empty, whatever the table holds.
        const bool in_use = row < settings::operators_in_use(settings);
        Text_prov_ime[row]->setText(
            in_use ? console::from_device(settings.operator_names[row].value_or(std::string()))
                   : QString());
        Text_prov_gprs[row]->setText(
            in_use ? console::from_device(settings.gprs_strings[row].value_or(std::string()))
                   : QString());
    }
}

void GprsDialog::Potvrda_Click() {
    settings::Settings& settings = settings_;
    // All six rows are stored as typed, also those after the operators in
    // use (a name of blanks is a name).
    for (std::size_t row = 0; row < Text_prov_ime.size(); ++row) {
        settings.operator_names[row] = console::to_device(Text_prov_ime[row]->text());
        settings.gprs_strings[row] = console::to_device(Text_prov_gprs[row]->text());
    }
    settings::count_operators_in_use(settings);
    if (ftp_lists_) {
        ftp_lists_();
    }
    const bool saved = save_ && save_();
    transaction_.inform(QString::fromLatin1(saved ? "OK" : "Not OK"));
    if (saved) {
        accept();
    }
}

void GprsDialog::Izlaz_Click() {
    reject();
}

} // namespace tessal::dialogs
