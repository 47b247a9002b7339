// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "link/trace.h"

#include <QWidget>

#include <cstdint>
#include <functional>

class QPlainTextEdit;
class QPushButton;

namespace tessal::console {

// The trace of the serial line on screen: a window of its own, not modal and
// not owned by the main window, so it stays usable while a dialog holds the
// main window.  It shows the trace's records as they come, also while a
// reply is awaited (the records arrive through the event loop that the wait
// keeps running), and keeps the last 10,000 of them.
class TraceWindow : public QWidget {
    Q_OBJECT

  public:
    explicit TraceWindow(link::Trace& trace, QWidget* parent = nullptr);

    // Shows the window with every record kept so far and brings it forward.
    void open();

    void Obrisi_Click();
    void Kopiraj_Click();
    void Sacuvaj_Click();

    // Asks for the file that "Sacuvaj" writes; an empty name writes nothing.
    // Tests replace the file dialog.
    void set_file_chooser(std::function<QString()> choose) { choose_file_ = std::move(choose); }

    QPlainTextEdit* Lines = nullptr;
    QPushButton* Obrisi = nullptr;
    QPushButton* Kopiraj = nullptr;
    QPushButton* Sacuvaj = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Appends the records added since the last call, when shown.
    void catch_up();

    link::Trace& trace_;
    std::uint64_t next_ = 0;
    std::function<QString()> choose_file_;
};

} // namespace tessal::console
