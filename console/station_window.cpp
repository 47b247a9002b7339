// SPDX-License-Identifier: Apache-2.0
#include "station_window.h"

#include "device/profile_file.h"
#include "link/handover.h"
#include "look.h"
#include "station/station.h"
#include "transaction.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <mutex>

namespace tessal::console {

// What the window and the station's thread share: the station while it runs,
// so that "Zaustavi" reaches it from the window's thread, and the window's
// courier while the window exists, so that the station's news reach it.
class StationWindow::Control {
  public:
    explicit Control(link::Courier* inbox) : inbox_(inbox) {}
    // Runs `work` on the window's thread, unless the window has gone.
    void tell(std::function<void()> work) {
        const std::lock_guard lock(mutex_);
        if (inbox_ != nullptr) {
            inbox_->post(std::move(work));
        }
    }
    void forget_window() {
        const std::lock_guard lock(mutex_);
        inbox_ = nullptr;
    }
    void attach(station::Station* station) {
        const std::lock_guard lock(mutex_);
        station_ = station;
        if (station_ != nullptr && stop_) {
            station_->stop();
        }
    }
    void stop() {
        const std::lock_guard lock(mutex_);
        stop_ = true;
        if (station_ != nullptr) {
            station_->stop();
        }
    }

  private:
    std::mutex mutex_;
    link::Courier* inbox_;
    station::Station* station_ = nullptr;
    bool stop_ = false;
};

namespace {

// A text of its own: what goes to the station's thread shares no data with
// the window's widgets, whose texts that thread must not count references
// to.
QString own_copy(const QString& text) {
    return QString(text.constData(), text.size());
}

} // namespace

StationWindow::StationWindow(Transaction& transaction, const settings::Settings& settings,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), transaction_(transaction), settings_(settings),
      place_(reg::configured()) {
    build();
}

StationWindow::~StationWindow() {
    if (control_) {
        control_->forget_window();
        control_->stop();
    }
}

void StationWindow::build() {
    setWindowTitle(QStringLiteral("Stanica"));
    setFixedSize(640, 470);
    apply_console_look(*this);

    auto* profile_label = place(new QLabel(QStringLiteral("&Profil:"), this), "", {12, 14, 80, 24});
    ProfileFile = spoken(place(new QLineEdit(this), "ProfileFile", {96, 12, 430, 26}), "Profil");
    label_for(profile_label, ProfileFile);
    Choose = console_button(this, "Choose", "...", {534, 10, 94, 30});
    Choose->setAccessibleName(QStringLiteral("Izbor profila"));
    auto* ports_label = place(new QLabel(QStringLiteral("P&ortovi:"), this), "", {12, 50, 80, 24});
    Ports = spoken(place(new QLineEdit(this), "Ports", {96, 48, 430, 26}), "Portovi");
    Ports->setPlaceholderText(QStringLiteral("USB adapteri"));
    label_for(ports_label, Ports);
    Start = console_button(this, "Start", "Pokreni", {96, 86, 160, 36});
    Stop = console_button(this, "Stop", "Zaustavi", {266, 86, 160, 36});

    Status = spoken(place(new QLabel(this), "Status", {12, 134, 616, 96}), "Rezultat");
    QFont big = font();
    big.setPointSize(48);
    big.setBold(true);
    Status->setFont(big);
    Status->setAlignment(Qt::AlignCenter);
    Status->setAutoFillBackground(true);
    Step = spoken(place(new QLabel(this), "Step", {12, 238, 616, 22}), "Korak");
    Progress = spoken(place(new QProgressBar(this), "Progress", {12, 264, 616, 22}), "Napredak");
    Progress->setRange(0, station::kSteps - 1);
    Progress->setValue(0);
    Progress->setFormat(QStringLiteral("korak %v od %m"));
    Devices = spoken(place(new QPlainTextEdit(this), "Devices", {12, 296, 616, 162}),
                     "Poslednji uredjaji");
    Devices->setReadOnly(true);
    Devices->setTabChangesFocus(true);
    Devices->setMaximumBlockCount(200);
    tab_order({ProfileFile, Choose, Ports, Start, Stop, Devices});

    connect(Choose, &QPushButton::clicked, this, [this] { Choose_Click(); });
    connect(Start, &QPushButton::clicked, this, [this] { Start_Click(); });
    connect(Stop, &QPushButton::clicked, this, [this] { Stop_Click(); });
    set_running(false);
}

bool StationWindow::running() const {
    return control_ != nullptr;
}

void StationWindow::set_running(bool running) {
    Start->setEnabled(!running);
    Stop->setEnabled(running);
    ProfileFile->setEnabled(!running);
    Choose->setEnabled(!running);
    Ports->setEnabled(!running);
}

void StationWindow::Choose_Click() {
    choose_profile_into(ProfileFile, choose_);
}

namespace {

// The register's place in texts of its own, for the station's thread.
reg::Place own_place(const reg::Place& given) {
    reg::Place place;
    place.location = own_copy(given.location);
    place.password_file = own_copy(given.password_file);
    place.local = own_copy(given.local);
    place.station = own_copy(given.station);
    return place;
}

// What the window shows of a profile it cannot use.
QString profile_refusal(const device::LoadedProfile& loaded) {
    using Outcome = device::LoadedProfile::Outcome;
    const QString why = loaded.outcome == Outcome::missing ? QStringLiteral("nema takvog fajla")
                        : loaded.outcome == Outcome::unreadable
                            ? QString::fromStdString(loaded.problem)
                            : from_device(loaded.problem);
    return QStringLiteral("Profil nije dobar: ") + why;
}

// On the engine's thread: the register opened, then the station run on it
// until it is stopped, `attach` told of the station while it runs; `told`
// hears of every device.  The reason it stopped by itself, or empty text.
QString run_station(station::Options options, const reg::Place& place,
                    const std::function<void(station::Station*)>& attach,
                    const std::function<void(bool pass, const QString& line)>& told) {
    reg::Register book;
    QString error;
    if (!book.open(place, error)) {
        return error;
    }
    options.traces_folder = book.traces_folder();
    options.station_name = place.station;
    station::Station station(book, std::move(options));
    attach(&station);
    error = station.run([&told](const reg::Record& record, const reg::Kept& kept) {
        told(record.pass, station::outcome_line(record) + station::kept_note(kept));
    });
    attach(nullptr);
    return error;
}

} // namespace

void StationWindow::Start_Click() {
    if (running() || !transaction_.idle()) {
        return;
    }
    // The profile is read and checked before any port is touched.
    const QString file = own_copy(ProfileFile->text());
    const device::LoadedProfile loaded = device::load_profile(file);
    if (!loaded.profile) {
        transaction_.inform(profile_refusal(loaded));
        return;
    }
    station::Options options =
        station::station_options(file, loaded, settings_, own_copy(Ports->text().trimmed()));
    // The station's thread tells the window through its courier.
    auto control = std::make_shared<Control>(&inbox_);
    options.on_step = [control, this](station::Step step, const QString& what) {
        control->tell([this, step, what] { show_step(static_cast<int>(step), what); });
    };
    const auto told = [control, this](bool pass, const QString& line) {
        control->tell([this, pass, line] { show_device(pass, line); });
    };
    const bool started = transaction_.run(
        this,
        [control, options, place = own_place(place_), told](device::Session&) {
            return run_station(
                options, place, [&control](station::Station* s) { control->attach(s); }, told);
        },
        [this](const QString& error) {
            if (!error.isEmpty()) {
                transaction_.inform(QStringLiteral("Stanica je stala: ") + error);
            }
        },
        // The transaction outlives this window: what runs after the station
        // touches the window only while it is still there.
        [self = QPointer<StationWindow>(this)] {
            if (self == nullptr) {
                return;
            }
            self->control_.reset();
            self->set_running(false);
            self->Step->setText(QStringLiteral("zaustavljeno"));
        });
    if (started) {
        control_ = control;
        set_running(true);
        Status->clear();
        Step->setText(QStringLiteral("ceka se uredjaj"));
        Progress->setValue(0);
    }
}

void StationWindow::Stop_Click() {
    if (control_) {
        control_->stop();
    }
}

void StationWindow::show_step(int step, const QString& what) {
    if (!running()) {
        return;
    }
    Progress->setValue(step);
    Step->setText(what);
}

void StationWindow::show_device(bool pass, const QString& line) {
    Status->setText(pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    QPalette colours = Status->palette();
    colours.setColor(QPalette::Window, pass ? QColor(0, 160, 0) : QColor(200, 0, 0));
    colours.setColor(QPalette::WindowText, Qt::white);
    Status->setPalette(colours);
    Devices->appendPlainText(line);
}

void StationWindow::closeEvent(QCloseEvent* event) {
    // A running station is stopped first; the window closes once it has.
    if (control_) {
        control_->stop();
        event->ignore();
        QPointer<StationWindow> self(this);
        transaction_.close(
            [self] {
                if (self) {
                    self->close();
                }
            },
            false);
        return;
    }
    event->accept();
}

} // namespace tessal::console
