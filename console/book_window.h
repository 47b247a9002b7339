// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "link/handover.h"
#include "register/register.h"

#include <QObject>
#include <QStringList>
#include <QThread>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tessal::console {

// What the window asks of the register, and what it answers.
struct BookQuestion {
    enum class What { find, book, compare } what = What::find;
    int number = 0; // the window's count, so that a late answer is known
    QString text;   // what to find, or the device's IMEI
    int from = 0;
    int to = 0;
};

struct BookAnswer {
    BookQuestion question;
    QString failure;                 // why the register did not answer
    QStringList devices;             // the devices found, by IMEI
    QString proof;                   // whether the device's entries verify
    std::vector<reg::Entry> entries; // the device's book
    std::vector<reg::Difference> differences;
};

// Answers the window's questions from a register of its own, opened for
// reading (again after a failure, when next asked).  Used on the reading
// thread only.
class BookReader {
  public:
    explicit BookReader(reg::Place place) : place_(std::move(place)) {}

    BookAnswer answer(const BookQuestion& question);

  private:
    reg::Place place_;
    std::unique_ptr<reg::Register> register_;
};

// "Servisna knjiga": a device found by its IMEI, SIM identification or a
// seal code (part of a number is enough), its entries in order, an entry
// whole with every change before and after, what differs between two of
// its entries, and the entry printed for the customer.  The register is
// read on a thread of the window's own: the window stays live, and says so
// when the register is out of reach.
class BookWindow : public QWidget {
    Q_OBJECT

  public:
    explicit BookWindow(reg::Place place, QWidget* parent = nullptr);
    ~BookWindow() override;

    // Asks for the PDF file to write; by default the desktop's file dialog.
    void set_file_chooser(std::function<QString()> choose) { choose_ = std::move(choose); }

    void Find_Click();
    void Compare_Click();
    void Print_Click();

    // The entry shown, when there is one.
    const reg::Entry* shown() const;

    QLineEdit* Search = nullptr;
    QPushButton* Find = nullptr;
    QComboBox* Devices = nullptr;
    QLabel* Status = nullptr;
    QTableWidget* Entries = nullptr;
    QPlainTextEdit* Entry = nullptr;
    QPushButton* Print = nullptr;
    QLabel* Proof = nullptr;
    QSpinBox* From = nullptr;
    QSpinBox* To = nullptr;
    QPushButton* Compare = nullptr;
    QPlainTextEdit* Differences = nullptr;

  private:
    void build();
    void ask(BookQuestion question, const QString& waiting);
    void take(const BookAnswer& answer);
    void show_book(const std::vector<reg::Entry>& entries);
    void show_entry(int row);

    QThread thread_;
    link::Courier* worker_ = nullptr; // lives on the reading thread
    link::Courier inbox_;             // lives on the window's thread
    std::unique_ptr<BookReader> reader_;
    int asked_ = 0;
    std::vector<reg::Entry> book_;
    std::function<QString()> choose_;
};

} // namespace tessal::console
