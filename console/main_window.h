// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/clock.h"
#include "device/service_book.h"
#include "link/qt_port_enumerator.h"
#include "transaction.h"

#include <QComboBox>
#include <QDateTime>
#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;

namespace tessal::settings {
class SettingsStore;
}

namespace tessal::console {

class BookWindow;
class CheckWindow;
class MessageService;

// A pick-only list that runs `before_popup` each time its popup opens.
class PortList : public QComboBox {
    Q_OBJECT

  public:
    using QComboBox::QComboBox;
    std::function<void()> before_popup;
    void showPopup() override;
};

// The console's main window: port and speed choice, the maintenance
// commands, the signal level and the device clock.  It owns the transaction
// on the port, which the dialogs share.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    MainWindow(settings::Settings& settings, settings::SettingsStore& store, device::Engine& engine,
               MessageService& messages, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The one transaction on the port, shared with the dialogs.
    Transaction& transaction() { return transaction_; }
    // The devices' service book: every operation's report goes to it.
    device::ServiceBook& service_book() { return book_; }

    // The dialogs live in their own layer; it installs here what the start
    // step and the four dialog buttons run.
    struct DialogHooks {
        std::function<void()> after_load; // fills the FTP dialog's operator lists
        std::function<void()> open_gprs;
        std::function<void()> open_ftp;
        std::function<void()> open_sim;
        std::function<void()> open_jad;
    };
    void set_dialog_hooks(DialogHooks hooks) { dialog_hooks_ = std::move(hooks); }

    // The machine whose serial devices the port numbers reach; by default
    // the real one.  Not owned.
    void set_port_enumerator(const link::PortEnumerator& ports);
    // Gives every entry of the port list the tool tip of what it reaches now;
    // runs each time the list opens.
    void refresh_port_tips();
    // Opens the trace window: Ctrl+T, or "Trag komunikacije" in the window's
    // context menu.
    void set_trace_opener(std::function<void()> open) { open_trace_ = std::move(open); }
    // Opens the commissioning station's window: "Stanica..." in the context
    // menu, there only when an opener is set.
    void set_station_opener(std::function<void()> open) { open_station_ = std::move(open); }
    // Asks for a profile file's name: a file to write (`save`) or to read;
    // empty when the technician cancels.  By default the desktop's file
    // dialog; tests give names.
    void set_profile_chooser(std::function<QString(bool save)> choose) {
        choose_profile_ = std::move(choose);
    }

    // Handlers.
    void Form_Load();
    void Form_Unload();
    void Izlaz_Click();
    void Combo1_Change();
    void Combo2_Change();
    void Podesavanja_Click();
    void Podesavanje_PU_Click();
    void SIMch_Click();
    void JAD_Click();
    void ReadVersion_Click();
    void ReadLast_Click();
    void ComStop_Click();
    void Reset_Click();
    void Test_Click();
    void ReadPassword_Click();
    void ReadSignal_Click();
    void Check2_Click();
    void Timer1_Timer();
    void Vreme_Change();
    void ReadTime_Click();
    void SendTime_Click();
    // "Sacuvaj profil..." and "Primeni profil..." of the context menu.
    void SaveProfile_Click();
    void ApplyProfile_Click();
    // "Provera uredjaja...": opens the check's window.
    void CheckDevice_Click();
    // "Servisna knjiga...": the register's book, read as configured.
    void ServiceBook_Click();
    // "Nova intervencija...": asks who does what kind of work, reads the
    // device's identity and opens an entry of the service book on the port.
    void NewIntervention_Click();
    // "Zavrsi intervenciju...": ends the entry open on the port with its
    // seals, note and verdict, then says the entry's number.
    void EndIntervention_Click();
    // The check's window once it was opened, else null.
    CheckWindow* check_window() const { return check_window_.get(); }
    BookWindow* book_window() const { return book_window_.get(); }

    // The PC clock source; tests set a fixed time.
    void set_now(std::function<QDateTime()> now) { now_ = std::move(now); }

    // Controls, named as the technician's manual names them.
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* ComStop = nullptr;
    QPushButton* Test = nullptr;
    std::array<QLineEdit*, 6> Vreme{};
    QLineEdit* VremeR(int index) const {
        return device_clock_boxes_.at(static_cast<std::size_t>(index - 6));
    }
    QCheckBox* Check2 = nullptr;
    QTimer* Timer1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QPushButton* ReadTime = nullptr;
    QPushButton* SendTime = nullptr;
    QLabel* NivoLabel = nullptr;
    QProgressBar* NivoProgres = nullptr;
    QPushButton* ReadSignal = nullptr;
    QPushButton* Reset = nullptr;
    QPushButton* ReadPassword = nullptr;
    QLineEdit* LozinkaR = nullptr;
    QPushButton* ReadVersion = nullptr;
    QLineEdit* SoftVersion = nullptr;
    QPushButton* ReadLast = nullptr;
    QPlainTextEdit* LastCommand = nullptr;
    QPushButton* Podesavanja = nullptr;
    QPushButton* Podesavanje_PU = nullptr;
    QPushButton* SIMch = nullptr;
    QPushButton* JAD = nullptr;
    QPushButton* Izlaz = nullptr;
    // Above the controls: the "Servis" menu holds what the context menu does.
    QMenuBar* MenuBar = nullptr;
    // Below the controls: the service book's state.
    QStatusBar* StatusLine = nullptr;
    QLabel* ServiceState = nullptr;

    // The area that holds every control; it is disabled while the window
    // takes no input.
    QWidget* content() const { return content_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The speeds the speed list offers, in its order.
    static constexpr std::array<std::int32_t, 5> kSpeeds{9600, 19200, 38400, 57600, 28800};

    // The window's controls, frame by frame, then how Tab and the handlers
    // reach them, then the trace window's shortcut and the context menu.
    void build();
    void build_port_frame();
    void build_clock_frame();
    void build_signal_frame();
    void build_reading_frames();
    void build_parameter_buttons();
    void build_tab_order();
    void connect_controls();
    void build_menu_and_shortcuts();
    void build_status_line();
    // The service commands, as the "Servis" menu and the context menu offer
    // them; `bar` names Ctrl+T without taking it from the window's shortcut
    // and puts the service book's entries first.
    void add_service_actions(QMenu& menu, bool bar);
    void add_intervention_actions(QMenu& menu);
    // The entry this window opened on the port chosen now, while it is open.
    std::optional<device::OpenEntry> open_entry() const;
    // Says what became of the entry `id` once the register was handed its
    // end, or once `polls` checks found it still on its way.
    void tell_entry_number(const std::string& id, bool identified, int polls);
    // The status line: the entry open on the port and the rows that wait
    // for the register.
    void show_service_state();
    int season_offset() const;
    QString choose_profile(bool save);
    // Runs a device operation that takes input away from the window until
    // its result is placed and its messages are closed.
    // `then` runs last, with input given back.
    template <class Op, class Place>
    void run_locked(Op op, Place place, std::function<void()> then = {});

    settings::Settings& settings_;
    settings::SettingsStore& store_;
    device::Engine& engine_;
    link::QtPortEnumerator machine_ports_;
    const link::PortEnumerator* ports_ = &machine_ports_;
    device::ServiceBook book_;
    // The device each port number reached when this window opened an entry
    // there.
    std::map<std::uint8_t, std::string> entry_devices_;
    Transaction transaction_;
    QWidget* content_ = nullptr;
    // The boxes of the device's clock as last read, `VremeR`(6) to (11).
    std::array<QLineEdit*, 6> device_clock_boxes_{};
    // The PC time the clock frame's boxes stand for.
    device::ClockTexts pc_time_{};
    std::function<QDateTime()> now_;
    DialogHooks dialog_hooks_;
    std::function<void()> open_trace_;
    std::function<void()> open_station_;
    std::function<QString(bool save)> choose_profile_;
    std::unique_ptr<CheckWindow> check_window_;
    std::unique_ptr<BookWindow> book_window_;
    bool unloaded_ = false;
};

template <class Op, class Place>
void MainWindow::run_locked(Op op, Place place, std::function<void()> then) {
    const bool was_enabled = content_->isEnabled();
    content_->setEnabled(false);
    if (!transaction_.run(this, std::move(op), std::move(place),
                          [this, was_enabled, then = std::move(then)] {
                              content_->setEnabled(was_enabled);
                              if (then) {
                                  then();
                              }
                          })) {
        content_->setEnabled(was_enabled);
    }
}

} // namespace tessal::console
