// SPDX-License-Identifier: Apache-2.0
// The four dialogs on a scripted port: what they fill in and show, the
// requests built from their boxes, closing during a wait, keyboard, screen
// reader, and the dialogs opened from the main window.
#include "console/trace_window.h"
#include "dialogs/dialog_set.h"
#include "dialogs/ftp_dialog.h"
#include "dialogs/gprs_dialog.h"
#include "dialogs/jad_dialog.h"
#include "dialogs/sim_dialog.h"
#include "support/accessible.h"
#include "support/console_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

namespace tessal::testing {
namespace {

using Requests = std::vector<std::string>;

const char* kChanged = "OK - Promena parametara izvrsena";
const std::string kDescriptor = "MIDlet-Name: Tessal\r\nCASH_TYPE: 7\r\nTIMEOUT:30\r\n";

QStringList texts(const auto& boxes) {
    QStringList out;
    for (const auto* box : boxes) {
        out << box->text();
    }
    return out;
}
QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) {
        out << box->itemText(i);
    }
    return out;
}

// The four dialogs on a main window with six operators.  The operator dialog
// refreshes the FTP dialog's lists and saves through the real store.
class DialogsTest : public ConsoleFixture {
  protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\n"
                       "IME0=Telenor\r\nGPRS0=internet\r\nIME1=MTS\r\nGPRS1=gprswap\r\n"
                       "IME2=Vip\r\nGPRS2=vipmobile\r\nIME3=Globaltel\r\nGPRS3=Internet,gt\r\n"
                       "IME4=Yettel\r\nGPRS4=yettel\r\nIME5=Mundio\r\nGPRS5=mundio\r\n"
                       "[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n");
        start();
        open_ftp();
        open_gprs();
        open_jad();
        sim_ = std::make_unique<dialogs::SimDialog>(window_->transaction());
    }

    // A new opening, with no messages or traffic recorded yet.
    void open_ftp() {
        ftp_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
        forget();
    }
    void open_gprs() {
        gprs_ = std::make_unique<dialogs::GprsDialog>(
            window_->transaction(), settings_, [this] { ftp_->fill_lists(); },
            [this] { return save_(); });
        gprs_->show();
        forget();
    }
    void open_jad() {
        jad_ = std::make_unique<dialogs::JadDialog>(window_->transaction(), settings_, jad_path_);
        forget();
    }
    void forget() {
        messages_.clear();
        port_->writes.clear();
    }
    void click(QPushButton* button) {
        button->click();
        settle();
    }

    std::function<bool()> save_ = [this] { return store_->save_settings(settings_); };
    std::filesystem::path jad_path_ = std::filesystem::path(dir_.path().toStdString()) / "Jad.txt";
    std::unique_ptr<dialogs::FtpDialog> ftp_;
    std::unique_ptr<dialogs::GprsDialog> gprs_;
    std::unique_ptr<dialogs::JadDialog> jad_;
    std::unique_ptr<dialogs::SimDialog> sim_;
};

// The read fills the read side.  A send of every row then sends the send
// side's presets, the chosen operator's GPRS string for its name, and its
// outcome tells what the device held before, no secret.  A read cut short
// keeps the rows read before the failure.
TEST_F(DialogsTest, FtpReadFillsTheReadSideAndTheNextSendTellsWhatItRead) {
    hear_writes();
    const auto read_side = [this] {
        return texts(std::array{ftp_->ftp[4], ftp_->ftp[5], ftp_->ftp[6], ftp_->ftp[7],
                                ftp_->UsernameR, ftp_->PasswordR, ftp_->ForSendR,
                                ftp_->ForCommandR});
    };
    for (const char* value : {"192.168.1.10", " user ", "pass", "/izv", "/kom", "Internet,gt"}) {
        reply_frame(value);
    }
    click(ftp_->Read);
    EXPECT_EQ(read_side(),
              (QStringList{"192", "168", "1", "10", " user ", "pass", "/izv", "/kom"}));
    EXPECT_EQ(ftp_->CombogprsR->currentText(), "Globaltel");
    EXPECT_TRUE(messages_.shown.isEmpty());
    for (QCheckBox* box : ftp_->Check1) {
        box->setChecked(true);
        reply_ack();
    }
    ftp_->Combogprs->setCurrentIndex(2);
    forget();
    click(ftp_->Send);
    EXPECT_EQ(requests(), (Requests{"PFTPGovAddr:192.168.001.100", "PFTPGovUser:terminal",
                                    "PFTPGovPass:trobelik", "PFTP_pathFILES:/izvestaji",
                                    "PFtpGovFoldsCommand:/komande", "PgprsParamVlada:vipmobile"}));
    EXPECT_EQ(messages_.informed, QStringList{kChanged});
    EXPECT_EQ(heard_, (std::vector<std::string>{"ftp.address 192.168.1.10->192.168.001.100 written",
                                                "ftp.user  user ->terminal written",
                                                "ftp.password ********->******** written",
                                                "ftp.for_send /izv->/izvestaji written",
                                                "ftp.command /kom->/komande written",
                                                "ftp.gprs Internet,gt->vipmobile written"}));

    // The third request times out: the address and user name read stay, the
    // rest of the read side is empty again.
    forget();
    reply_frame("10.0.0.7");
    reply_frame("terminal");
    click(ftp_->Read);
    EXPECT_EQ(read_side(), (QStringList{"10", "0", "0", "7", "terminal", "", "", ""}));
    EXPECT_EQ(ftp_->CombogprsR->currentIndex(), -1);
    EXPECT_EQ(messages_.informed,
              QStringList{"Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"});
}

TEST_F(DialogsTest, FtpSendBuildsTheTickedRowsAndShowsTheOctetsAsSent) {
    // The boxes go through the device's rules (the rules themselves are the
    // device layer's): an octet over 255 is refused with the window's
    // message and nothing is sent.
    const auto type = [this](const QStringList& octets) {
        for (std::size_t i = 0; i < 4; ++i) {
            ftp_->ftp[i]->setText(octets[static_cast<int>(i)]);
        }
    };
    type({"10", "0", "256", "1"});
    ftp_->Check1[0]->setChecked(true);
    click(ftp_->Send);
    EXPECT_EQ(messages_.informed, QStringList{"Podaci za ftp adresu nisu dobro uneti."});
    EXPECT_EQ(requests(), Requests{});
    // Only the ticked rows go, with the texts as typed; the first three
    // octets are padded in their boxes too.
    type({" 7 ", "18", "200", " 1 "});
    ftp_->Check1[3]->setChecked(true);
    ftp_->ForSend->setText(" /s ");
    reply_ack();
    reply_ack();
    click(ftp_->Send);
    EXPECT_EQ(requests(), (Requests{"PFTPGovAddr:007.018.200.1", "PFTP_pathFILES: /s "}));
    EXPECT_EQ(texts(std::array{ftp_->ftp[0], ftp_->ftp[1], ftp_->ftp[2], ftp_->ftp[3]}),
              (QStringList{"007", "018", "200", " 1 "}));
}

// Each label shows its caption, the letter of its mnemonic marked, and leads
// to the box it captions; in the FTP dialog only the send side's labels
// carry mnemonics.  The boxes take at most what the device's table allows;
// the boxes of what was read only show it.
TEST_F(DialogsTest, LabelsLeadToTheBoxTheyCaptionAndBoxesKeepTheLimits) {
    const auto labels = [](const QWidget* dialog) {
        QStringList seen;
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            seen << label->text() + " > " + label->buddy()->objectName();
        }
        seen.sort();
        return seen;
    };
    EXPECT_EQ(
        labels(ftp_.get()),
        (QStringList{"&command: > ForCommand", "&ftp adresa: > ftp0", "&operater: > Combogprs",
                     "&password: > Password", "&username: > Username", "command: > ForCommandR",
                     "for &send: > ForSend", "for send: > ForSendR", "ftp adresa: > ftp4",
                     "operater: > CombogprsR", "password: > PasswordR", "username: > UsernameR"}));
    EXPECT_EQ(labels(gprs_.get()),
              (QStringList{"&GPRS parametri > Text_prov_gprs0", "&Operater > Text_prov_ime0"}));
    EXPECT_EQ(labels(jad_.get()), QStringList{"&Parametar: > Combo1"});
    EXPECT_EQ(ftp_->ftp[0]->maxLength(), 3);
    EXPECT_EQ(ftp_->Username->maxLength(), 32);
    EXPECT_TRUE(ftp_->ftp[7]->isReadOnly() && ftp_->PasswordR->isReadOnly() &&
                sim_->SIMtext->isReadOnly());
    jad_->Text3->setText(QString(300, u'v'));
    EXPECT_EQ(jad_->Text3->text().size(), 255);
}

TEST_F(DialogsTest, GprsConfirmStoresTheTableAndRefreshesTheFtpLists) {
    EXPECT_EQ(items(ftp_->CombogprsR),
              (QStringList{"Telenor", "MTS", "Vip", "Globaltel", "Yettel", "Mundio"}));
    // The operators in use end before the first empty name; a blank is a
    // name.  Every row is stored and saved as typed.
    const std::vector<std::pair<QStringList, int>> cases{
        {{"a", "b", "c", "d", "e", "f"}, 5},
        {{"a", " ", "c", ""}, 2},
    };
    for (const auto& [names, last_used] : cases) {
        open_gprs();
        for (std::size_t i = 0; i < 6; ++i) {
            gprs_->Text_prov_ime[i]->setText(names.value(static_cast<int>(i)));
        }
        gprs_->Text_prov_gprs[3]->setText(" apn 3 ");
        gprs_->Potvrda->click();
        EXPECT_EQ(settings_.last_used_index, last_used) << names.join(",").toStdString();
        EXPECT_EQ(messages_.informed, QStringList{"OK"});
        EXPECT_FALSE(gprs_->isVisible());
        EXPECT_EQ(items(ftp_->Combogprs), names.mid(0, last_used + 1));
        EXPECT_NE(read_settings().find("GPRS3=\" apn 3 \""), std::string::npos);
    }
    // A failed save leaves the dialog open; the table and lists are changed.
    save_ = [this] {
        messages_.plain("Podesavanja nisu sacuvana.");
        return false;
    };
    open_gprs();
    gprs_->Text_prov_ime[1]->clear();
    gprs_->Potvrda->click();
    EXPECT_EQ(messages_.shown, (QStringList{"Podesavanja nisu sacuvana.", "Not OK"}));
    EXPECT_TRUE(gprs_->isVisible());
    EXPECT_EQ(items(ftp_->Combogprs), QStringList{"a"});
}

TEST_F(DialogsTest, SimReadFillsTheBoxAndAFailedReadEmptiesIt) {
    reply_frame("\r\n^SCID: 89381030000012345678\r\n\r\nOK\r\n");
    click(sim_->ReadSIM);
    EXPECT_EQ(sim_->SIMtext->text(), "89381030000012345678");
    EXPECT_TRUE(messages_.shown.isEmpty());
    click(sim_->ReadSIM);
    EXPECT_EQ(sim_->SIMtext->text(), "");
    EXPECT_EQ(messages_.informed,
              QStringList{"Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"});
}

TEST_F(DialogsTest, PinSequenceShowsAStepsStatusBeforeGoingOn) {
    // The messages shown by the time each request went out.
    QStringList shown_at_write;
    port_->on_write = [&](const std::string& bytes) {
        if (bytes.size() > 1) { // not an acknowledgement
            shown_at_write << messages_.shown.join(u'|');
        }
    };
    reply_ack();
    reply_frame("\r\nOK\r\n");
    reply_frame("\r\nOK\r\n");
    sim_->PINText->setText("  1234 ");
    click(sim_->SendPin);
    EXPECT_EQ(requests(), (Requests{"AAT+CPIN?", "AAT+CPIN =1234", "AAT+CLCK = \"SC\",0,1234"}));
    EXPECT_EQ(shown_at_write, (QStringList{"", "OK!", "OK!"}));
    EXPECT_EQ(messages_.informed, (QStringList{"OK!", "PIN kod uspesno setovan"}));
    EXPECT_EQ(port_->open_calls, 1);
}

// The close box during a wait; "Izlaz" and Escape close the dialog the same
// way (EnterPressesTheRowButtonAndEscapeCloses).
TEST_F(DialogsTest, ClosingDuringTheWaitEndsThePinSequenceAndTheDialog) {
    sim_->show();
    sim_->PINText->setText("1234");
    sim_->SIMtext->setText("old");
    while_waiting([this] { sim_->SendPin->click(); },
                  [this] {
                      sim_->ReadSIM->click(); // starts nothing while a reply is awaited
                      EXPECT_EQ(sim_->SIMtext->text(), "old");
                      sim_->close();
                  });
    // The state question was cut short; the PIN never went out.
    EXPECT_EQ(requests(), Requests{"AAT+CPIN?"});
    EXPECT_FALSE(port_->is_open());
    EXPECT_FALSE(sim_->isVisible());
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_TRUE(window_->transaction().idle());
}

// The descriptor read is shown, kept as a copy and its parameters listed; a
// cash type is chosen from the list and sent by number, its write telling
// the value read before.
TEST_F(DialogsTest, JadReadListsTheParametersAndACashTypeIsSentByNumber) {
    hear_writes();
    const char* types[][2] = {{"3", "Alfa"}, {"4", ""}, {"7", "Beta"}, {"9", "Gama"}};
    for (std::size_t i = 0; i < 4; ++i) {
        settings_.cash_type_numbers[i] = types[i][0];
        settings_.cash_type_names[i] = types[i][1];
    }
    settings_.cash_type_count = 4;
    open_jad();
    EXPECT_EQ(items(jad_->ComboTip), (QStringList{"3:Alfa", "7:Beta", "9:Gama"}));
    reply_frame(kDescriptor);
    click(jad_->Command2);
    EXPECT_EQ(jad_->Text2->toPlainText(), "MIDlet-Name: Tessal\nCASH_TYPE: 7\nTIMEOUT:30\n");
    EXPECT_EQ(items(jad_->Combo1), (QStringList{"MIDlet-Name:", "CASH_TYPE:", "TIMEOUT:"}));
    EXPECT_EQ(jad_->Combo1->currentIndex(), -1);
    EXPECT_EQ(file_text(jad_path_), kDescriptor + "\r\n");
    // Refused before the port: no parameter (the other refusals are the
    // request's own: JadRequestTest).
    click(jad_->Command1);
    EXPECT_EQ(messages_.shown, QStringList{"Unesite komandu "});
    EXPECT_EQ(port_->open_calls, 1); // the read's
    EXPECT_EQ(requests(), Requests{"J"});
    jad_->Combo1->setCurrentIndex(0);
    EXPECT_EQ(jad_->Text3->text(), "Tessal");
    // The cash-type list takes the value box's place, in the tab order too.
    jad_->Combo1->setCurrentIndex(1);
    EXPECT_TRUE(jad_->Text3->isHidden());
    EXPECT_EQ(jad_->ComboTip->currentText(), "7:Beta");
    EXPECT_EQ(tab_walk(jad_.get()), "Parametar|Tip kase|Read JAD|Send|Izlaz|JAD fajl");

    // The type's name is shown as a plain box before its number goes out.
    forget();
    QStringList shown_at_write;
    port_->on_write = [&](const std::string&) { shown_at_write << messages_.shown.join(u'|'); };
    jad_->ComboTip->setCurrentIndex(2);
    reply_ack();
    click(jad_->Command1);
    EXPECT_EQ(requests(), Requests{"PCASH_TYPE:9"});
    EXPECT_EQ(shown_at_write, QStringList{"Gama"});
    EXPECT_EQ(messages_.shown, (QStringList{"Gama", kChanged}));
    EXPECT_EQ(messages_.plains, QStringList{"Gama"});
    EXPECT_EQ(heard_, std::vector<std::string>{"jad.CASH_TYPE 7->9 written"}); // as read

    // No type with the stored number: the last one; another parameter or a
    // new read goes back to the free-text box.
    jad_->Combo1->setCurrentIndex(2);
    EXPECT_TRUE(jad_->ComboTip->isHidden());
    reply_frame("CASH_TYPE: 5\r\n");
    click(jad_->Command2);
    jad_->Combo1->setCurrentIndex(0);
    EXPECT_EQ(jad_->ComboTip->currentText(), "9:Gama");
    reply_frame("CASH_TYPE: 5\r\n");
    click(jad_->Command2);
    EXPECT_TRUE(jad_->ComboTip->isHidden());
    EXPECT_FALSE(jad_->Text3->isHidden());
    // A failed read empties the descriptor and the value.
    jad_->Text3->setText("5");
    click(jad_->Command2);
    EXPECT_EQ(jad_->Text2->toPlainText() + jad_->Text3->text(), "");
}

// Tab visits every control in reading order, each named for a screen reader.
TEST_F(DialogsTest, TabFollowsReadingOrder) {
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
}

TEST_F(DialogsTest, EnterPressesTheRowButtonAndEscapeCloses) {
    reply_frame("TIMEOUT: 30\r\n");
    click(jad_->Command2);
    jad_->Combo1->setCurrentIndex(0);
    for (QCheckBox* tick : ftp_->Check1) {
        tick->setChecked(true);
    }
    ftp_->Combogprs->setCurrentIndex(1);
    // Enter sends what the row is for; it sends nothing the technician did
    // not choose and does not confirm the operator table.
    const std::tuple<QDialog*, QLineEdit*, QString, Requests> cases[] = {
        {sim_.get(), sim_->PINText, " 1234 ", {"AAT+CPIN?"}},
        {sim_.get(), sim_->PassText, " tajna ", {"p tajna "}},
        {sim_.get(), sim_->SimtextS, "8938 1030", {"PSIM:8938 1030"}},
        {sim_.get(), sim_->SIMtext, {}, {}},
        {jad_.get(), jad_->Text3, " 45 ", {"PTIMEOUT: 45 "}},
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
        settle();
        EXPECT_EQ(requests(), sent) << box->objectName().toStdString();
        EXPECT_TRUE(dialog->isVisible());
    }
    // Escape closes each dialog from any box, as its "Izlaz" does.
    for (const auto& [dialog, box, typed, sent] : cases) {
        dialog->show();
        forget();
        press(box, Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible()) << box->objectName().toStdString();
        EXPECT_TRUE(port_->writes.empty());
    }
    for (QPushButton* izlaz : {ftp_->Izlaz, gprs_->Izlaz, jad_->IZL, sim_->Izlaz}) {
        izlaz->window()->show();
        izlaz->click();
        EXPECT_FALSE(izlaz->window()->isVisible()) << izlaz->window()->windowTitle().toStdString();
    }
    EXPECT_EQ(settings_.gprs_strings[0], "internet");
    EXPECT_EQ(ftp_->Combogprs->count(), 6);
    EXPECT_EQ(read_settings().find("novi"), std::string::npos);
}

// Follows whether a window is blocked by a modal one.
struct BlockWatch : QObject {
    explicit BlockWatch(QWidget* window) { window->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked) {
            blocked = event->type() == QEvent::WindowBlocked;
        }
        return false;
    }
    bool blocked = false;
};

TEST_F(DialogsTest, ButtonsOpenTheirDialogsModalToTheMainWindowOnly) {
    dialogs::DialogSet set(*window_, settings_, *store_);
    window_->show();
    link::Trace trace;
    console::TraceWindow trace_window(trace);
    trace_window.open();
    const BlockWatch main(window_.get());
    const BlockWatch other(&trace_window);
    // The start fills the hidden FTP dialog's lists, once the window is up.
    window_->Form_Load();
    EXPECT_FALSE(set.ftp_loaded());
    QCoreApplication::processEvents();
    ASSERT_TRUE(set.ftp_loaded());
    EXPECT_EQ(set.ftp().Combogprs->count(), 6);
    EXPECT_FALSE(set.ftp().isVisible());
    QStringList captions;
    for (QPushButton* button :
         {window_->Podesavanje_PU, window_->Podesavanja, window_->SIMch, window_->JAD}) {
        QTimer::singleShot(0, [&] {
            // While it is open the trace window still takes input.
            EXPECT_TRUE(main.blocked);
            EXPECT_FALSE(other.blocked);
            captions << QApplication::activeModalWidget()->windowTitle();
            QApplication::activeModalWidget()->close();
        });
        button->click();
        EXPECT_FALSE(main.blocked);
    }
    EXPECT_EQ(captions, (QStringList{"Podesavanje FTP servera PU", "Podesavanje GPRS Parametara",
                                     "Podesavanje SIM kartice", "JAD - konfiguracioni fajl"}));
    EXPECT_FALSE(set.ftp_loaded()); // closing unloaded it
    EXPECT_TRUE(port_->writes.empty());
}

} // namespace
} // namespace tessal::testing
