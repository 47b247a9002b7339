// The windows as a keyboard and screen-reader user meets them: the names the
// accessibility tree gives, the order Tab follows, Enter and Escape.
#include "dialogs/ftp_dialog.h"
#include "dialogs/gprs_dialog.h"
#include "dialogs/jad_dialog.h"
#include "dialogs/sim_dialog.h"

#include "support/console_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace tessal::testing {
namespace {

// The name given to a control; a button without one is called by its
// caption.  (On Unix the accessibility layer reports a list's current entry
// as its name and the given name as a relation, so the given name is read
// from the widget.)
QString spoken_name(QWidget* widget) {
    return widget->accessibleName().isEmpty()
               ? QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name)
               : widget->accessibleName();
}

bool holds_value(QAccessible::Role role) {
    switch (role) {
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::SpinBox:
    case QAccessible::ProgressBar:
    case QAccessible::Slider:
        return true;
    default:
        return false;
    }
}

// Every control of the accessibility tree that holds a value: its object
// name and the name a screen reader announces.  A list's own editor and
// popup speak as the list and are not visited.
void value_controls(QAccessibleInterface* node, std::vector<std::pair<QString, QString>>& out) {
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (child == nullptr) {
            continue;
        }
        if (holds_value(child->role())) {
            auto* widget = qobject_cast<QWidget*>(child->object());
            out.emplace_back(widget->objectName(), widget->accessibleName());
            if (child->role() == QAccessible::ComboBox) {
                continue;
            }
        }
        value_controls(child, out);
    }
}

// The accessible names of the controls Tab visits, from the first control of
// the focus chain until Tab comes back to it.
std::vector<std::string> tab_walk(QWidget* window) {
    window->show();
    QWidget* first = window->nextInFocusChain();
    while (first != window && (!(first->focusPolicy() & Qt::TabFocus) ||
                               !first->isVisibleTo(window) || first->focusProxy() != nullptr)) {
        first = first->nextInFocusChain();
    }
    first->setFocus(Qt::TabFocusReason);
    std::vector<std::string> names;
    QWidget* at = window->focusWidget();
    for (int step = 0; step < 60 && at != nullptr; ++step) {
        names.push_back(spoken_name(at).toStdString());
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(at, &tab);
        at = window->focusWidget();
        if (at == first) {
            break;
        }
    }
    return names;
}

void press(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &down);
}

// The main window with six operators and every dialog made on it.
class KeyboardTest : public ConsoleFixture {
  protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\n"
                       "IME0=Telenor\r\nGPRS0=internet\r\nIME1=MTS\r\nGPRS1=gprswap\r\n"
                       "IME2=Vip\r\nGPRS2=vipmobile\r\nIME3=Globaltel\r\nGPRS3=Internet,gt\r\n"
                       "IME4=Yettel\r\nGPRS4=yettel\r\nIME5=Mundio\r\nGPRS5=mundio\r\n"
                       "[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n");
        start();
        ftp_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
        gprs_ = std::make_unique<dialogs::GprsDialog>(
            window_->transaction(), settings_, [] {},
            [this] {
                ++saves_;
                return true;
            });
        jad_ = std::make_unique<dialogs::JadDialog>(
            window_->transaction(), settings_,
            std::filesystem::path(settings_path()).parent_path() / "Jad.txt");
        sim_ = std::make_unique<dialogs::SimDialog>(window_->transaction());
    }

    std::vector<QWidget*> windows() const {
        return {window_.get(), ftp_.get(), gprs_.get(), jad_.get(), sim_.get()};
    }

    std::unique_ptr<dialogs::FtpDialog> ftp_;
    std::unique_ptr<dialogs::GprsDialog> gprs_;
    std::unique_ptr<dialogs::JadDialog> jad_;
    std::unique_ptr<dialogs::SimDialog> sim_;
    int saves_ = 0;
};

TEST_F(KeyboardTest, EveryValueControlHasANameOfItsOwn) {
    for (QWidget* window : windows()) {
        std::vector<std::pair<QString, QString>> controls;
        value_controls(QAccessible::queryAccessibleInterface(window), controls);
        EXPECT_GE(controls.size(), 4U) << window->windowTitle().toStdString();
        QStringList seen;
        for (const auto& [object, name] : controls) {
            const std::string where =
                window->windowTitle().toStdString() + ": " + object.toStdString();
            EXPECT_FALSE(name.trimmed().isEmpty()) << where;
            EXPECT_FALSE(seen.contains(name)) << where << " is also called " << name.toStdString();
            seen << name;
        }
    }
}

TEST_F(KeyboardTest, TabFollowsReadingOrder) {
    const std::vector<std::pair<QWidget*, std::vector<std::string>>> orders{
        {window_.get(),
         {"Port",
          "Brzina (bps)",
          "Restart",
          "Test",
          "PC datum: dan",
          "PC datum: mesec",
          "PC datum: godina",
          "PC vreme: sat",
          "PC vreme: minut",
          "PC vreme: sekund",
          "PC sat uzivo",
          "Slanje",
          "uredjaj datum: dan",
          "uredjaj datum: mesec",
          "uredjaj datum: godina",
          "uredjaj vreme: sat",
          "uredjaj vreme: minut",
          "uredjaj vreme: sekund",
          "Letnje racunanje vremena",
          "Zimsko racunanje vremena",
          "Citanje",
          "Citanje",
          "RESET!",
          "Citanje IMEI-a",
          "IMEI",
          "Citanje",
          "Verzija softvera",
          "Poslednja komanda",
          "Read",
          "GPRS",
          "FTP PU",
          "SIM ",
          "JAD",
          "Izlaz"}},
        {ftp_.get(),
         {"slanje: ftp adresa",
          "ftp adresa 1 (slanje)",
          "ftp adresa 2 (slanje)",
          "ftp adresa 3 (slanje)",
          "ftp adresa 4 (slanje)",
          "slanje: username",
          "username (slanje)",
          "slanje: password",
          "password (slanje)",
          "slanje: for send",
          "for send (slanje)",
          "slanje: command",
          "command (slanje)",
          "slanje: operater",
          "operater (slanje)",
          "Slanje",
          "ftp adresa 1 (citanje)",
          "ftp adresa 2 (citanje)",
          "ftp adresa 3 (citanje)",
          "ftp adresa 4 (citanje)",
          "username (citanje)",
          "password (citanje)",
          "for send (citanje)",
          "command (citanje)",
          "operater (citanje)",
          "Citanje",
          "Izlaz"}},
        {gprs_.get(),
         {"Operater 1", "GPRS parametri 1", "Operater 2", "GPRS parametri 2", "Operater 3",
          "GPRS parametri 3", "Operater 4", "GPRS parametri 4", "Operater 5", "GPRS parametri 5",
          "Operater 6", "GPRS parametri 6", "Potvrda", "Izlaz"}},
        {jad_.get(), {"Parametar", "Vrednost parametra", "Read JAD", "Send", "Izlaz", "JAD fajl"}},
        {sim_.get(),
         {"Citanje SIM-a", "SIM identifikacija (citanje)", "Slanje lozinke", "Lozinka",
          "Slanje SIM-a", "SIM identifikacija (slanje)", "Slanje PIN-a", "PIN", "Izlaz"}},
    };
    for (const auto& [window, order] : orders) {
        EXPECT_EQ(tab_walk(window), order) << window->windowTitle().toStdString();
    }
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(KeyboardTest, DisplayOnlyControlsTakeNoTyping) {
    ftp_->CombogprsR->setCurrentIndex(3);
    std::vector<QWidget*> shown{window_->LozinkaR, window_->SoftVersion, ftp_->ftp[4],
                                ftp_->ftp[7],      ftp_->UsernameR,      ftp_->ForCommandR,
                                ftp_->CombogprsR,  sim_->SIMtext,        jad_->Text2};
    for (int i = 6; i < 12; ++i) {
        shown.push_back(window_->VremeR(i));
    }
    for (QWidget* control : shown) {
        control->setFocus();
        for (const int key : {Qt::Key_X, Qt::Key_Down, Qt::Key_End, Qt::Key_Space}) {
            press(control, key, key == Qt::Key_X ? "x" : QString());
        }
        EXPECT_EQ(control->property("text").toString().toStdString(), "")
            << control->objectName().toStdString();
        EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << control->objectName().toStdString();
    }
    EXPECT_EQ(ftp_->CombogprsR->currentText().toStdString(), "Globaltel");
    EXPECT_TRUE(jad_->Text2->toPlainText().isEmpty());
}

TEST_F(KeyboardTest, EnterPressesTheRowButtonAndEscapeCloses) {
    reply_frame("TIMEOUT: 30\r\n");
    jad_->Command2->click();
    jad_->Combo1->setCurrentIndex(0);
    port_->writes.clear();
    ftp_->Username->setText("u");
    for (QCheckBox* tick : ftp_->Check1) {
        tick->setChecked(true);
    }
    ftp_->Combogprs->setCurrentIndex(1);
    struct Case {
        QDialog* dialog;
        QLineEdit* box;
        QString typed;
        std::vector<std::string> requests; // after Enter
    };
    const std::vector<Case> cases{
        {sim_.get(), sim_->PINText, " 1234 ", {"AAT+CPIN?"}},
        {sim_.get(), sim_->PassText, "tajna", {"ptajna"}},
        {sim_.get(), sim_->SimtextS, "8938", {"PSIM:8938"}},
        {sim_.get(), sim_->SIMtext, {}, {}},
        {jad_.get(), jad_->Text3, "45", {"PTIMEOUT:45"}},
        // Enter sends nothing the technician did not choose, and does not
        // confirm the operator table.
        {ftp_.get(), ftp_->Username, "terminal", {}},
        {ftp_.get(), ftp_->ftp[5], {}, {}},
        {gprs_.get(), gprs_->Text_prov_gprs[0], "novi", {}},
    };
    for (const Case& c : cases) {
        c.dialog->show();
        port_->writes.clear();
        port_->script.clear();
        reply_frame("+CPIN: READY"); // the one request, if any, is answered
        if (!c.box->isReadOnly()) {
            c.box->setText(c.typed);
        }
        press(c.box, Qt::Key_Return);
        EXPECT_EQ(requests(), c.requests) << c.box->objectName().toStdString();
        EXPECT_TRUE(c.dialog->isVisible());
        EXPECT_FALSE(port_->is_open());
    }
    EXPECT_EQ(saves_, 0);
    EXPECT_EQ(settings_.gprs_strings[0], "internet");

    // Escape closes each dialog as its "Izlaz" does, from any box.
    for (const Case& c : cases) {
        c.dialog->show();
        port_->writes.clear();
        press(c.box, Qt::Key_Escape);
        EXPECT_FALSE(c.dialog->isVisible()) << c.box->objectName().toStdString();
        EXPECT_TRUE(port_->writes.empty());
    }
    ftp_->show();
    press(ftp_->CombogprsR, Qt::Key_Escape);
    EXPECT_FALSE(ftp_->isVisible());
    EXPECT_EQ(saves_, 0);
    EXPECT_EQ(settings_.gprs_strings[0], "internet");
}

} // namespace
} // namespace tessal::testing
