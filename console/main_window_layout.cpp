// SPDX-License-Identifier: Apache-2.0
// The window's controls, frame by frame, how Tab and the handlers reach
// them, the trace window's shortcut and the context menu.
#include "main_window.h"

#include "look.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

namespace tessal::console {

namespace {

// Positions are given in twips; the screen has 15 twips per pixel.
QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

QGroupBox* frame(QWidget* parent, const char* name, const char* caption, QRect where) {
    return place(new QGroupBox(QString::fromLatin1(caption), parent), name, where);
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, QRect where) {
    return console_button(parent, name, caption, where);
}

// One group of the clock frame's boxes: the date row shows day, month, year;
// the time row hour, minute, second.  `owner` starts the boxes' spoken names;
// only the editable group's labels carry mnemonics.
struct ClockGroup {
    int left;
    const char* stem; // the boxes' object names: the stem and the box's index
    int first_index;
    bool editable;
    const char* owner;
};

void build_clock_group(QGroupBox* frame, const ClockGroup& group,
                       std::array<QLineEdit*, 6>& boxes) {
    static constexpr std::array<const char*, 6> kFields{"datum: godina", "datum: mesec",
                                                        "datum: dan",    "vreme: sat",
                                                        "vreme: minut",  "vreme: sekund"};
    static constexpr std::array<int, 6> kColumn{2, 1, 0, 0, 1, 2};
    for (std::size_t field = 0; field < boxes.size(); ++field) {
        const int i = static_cast<int>(field);
        auto* box = new QLineEdit(frame);
        const int top = i < 3 ? 38 : 86;
        place(box, "", {group.left + kColumn[field] * 30, top, 28, 24});
        box->setObjectName(
            QStringLiteral("%1%2").arg(QLatin1String(group.stem)).arg(group.first_index + i));
        box->setAccessibleName(
            QStringLiteral("%1 %2").arg(QLatin1String(group.owner), QLatin1String(kFields[field])));
        box->setMaxLength(2);
        box->setReadOnly(!group.editable);
        boxes[field] = box;
    }
    auto* date =
        new QLabel(group.editable ? QStringLiteral("&Datum") : QStringLiteral("Datum"), frame);
    auto* time =
        new QLabel(group.editable ? QStringLiteral("&Vreme") : QStringLiteral("Vreme"), frame);
    label_for(place(date, "", {group.left, 18, 90, 18}), boxes[2]);
    label_for(place(time, "", {group.left, 66, 90, 18}), boxes[3]);
}

} // namespace

void MainWindow::build() {
    setWindowTitle(QStringLiteral("Tessal"));
    setFixedSize(735, 431);
    apply_console_look(*this);

    content_ = new QWidget(this);
    content_->setObjectName(QStringLiteral("content"));
    content_->setGeometry(0, 0, 735, 431);

    build_port_frame();
    build_clock_frame();
    build_signal_frame();
    build_reading_frames();
    build_parameter_buttons();
    build_tab_order();
    connect_controls();
    build_menu_and_shortcuts();
    build_status_line();
}

void MainWindow::build_port_frame() {
    QGroupBox* port_frame =
        frame(content_, "ComPortFrame", "Com Port", twips(240, 240, 2895, 2175));
    Label1 = place(new QLabel(QStringLiteral("&Port:"), port_frame), "Label1", {8, 26, 48, 20});
    auto* port_list = new PortList(port_frame);
    port_list->before_popup = [this] { refresh_port_tips(); };
    Combo1 = spoken(place(port_list, "Combo1", {60, 24, 120, 24}), "Port");
    label_for(Label1, Combo1);
    for (int i = 1; i <= 8; ++i) {
        Combo1->addItem(QStringLiteral("Com%1").arg(i));
    }
    Combo1->setToolTip(QStringLiteral("Izbor porta za komunikaciju"));
    Label2 = place(new QLabel(QStringLiteral("&bps:"), port_frame), "Label2", {8, 58, 48, 20});
    Combo2 = spoken(place(new QComboBox(port_frame), "Combo2", {60, 56, 120, 24}), "Brzina (bps)");
    label_for(Label2, Combo2);
    Combo2->setEditable(true);
    Combo2->setInsertPolicy(QComboBox::NoInsert);
    // The field typed into is a control of its own for a screen reader.
    Combo2->lineEdit()->setAccessibleName(QStringLiteral("Brzina (bps) upis"));
    for (std::int32_t speed : kSpeeds) {
        Combo2->addItem(QString::number(speed));
    }
    Combo2->setToolTip(QStringLiteral("Izbor brzine prenosa"));
    ComStop = button(port_frame, "ComStop", "Restart", {8, 94, 84, 40});
    Test = button(port_frame, "Test", "Test", {100, 94, 84, 40});
}

void MainWindow::build_clock_frame() {
    QGroupBox* clock_frame =
        frame(content_, "VremeFrame", "Podesavanje vremena", twips(3300, 240, 5415, 2175));
    build_clock_group(clock_frame, {10, "Vreme", 0, true, "PC"}, Vreme);
    build_clock_group(clock_frame, {190, "VremeR", 6, false, "uredjaj"}, device_clock_boxes_);
    Check2 =
        spoken(place(new QCheckBox(QStringLiteral("PC"), clock_frame), "Check2", {104, 38, 70, 24}),
               "PC sat uzivo");
    SendTime = button(clock_frame, "SendTime", "Slanje", {104, 84, 76, 40});
    Option1 = spoken(place(new QRadioButton(QStringLiteral("Letnje"), clock_frame), "Option1",
                           {282, 18, 76, 22}),
                     "Letnje racunanje vremena");
    Option2 = spoken(place(new QRadioButton(QStringLiteral("Zimsko"), clock_frame), "Option2",
                           {282, 44, 76, 22}),
                     "Zimsko racunanje vremena");
    // Option buttons of one group: selecting one clears the other, and the
    // selected one stays selected when clicked again.  Neither is selected
    // at start.
    Option1->setAutoExclusive(true);
    Option2->setAutoExclusive(true);
    ReadTime = button(clock_frame, "ReadTime", "Citanje", {282, 84, 76, 40});
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
}

void MainWindow::build_signal_frame() {
    QGroupBox* signal_frame =
        frame(content_, "NivoFrame", "Nivo signala", twips(9000, 240, 1815, 2175));
    NivoLabel = place(new QLabel(signal_frame), "NivoLabel", {8, 24, 105, 20});
    NivoProgres = spoken(place(new QProgressBar(signal_frame), "NivoProgres", {8, 52, 105, 22}),
                         "Nivo signala");
    NivoProgres->setRange(0, 100);
    NivoProgres->setValue(0);
    NivoProgres->setTextVisible(false);
    ReadSignal = button(signal_frame, "ReadSignal", "Citanje", {8, 94, 105, 40});
}

// The reset button and the frames that show what the device answered.
void MainWindow::build_reading_frames() {
    QGroupBox* reset_frame = frame(content_, "ResetFrame", "Reset", twips(240, 2640, 1695, 2175));
    Reset = button(reset_frame, "Reset", "RESET!", {8, 50, 97, 48});

    // The IMEI and version boxes show what the device answered: they can be
    // selected and copied, not typed into.
    QGroupBox* imei_frame = frame(content_, "ImeiFrame", "IMEI", twips(2160, 2640, 4875, 975));
    ReadPassword = button(imei_frame, "ReadPassword", "Citanje IMEI-a", {8, 22, 140, 34});
    LozinkaR = spoken(place(new QLineEdit(imei_frame), "LozinkaR", {156, 26, 160, 26}), "IMEI");
    LozinkaR->setReadOnly(true);

    QGroupBox* version_frame =
        frame(content_, "VerzijaFrame", "Verzija softvera", twips(2160, 3840, 4875, 975));
    ReadVersion = button(version_frame, "ReadVersion", "Citanje", {8, 22, 140, 34});
    SoftVersion = spoken(place(new QLineEdit(version_frame), "SoftVersion", {156, 26, 160, 26}),
                         "Verzija softvera");
    SoftVersion->setReadOnly(true);

    QGroupBox* command_frame =
        frame(content_, "KomandaFrame", "Komanda", twips(7320, 2640, 3495, 2175));
    LastCommand = spoken(place(new QPlainTextEdit(command_frame), "LastCommand", {8, 20, 217, 80}),
                         "Poslednja komanda");
    LastCommand->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab leaves the box instead of being typed into it.
    LastCommand->setTabChangesFocus(true);
    ReadLast = button(command_frame, "ReadLast", "Read", {8, 106, 217, 32});
}

void MainWindow::build_parameter_buttons() {
    QGroupBox* parameters_frame =
        frame(content_, "ParametriFrame", "Parametri", twips(240, 5040, 5475, 1095));
    Podesavanja = button(parameters_frame, "Podesavanja", "GPRS", {8, 24, 82, 40});
    Podesavanje_PU = button(parameters_frame, "Podesavanje_PU", "FTP PU", {97, 24, 82, 40});
    SIMch = button(parameters_frame, "SIMch", "SIM ", {186, 24, 82, 40});
    JAD = button(parameters_frame, "JAD", "JAD", {275, 24, 82, 40});

    Izlaz = button(content_, "Izlaz", "Izlaz", twips(6000, 5280, 4815, 615));
}

void MainWindow::build_tab_order() {
    // Tab goes frame by frame, left to right and top to bottom; in the clock
    // frame group by group, each date row before its time row.
    const std::array<QLineEdit*, 6>& device_clock = device_clock_boxes_;
    tab_order({Combo1,
               Combo2,
               ComStop,
               Test,
               Vreme[2],
               Vreme[1],
               Vreme[0],
               Vreme[3],
               Vreme[4],
               Vreme[5],
               Check2,
               SendTime,
               device_clock[2],
               device_clock[1],
               device_clock[0],
               device_clock[3],
               device_clock[4],
               device_clock[5],
               Option1,
               Option2,
               ReadTime,
               ReadSignal,
               Reset,
               ReadPassword,
               LozinkaR,
               ReadVersion,
               SoftVersion,
               LastCommand,
               ReadLast,
               Podesavanja,
               Podesavanje_PU,
               SIMch,
               JAD,
               Izlaz});
}

void MainWindow::connect_controls() {
    using Handler = void (MainWindow::*)();
    const std::pair<QPushButton*, Handler> clicks[] = {
        {ComStop, &MainWindow::ComStop_Click},
        {Test, &MainWindow::Test_Click},
        {Reset, &MainWindow::Reset_Click},
        {ReadVersion, &MainWindow::ReadVersion_Click},
        {ReadLast, &MainWindow::ReadLast_Click},
        {ReadPassword, &MainWindow::ReadPassword_Click},
        {ReadSignal, &MainWindow::ReadSignal_Click},
        {ReadTime, &MainWindow::ReadTime_Click},
        {SendTime, &MainWindow::SendTime_Click},
        {Izlaz, &MainWindow::Izlaz_Click},
        {Podesavanja, &MainWindow::Podesavanja_Click},
        {Podesavanje_PU, &MainWindow::Podesavanje_PU_Click},
        {SIMch, &MainWindow::SIMch_Click},
        {JAD, &MainWindow::JAD_Click},
    };
    for (const auto& [control, handler] : clicks) {
        connect(control, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    }
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { Combo1_Change(); });
    connect(Combo2, &QComboBox::editTextChanged, this, [this] { Combo2_Change(); });
    connect(Check2, &QCheckBox::clicked, this, [this] { Check2_Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    for (QLineEdit* box : Vreme) {
        connect(box, &QLineEdit::textChanged, this, [this] { Vreme_Change(); });
    }
}

void MainWindow::build_menu_and_shortcuts() {
    // The trace window, beside the controls: a shortcut and a context menu
    // leave the layout as it is.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this), &QShortcut::activated, this,
            [this] {
                if (open_trace_) {
                    open_trace_();
                }
            });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        add_service_actions(menu, false);
        menu.exec(mapToGlobal(at));
    });
    // The menu bar stands above the controls, which keep their places: the
    // window grows by its height.
    MenuBar = new QMenuBar(this);
    MenuBar->setObjectName(QStringLiteral("MenuBar"));
    QMenu* service = MenuBar->addMenu(QStringLiteral("&Servis"));
    service->setObjectName(QStringLiteral("Servis"));
    connect(service, &QMenu::aboutToShow, this, [this, service] {
        service->clear();
        add_service_actions(*service, true);
    });
    const int bar = MenuBar->sizeHint().height();
    MenuBar->setGeometry(0, 0, width(), bar);
    content_->move(0, bar);
    setFixedSize(width(), height() + bar);
}

void MainWindow::build_status_line() {
    // Below the controls, which keep their places: the window grows by its
    // height.
    StatusLine = new QStatusBar(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setSizeGripEnabled(false);
    ServiceState = new QLabel(StatusLine);
    ServiceState->setObjectName(QStringLiteral("ServiceState"));
    // Its text starts where the frames do.
    ServiceState->setIndent(14);
    StatusLine->addWidget(ServiceState, 1);
    show_service_state();
    const int line = StatusLine->sizeHint().height();
    StatusLine->setGeometry(0, content_->geometry().bottom() + 1, width(), line);
    setFixedSize(width(), height() + line);
    // Rows reach the register on the book's thread; the line follows them.
    auto* follow = new QTimer(this);
    connect(follow, &QTimer::timeout, this, [this] { show_service_state(); });
    follow->start(1000);
}

void MainWindow::add_service_actions(QMenu& menu, bool bar) {
    if (bar) {
        add_intervention_actions(menu);
        menu.addSeparator();
    }
    const QString trace = QStringLiteral("Trag komunikacije");
    const QKeySequence trace_keys(Qt::CTRL | Qt::Key_T);
    auto open_trace = [this] {
        if (open_trace_) {
            open_trace_();
        }
    };
    if (bar) {
        menu.addAction(trace + QLatin1Char('\t') + trace_keys.toString(QKeySequence::NativeText),
                       this, open_trace);
    } else {
        menu.addAction(trace, trace_keys, this, open_trace);
    }
    menu.addAction(QStringLiteral("Sacuvaj profil..."), this, [this] { SaveProfile_Click(); });
    menu.addAction(QStringLiteral("Primeni profil..."), this, [this] { ApplyProfile_Click(); });
    if (open_station_) {
        menu.addAction(QStringLiteral("Stanica..."), this, [this] {
            if (transaction_.idle()) {
                open_station_();
            }
        });
    }
    menu.addAction(QStringLiteral("Provera uredjaja..."), this, [this] { CheckDevice_Click(); });
    menu.addAction(QStringLiteral("Servisna knjiga..."), this, [this] { ServiceBook_Click(); });
    if (!bar) {
        menu.addSeparator();
        add_intervention_actions(menu);
    }
}

void MainWindow::add_intervention_actions(QMenu& menu) {
    // One entry at a time on a port, opened and ended while the port is free.
    const bool open = open_entry().has_value();
    menu.addAction(QStringLiteral("Nova intervencija..."), this,
                   [this] { NewIntervention_Click(); })
        ->setEnabled(!open && transaction_.idle());
    menu.addAction(QStringLiteral("Zavrsi intervenciju..."), this,
                   [this] { EndIntervention_Click(); })
        ->setEnabled(open && transaction_.idle());
}

} // namespace tessal::console
