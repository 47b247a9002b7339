// The windows as a keyboard and screen-reader user meets them: the names the
// accessibility tree gives, the order Tab follows, Enter and Escape; and the
// dialogs opened from the main window, modal to it alone.
#include "console/trace_window.h"
#include "dialogs/dialog_set.h"
#include "dialogs_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

namespace tessal::testing {
namespace {

using KeyboardTest = DialogsFixture;

void press(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &down);
}

// Every control of the accessibility tree that holds a value, with the name
// a screen reader announces.  A list's own editor and popup speak as the
// list and are not visited.
void value_controls(QAccessibleInterface* node, std::vector<QWidget*>& out) {
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        const QAccessible::Role role = child != nullptr ? child->role() : QAccessible::NoRole;
        for (const auto value_role :
             {QAccessible::EditableText, QAccessible::ComboBox, QAccessible::CheckBox,
              QAccessible::RadioButton, QAccessible::SpinBox, QAccessible::ProgressBar}) {
            if (role == value_role) {
                out.push_back(qobject_cast<QWidget*>(child->object()));
            }
        }
        if (child != nullptr && role != QAccessible::ComboBox) {
            value_controls(child, out);
        }
    }
}

// The names of the controls Tab visits from the first one of the focus chain
// until it comes back; a button without a name of its own is called by its
// caption.
QString tab_walk(QWidget* window) {
    window->show();
    QWidget* first = window->nextInFocusChain();
    while (first != window && (!(first->focusPolicy() & Qt::TabFocus) ||
                               !first->isVisibleTo(window) || first->focusProxy() != nullptr)) {
        first = first->nextInFocusChain();
    }
    first->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (QWidget* at = first; at != nullptr && names.size() < 60;) {
        names << (at->accessibleName().isEmpty()
                      ? QAccessible::queryAccessibleInterface(at)->text(QAccessible::Name)
                      : at->accessibleName());
        press(at, Qt::Key_Tab);
        at = window->focusWidget() == first ? nullptr : window->focusWidget();
    }
    return names.join(u'|');
}

TEST_F(KeyboardTest, EveryValueControlHasANameOfItsOwn) {
    for (QWidget* window : {(QWidget*)window_.get(), (QWidget*)ftp_.get(), (QWidget*)gprs_.get(),
                            (QWidget*)jad_.get(), (QWidget*)sim_.get()}) {
        std::vector<QWidget*> controls;
        value_controls(QAccessible::queryAccessibleInterface(window), controls);
        EXPECT_GE(controls.size(), 4U) << window->windowTitle().toStdString();
        QStringList seen;
        for (QWidget* control : controls) {
            const QString name = control->accessibleName();
            EXPECT_FALSE(name.trimmed().isEmpty() || seen.contains(name))
                << control->objectName().toStdString() << " is called " << name.toStdString();
            seen << name;
        }
    }
}

TEST_F(KeyboardTest, TabFollowsReadingOrder) {
    const std::pair<QWidget*, const char*> orders[] = {
        {window_.get(),
         "Port|Brzina (bps)|Restart|Test|PC datum: dan|PC datum: mesec|PC datum: godina|"
         "PC vreme: sat|PC vreme: minut|PC vreme: sekund|PC sat uzivo|Slanje|uredjaj datum: dan|"
         "uredjaj datum: mesec|uredjaj datum: godina|uredjaj vreme: sat|uredjaj vreme: minut|"
         "uredjaj vreme: sekund|Letnje racunanje vremena|Zimsko racunanje vremena|Citanje|"
         "Citanje|RESET!|Citanje IMEI-a|IMEI|Citanje|Verzija softvera|Poslednja komanda|Read|"
         "GPRS|FTP PU|SIM |JAD|Izlaz"},
        {ftp_.get(),
         "slanje: ftp adresa|ftp adresa 1 (slanje)|ftp adresa 2 (slanje)|ftp adresa 3 (slanje)|"
         "ftp adresa 4 (slanje)|slanje: username|username (slanje)|slanje: password|"
         "password (slanje)|slanje: for send|for send (slanje)|slanje: command|command (slanje)|"
         "slanje: operater|operater (slanje)|Slanje|ftp adresa 1 (citanje)|"
         "ftp adresa 2 (citanje)|ftp adresa 3 (citanje)|ftp adresa 4 (citanje)|"
         "username (citanje)|password (citanje)|for send (citanje)|command (citanje)|"
         "operater (citanje)|Citanje|Izlaz"},
        {gprs_.get(),
         "Operater 1|GPRS parametri 1|Operater 2|GPRS parametri 2|Operater 3|GPRS parametri 3|"
         "Operater 4|GPRS parametri 4|Operater 5|GPRS parametri 5|Operater 6|GPRS parametri 6|"
         "Potvrda|Izlaz"},
        {jad_.get(), "Parametar|Vrednost parametra|Read JAD|Send|Izlaz|JAD fajl"},
        {sim_.get(), "Citanje SIM-a|SIM identifikacija (citanje)|Slanje lozinke|Lozinka|"
                     "Slanje SIM-a|SIM identifikacija (slanje)|Slanje PIN-a|PIN|Izlaz"},
    };
    for (const auto& [window, order] : orders) {
        EXPECT_EQ(tab_walk(window), order);
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
    for (QCheckBox* tick : ftp_->Check1) {
        tick->setChecked(true);
    }
    ftp_->Combogprs->setCurrentIndex(1);
    // Enter sends what the row is for; it sends nothing the technician did
    // not choose and does not confirm the operator table.
    const std::tuple<QDialog*, QLineEdit*, QString, Requests> cases[] = {
        {sim_.get(), sim_->PINText, " 1234 ", {"AAT+CPIN?"}},
        {sim_.get(), sim_->PassText, "tajna", {"ptajna"}},
        {sim_.get(), sim_->SimtextS, "8938", {"PSIM:8938"}},
        {sim_.get(), sim_->SIMtext, {}, {}},
        {jad_.get(), jad_->Text3, "45", {"PTIMEOUT:45"}},
        {ftp_.get(), ftp_->Username, "terminal", {}},
        {ftp_.get(), ftp_->ftp[5], {}, {}},
        {gprs_.get(), gprs_->Text_prov_gprs[0], "novi", {}},
    };
    for (const auto& [dialog, box, typed, sent] : cases) {
        dialog->show();
        forget();
        port_->script.clear();
        reply_frame("+CPIN: READY"); // the one request, if any, is answered
        if (!box->isReadOnly()) {
            box->setText(typed);
        }
        press(box, Qt::Key_Return);
        EXPECT_EQ(requests(), sent) << box->objectName().toStdString();
        EXPECT_TRUE(dialog->isVisible());
    }
    EXPECT_EQ(settings_.gprs_strings[0], "internet");

    // Escape closes each dialog from any box, as its "Izlaz" does.
    for (const auto& [dialog, box, typed, sent] : cases) {
        dialog->show();
        forget();
        press(box, Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible()) << box->objectName().toStdString();
        EXPECT_TRUE(port_->writes.empty());
    }
    ftp_->show();
    press(ftp_->CombogprsR, Qt::Key_Escape);
    EXPECT_FALSE(ftp_->isVisible());
    for (QPushButton* izlaz : {ftp_->Izlaz, gprs_->Izlaz, jad_->IZL, sim_->Izlaz}) {
        izlaz->window()->show();
        izlaz->click();
        EXPECT_FALSE(izlaz->window()->isVisible()) << izlaz->window()->windowTitle().toStdString();
    }
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_EQ(settings_.gprs_strings[0], "internet");
}

// Follows whether a window is blocked by a modal one.
class BlockWatch : public QObject {
  public:
    explicit BlockWatch(QWidget* window) { window->installEventFilter(this); }
    bool blocked = false;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked) {
            blocked = event->type() == QEvent::WindowBlocked;
        }
        return false;
    }
};

TEST_F(KeyboardTest, ButtonsOpenTheirDialogsModalToTheMainWindowOnly) {
    dialogs::DialogSet set(*window_, settings_, *store_);
    window_->show();
    link::Trace trace;
    console::TraceWindow trace_window(trace);
    trace_window.open();
    const BlockWatch main(window_.get());
    const BlockWatch other(&trace_window);
    // The start fills the hidden FTP dialog's lists.
    window_->Form_Load();
    QStringList captions;
    ASSERT_TRUE(set.ftp_loaded());
    EXPECT_EQ(set.ftp().Combogprs->count(), 6);
    EXPECT_FALSE(set.ftp().isVisible());
    for (QPushButton* button :
         {window_->Podesavanje_PU, window_->Podesavanja, window_->SIMch, window_->JAD}) {
        QString caption;
        QTimer::singleShot(0, [&] {
            // While it is open the trace window still works.
            EXPECT_TRUE(main.blocked);
            EXPECT_FALSE(other.blocked);
            trace_window.Lines->appendPlainText("x");
            trace_window.Obrisi->click();
            EXPECT_TRUE(trace_window.Lines->toPlainText().isEmpty());
            caption = QApplication::activeModalWidget()->windowTitle();
            QApplication::activeModalWidget()->close();
        });
        button->click();
        EXPECT_FALSE(main.blocked);
        captions << caption;
    }
    EXPECT_EQ(captions, (QStringList{"Podesavanje FTP servera PU", "Podesavanje GPRS Parametara",
                                     "Podesavanje SIM kartice", "JAD - konfiguracioni fajl"}));
    EXPECT_FALSE(set.ftp_loaded()); // closing unloaded it
    EXPECT_TRUE(port_->writes.empty());
}

} // namespace
} // namespace tessal::testing
