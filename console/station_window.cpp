// SPDX-License-Identifier: Apache-2.0
#include "station_window.h"

#include "link/handover.h"
#include "look.h"
#include "settings/text_file.h"
#include "station/station.h"
#include "transaction.h"

#include <QCloseEvent>
#include <QCryptographicHash>
#include <QFileDialog>
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
    const QString file =
        choose_ ? choose_()
                : QFileDialog::getOpenFileName(this, QStringLiteral("Profil"), QString(),
                                               QStringLiteral("Profil (*.json)"));
    if (!file.isEmpty()) {
        ProfileFile->setText(file);
    }
}

void StationWindow::Start_Click() {
    if (running() || !transaction_.idle()) {
        return;
    }
    // The profile is read and checked before any port is touched.
    const QString file = ProfileFile->text();
    std::string text;
    std::string problem;
    const settings::ReadOutcome read = settings::read_text_file(file.toStdString(), text, problem);
    std::optional<device::Profile> profile;
    if (read == settings::ReadOutcome::read) {
        profile = device::parse_profile(text, problem);
        if (profile) {
            problem = device::profile_problem(*profile).value_or("");
        }
    } else if (read == settings::ReadOutcome::missing) {
        problem = "nema takvog fajla";
    }
    if (!profile || !problem.empty()) {
        transaction_.inform(QStringLiteral("Profil nije dobar: ") + from_device(problem));
        return;
    }
    station::Options options;
    options.profile = *profile;
    options.profile_file = own_copy(QFileInfo(file).absoluteFilePath());
    options.profile_sha256 = QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256)
            .toHex());
    options.settings = settings_;
    options.speeds = station::kDefaultSpeeds;
    options.ports_glob = own_copy(Ports->text().trimmed());
    // The station's thread tells the window through its courier.
    auto control = std::make_shared<Control>(&inbox_);
    options.on_step = [control, this](int step, const QString& what) {
        control->tell([this, step, what] { show_step(step, what); });
    };
    reg::Place place;
    place.location = own_copy(place_.location);
    place.password_file = own_copy(place_.password_file);
    place.local = own_copy(place_.local);
    place.station = own_copy(place_.station);
    options.station_name = place.station;
    const bool started = transaction_.run(
        this,
        [control, options, place, this](device::Session&) mutable {
            reg::Register book;
            QString error;
            if (!book.open(place, error)) {
                return error;
            }
            options.traces_folder = book.traces_folder();
            station::Station station(book, options);
            control->attach(&station);
            error = station.run([control, this](const reg::Record& record, const reg::Kept& kept) {
                const bool pass = record.pass;
                const QString line = station::outcome_line(record) + station::kept_note(kept);
                control->tell([this, pass, line] { show_device(pass, line); });
            });
            control->attach(nullptr);
            return error;
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
