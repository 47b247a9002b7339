// The four dialogs on a scripted port: requests on the wire, messages, boxes;
// the keyboard and the screen reader; the dialogs opened from the main window.
#include "console/trace_window.h"
#include "dialogs/dialog_set.h"
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
#include <QTimer>

#include <filesystem>
#include <map>

namespace tessal::testing {
namespace {

using Requests = std::vector<std::string>;

const char* kChanged = "OK - Promena parametara izvrsena";
const std::string kDescriptor = "MIDlet-Name: Tessal\r\nCASH_TYPE: 7\r\nTIMEOUT:30\r\n";
// The PIN sequence's requests for the PIN 1234.
const std::string S = "AAT+CPIN?", E = "AAT+CPIN =1234", A = "AAT^SPIC1234",
                  O = "AAT+CLCK = \"SC\",0,1234";

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
void press(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &down);
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
    std::string jad_file() const {
        std::ifstream in(jad_path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::function<bool()> save_ = [this] { return store_->save_settings(settings_); };
    std::filesystem::path jad_path_ = std::filesystem::path(dir_.path().toStdString()) / "Jad.txt";
    std::unique_ptr<dialogs::FtpDialog> ftp_;
    std::unique_ptr<dialogs::GprsDialog> gprs_;
    std::unique_ptr<dialogs::JadDialog> jad_;
    std::unique_ptr<dialogs::SimDialog> sim_;
};

TEST_F(DialogsTest, FtpReadFillsTheReadSideOverOnePortOpening) {
    const auto read_side = [this] {
        return texts(std::array{ftp_->ftp[4], ftp_->ftp[5], ftp_->ftp[6], ftp_->ftp[7],
                                ftp_->UsernameR, ftp_->PasswordR, ftp_->ForSendR,
                                ftp_->ForCommandR});
    };
    for (const char* value : {"192.168.1.10", " user ", "pass", "/izv", "/kom", "Internet,gt"}) {
        reply_frame(value);
    }
    ftp_->Read->click();
    EXPECT_EQ(requests(), (Requests{"RFTPGovAddr", "RFTPGovUser", "RFTPGovPass", "RFTP_pathFILES",
                                    "RFtpGovFoldsCommand", "RgprsParamVlada"}));
    EXPECT_EQ(port_->open_calls, 1);
    EXPECT_EQ(read_side(),
              (QStringList{"192", "168", "1", "10", " user ", "pass", "/izv", "/kom"}));
    EXPECT_EQ(ftp_->CombogprsR->currentIndex(), 3);
    EXPECT_TRUE(messages_.shown.isEmpty());

    // A bare acknowledgement reads as "OK"; a GPRS string of no operator
    // (letter case counts) is shown in a message and clears the choice.
    reply_frame("1.2");
    reply_ack();
    for (const char* value : {"", "/izv", "/kom", "internet,gt"}) {
        reply_frame(value);
    }
    ftp_->Read->click();
    EXPECT_EQ(read_side(), (QStringList{"1", "", "", "2", "OK", "", "/izv", "/kom"}));
    EXPECT_EQ(ftp_->CombogprsR->currentIndex(), -1);
    EXPECT_EQ(messages_.informed, QStringList{"GPRS parametri su: internet,gt"});

    // A time-out on the third request ends the read; the rows read stay.
    forget();
    reply_frame("10.0.0");
    reply_frame("terminal");
    ftp_->Read->click();
    EXPECT_EQ(requests().size(), 3U);
    EXPECT_EQ(read_side(), (QStringList{"10", "0", "", "0", "terminal", "", "", ""}));
    EXPECT_EQ(messages_.informed,
              QStringList{"Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"});
    EXPECT_FALSE(port_->is_open());
}

TEST_F(DialogsTest, FtpSendGoesRowByRowEachInATransactionOfItsOwn) {
    for (QCheckBox* box : ftp_->Check1) {
        box->setChecked(true);
        reply_ack();
    }
    ftp_->Combogprs->setCurrentIndex(2);
    ftp_->Send->click();
    EXPECT_EQ(requests(), (Requests{"PFTPGovAddr:192.168.001.100", "PFTPGovUser:terminal",
                                    "PFTPGovPass:trobelik", "PFTP_pathFILES:/izvestaji",
                                    "PFtpGovFoldsCommand:/komande", "PgprsParamVlada:vipmobile"}));
    EXPECT_EQ(port_->close_calls, 6);
    EXPECT_EQ(messages_.informed, QStringList{kChanged});

    // The first three octets are padded in their boxes too; the other texts
    // go as typed, at most 32 characters of the device's character set.
    open_ftp();
    for (std::size_t i = 0; i < 4; ++i) {
        ftp_->ftp[i]->setText(QStringList{" 7 ", "1800", "200", " 1 "}[static_cast<int>(i)]);
        ftp_->Check1[i]->setChecked(true);
        reply_ack();
    }
    ftp_->Username->setText(QString(40, u'u'));
    ftp_->Password->clear();
    for (const QString& typed : {QString::fromUtf8("Šabac"), QString::fromUtf8("x\x03"),
                                 QString::fromLatin1(" caf\xe9 ")}) {
        ftp_->Password->insert(typed);
    }
    ftp_->ForSend->setText(" /s ");
    ftp_->Send->click();
    EXPECT_EQ(requests(),
              (Requests{"PFTPGovAddr:007.180.200.1", "PFTPGovUser:" + std::string(32, 'u'),
                        "PFTPGovPass: caf\xe9 ", "PFTP_pathFILES: /s "}));
    EXPECT_EQ(texts(std::array{ftp_->ftp[0], ftp_->ftp[1], ftp_->ftp[2], ftp_->ftp[3]}),
              (QStringList{"007", "180", "200", " 1 "}));
}

TEST_F(DialogsTest, FtpSendValidatesEachTickedRowBeforeSendingIt) {
    const std::vector<std::tuple<std::size_t, std::function<void()>, QString>> cases{
        {0, [this] { ftp_->ftp[2]->clear(); }, "Podaci za ftp adresu nisu dobro uneti."},
        {0, [this] { ftp_->ftp[3]->setText("  "); }, "Podaci za ftp adresu nisu dobro uneti."},
        {1, [this] { ftp_->Username->setText("   "); }, "Podaci za username nisu dobro uneti."},
        {2, [this] { ftp_->Password->clear(); }, "Podaci za password nisu dobro uneti."},
        {3, [this] { ftp_->ForSend->setText(" "); }, "Podaci za for send nisu dobro uneti."},
        {4, [this] { ftp_->ForCommand->clear(); }, "Podaci za command nisu dobro uneti."},
        {5, [] {}, "Odaberite operatera."},
        {6, [] {}, "Nisu obelezeni podaci za slanje"},
    };
    for (const auto& [row, spoil, message] : cases) {
        open_ftp();
        ftp_->ftp[0]->setText("7");
        if (row < 6) {
            ftp_->Check1[row]->setChecked(true);
        }
        spoil();
        ftp_->Send->click();
        EXPECT_EQ(messages_.informed, QStringList{message});
        EXPECT_EQ(ftp_->ftp[0]->text(), "7"); // a failed address stays as typed
    }
    EXPECT_EQ(port_->open_calls, 0);

    // Rows before the failing one are sent; no success message follows.
    open_ftp();
    ftp_->Check1[0]->setChecked(true);
    ftp_->Check1[1]->setChecked(true);
    ftp_->Username->clear();
    reply_ack();
    ftp_->Send->click();
    EXPECT_EQ(requests(), Requests{"PFTPGovAddr:192.168.001.100"});
    EXPECT_EQ(messages_.informed, QStringList{"Podaci za username nisu dobro uneti."});
}

TEST_F(DialogsTest, GprsConfirmRecountsStoresEveryRowAndRefreshesTheFtpLists) {
    const std::vector<std::pair<QStringList, int>> cases{
        {{"a", "b", "c", "d", "e", "f"}, 5},
        {{"a", "b", "", "d", "e", "f"}, 1},
        {{"", "", "c"}, 0},
        {{"a", " ", "c", ""}, 2}, // a blank is a name
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
        EXPECT_EQ(items(ftp_->CombogprsR), names.mid(0, last_used + 1));
        // Rows after the first empty name are stored and saved as typed.
        EXPECT_EQ(settings_.operator_names[3], names.value(3).toStdString());
        EXPECT_NE(read_settings().find("GPRS3=\" apn 3 \""), std::string::npos);
    }
    // The next opening shows the rows in use only; confirming it as shown
    // stores empty rows over the others.
    open_gprs();
    EXPECT_EQ(texts(gprs_->Text_prov_ime), (QStringList{"a", " ", "c", "", "", ""}));
    EXPECT_EQ(texts(gprs_->Text_prov_gprs), (QStringList{"internet", "", "", "", "", ""}));
    gprs_->Potvrda->click();
    EXPECT_EQ(settings_.gprs_strings[3], "");

    // A failed save leaves the dialog open; the table is changed already.
    save_ = [this] {
        messages_.plain("Podesavanja nisu sacuvana.");
        return false;
    };
    open_gprs();
    gprs_->Text_prov_ime[1]->clear();
    gprs_->Potvrda->click();
    EXPECT_EQ(messages_.shown, (QStringList{"Podesavanja nisu sacuvana.", "Not OK"}));
    EXPECT_TRUE(gprs_->isVisible());
    EXPECT_EQ(settings_.last_used_index, 0);
    EXPECT_EQ(ftp_->Combogprs->count(), 1);
}

TEST_F(DialogsTest, JadReadShowsTheDescriptorKeepsACopyAndListsTheParameters) {
    reply_frame(kDescriptor);
    jad_->Command2->click();
    EXPECT_EQ(requests(), Requests{"J"});
    EXPECT_EQ(jad_->Text2->toPlainText(), "MIDlet-Name: Tessal\nCASH_TYPE: 7\nTIMEOUT:30\n");
    EXPECT_EQ(items(jad_->Combo1), (QStringList{"MIDlet-Name:", "CASH_TYPE:", "TIMEOUT:"}));
    EXPECT_EQ(jad_->Combo1->currentIndex(), -1);
    EXPECT_EQ(jad_file(), kDescriptor + "\r\n");

    // A plain acknowledgement is a descriptor without parameters; one that
    // does not parse gives a plain "greska" and is still shown and saved.
    reply_ack();
    jad_->Command2->click();
    EXPECT_EQ(jad_->Text2->toPlainText(), "OK");
    EXPECT_EQ(jad_->Combo1->count(), 0);
    reply_frame("A: 1\r\nB:\r\n");
    jad_->Command2->click();
    EXPECT_EQ(messages_.plains, QStringList{"greska"});
    EXPECT_EQ(jad_->Combo1->count(), 0);
    EXPECT_EQ(jad_file(), "A: 1\r\nB:\r\n\r\n");
    EXPECT_EQ(jad_->Text2->toPlainText(), "A: 1\nB:\n");

    // Jad.txt that cannot be written is reported; the descriptor is shown.
    forget();
    std::filesystem::remove(jad_path_);
    std::filesystem::create_directory(jad_path_);
    reply_frame(kDescriptor);
    jad_->Command2->click();
    EXPECT_EQ(jad_->Combo1->count(), 3);
    EXPECT_EQ(messages_.informed, QStringList{"Fajl Jad.txt nije upisan!"});
}

TEST_F(DialogsTest, JadCashTypeIsChosenFromTheListAndSentByNumber) {
    const char* types[][2] = {{"3", "Alfa"}, {"4", ""}, {"7", "Beta"}, {"9", "Gama"}};
    for (std::size_t i = 0; i < 4; ++i) {
        settings_.cash_type_numbers[i] = types[i][0];
        settings_.cash_type_names[i] = types[i][1];
    }
    settings_.cash_type_count = 4;
    open_jad();
    EXPECT_EQ(items(jad_->ComboTip), (QStringList{"3:Alfa", "7:Beta", "9:Gama"}));
    reply_frame(kDescriptor);
    jad_->Command2->click();
    // Refused before the port: no parameter, blanks only, no cash type.
    jad_->Command1->click();
    jad_->Combo1->setCurrentIndex(2);
    jad_->Text3->setText("   ");
    jad_->Command1->click();
    jad_->Combo1->setCurrentIndex(1);
    EXPECT_TRUE(jad_->Text3->isHidden());
    EXPECT_EQ(jad_->ComboTip->currentText(), "7:Beta");
    jad_->ComboTip->setCurrentIndex(-1);
    jad_->Command1->click();
    EXPECT_EQ(messages_.shown, (QStringList{"Unesite komandu ", "Unesite novu vrednost parametra",
                                            "Odaberite tip kase."}));
    EXPECT_EQ(port_->open_calls, 1); // the read's
    // The type's name is shown, then its number sent.
    jad_->ComboTip->setCurrentIndex(1);
    forget();
    reply_ack();
    jad_->Command1->click();
    jad_->ComboTip->setCurrentIndex(2);
    reply_ack();
    jad_->Command1->click();
    EXPECT_EQ(requests(), (Requests{"PCASH_TYPE:7", "PCASH_TYPE:9"}));
    EXPECT_EQ(messages_.shown, (QStringList{"Beta", kChanged, "Gama", kChanged}));
    EXPECT_EQ(messages_.plains, (QStringList{"Beta", "Gama"}));

    jad_->Combo1->setCurrentIndex(2);
    EXPECT_EQ(jad_->Text3->text(), "0");
    EXPECT_TRUE(jad_->ComboTip->isHidden());
    // No type with the stored number: the last one; a new read goes back to
    // the free-text box.
    reply_frame("CASH_TYPE: 5\r\n");
    jad_->Command2->click();
    jad_->Combo1->setCurrentIndex(0);
    EXPECT_EQ(jad_->ComboTip->currentText(), "9:Gama");
    reply_frame("CASH_TYPE: 5\r\n");
    jad_->Command2->click();
    EXPECT_TRUE(jad_->ComboTip->isHidden());
    EXPECT_FALSE(jad_->Text3->isHidden());
}

TEST_F(DialogsTest, SimReadShowsTheNumberAndDataReadsReportEachFailure) {
    reply_frame("\r\n^SCID: 89381030000012345678\r\n\r\nOK\r\n");
    sim_->ReadSIM->click();
    EXPECT_EQ(sim_->SIMtext->text(), "89381030000012345678");
    reply_ack();
    sim_->ReadSIM->click();
    EXPECT_EQ(sim_->SIMtext->text(), "???");
    EXPECT_EQ(requests(), (Requests{"AAT^SCID", "AAT^SCID"}));
    EXPECT_TRUE(messages_.shown.isEmpty());
    // Each failure is reported and leaves the read's boxes empty.
    for (QPushButton* read : {ftp_->Read, jad_->Command2, sim_->ReadSIM}) {
        for (const auto& [fail, message] : data_failures()) {
            forget();
            for (QLineEdit* box : {ftp_->ftp[4], jad_->Text3, sim_->SIMtext}) {
                box->setText("old");
            }
            jad_->Text2->setPlainText("old");
            fail();
            read->click();
            EXPECT_EQ(messages_.shown, QStringList{message}) << read->objectName().toStdString();
            EXPECT_EQ(requests().size(), port_->fail_open ? 0U : 1U);
            EXPECT_FALSE(port_->is_open());
            port_->fail_open = false;
        }
        EXPECT_EQ(ftp_->ftp[4]->text(), read == ftp_->Read ? "" : "old");
        EXPECT_EQ(jad_->Text3->text() + jad_->Text2->toPlainText(),
                  read == jad_->Command2 ? "" : "oldold");
        EXPECT_EQ(sim_->SIMtext->text(), read == sim_->ReadSIM ? "" : "old");
    }
    EXPECT_FALSE(std::filesystem::exists(jad_path_));
}

TEST_F(DialogsTest, SendsShowEveryReplyByTheAcknowledgementScheme) {
    reply_frame(kDescriptor);
    jad_->Command2->click();
    jad_->Combo1->setCurrentIndex(2);
    jad_->Text3->setText("5");
    ftp_->Check1[1]->setChecked(true);
    ftp_->Check1[4]->setChecked(true);
    const std::vector<std::pair<std::function<void()>, QString>> cases{
        {[this] { reply_nak(); }, "Not OK!"},
        {[] {}, "Uredjaj ne odgovara !"},
        {[this] { port_->fail_next_read(); }, "Greska!"},
        {[this] { reply_bad_checksum(); }, "CS"},
        {[this] { reply_frame("zauzet"); }, "zauzet"},
        {[this] { port_->fail_open = true; },
         "Port nije dobro izabran, podesite port i pokusajte ponovo!"},
    };
    for (QPushButton* send : {ftp_->Send, jad_->Command1, sim_->SendPSW, sim_->SendSIM}) {
        for (const auto& [reply, message] : cases) {
            forget();
            port_->script.clear();
            port_->fail_open = false;
            if (send == ftp_->Send) {
                reply_ack(); // the first row; the second stops the action
            }
            reply();
            send->click();
            EXPECT_EQ(messages_.informed, QStringList{message}) << send->objectName().toStdString();
            EXPECT_EQ(requests().size(), port_->fail_open ? 0U : send == ftp_->Send ? 2U : 1U);
            EXPECT_FALSE(port_->is_open());
        }
    }
    forget();
    port_->fail_open = false;
    reply_ack();
    jad_->Command1->click();
    EXPECT_EQ(messages_.informed, QStringList{kChanged});
}

TEST_F(DialogsTest, PinSequence) {
    // The modem's answer to each request: a reply text, or ACK, NAK, CS,
    // ERja (port failure); silence when none is given.
    std::map<std::string, std::string> answers;
    port_->on_write = [&](const std::string& bytes) {
        EXPECT_TRUE(port_->is_open());
        const std::string& a = answers[bytes.size() > 4 ? bytes.substr(1, bytes.size() - 4) : ""];
        a == "ACK"    ? reply_ack()
        : a == "NAK"  ? reply_nak()
        : a == "CS"   ? reply_bad_checksum()
        : a == "ERja" ? port_->fail_next_read()
        : a.empty()   ? void()
                      : reply_frame(a);
    };
    const std::string pin = "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n";
    const char* set = "PIN kod uspesno setovan";
    const char* no_reply = "Uredjaj ne odgovara !";
    const std::vector<std::tuple<std::map<std::string, std::string>, Requests, QStringList>> rows{
        {{{S, "\r\n+CPIN: READY\r\n\r\nOK\r\n"}}, {S}, {"Oslobodjeno od PIN koda"}},
        {{{S, "\r\nERROR\r\n"}}, {S}, {"SIM kartica nije prisutna"}},
        {{{S, "+CPIN: SIM PUK"}}, {S}, {"Nedozvoljena operacija ==+CPIN: SIM PUK=="}},
        {{{S, "CS"}}, {S}, {"Nedozvoljena operacija ==CS=="}},
        {{{S, pin}, {E, "\r\nOK\r\n"}, {O, "\r\nOK\r\n"}}, {S, E, O}, {set}},
        {{{S, pin}, {E, "\r\n+CME ERROR: 16\r\n"}, {A, "^SPIC: 2\r\n"}},
         {S, E, A},
         {"Pogresan PIN kod, imate jos  2 pokusaj(a)!"}},
        // Status results are reported and the sequence goes on.
        {{{E, "\r\nOK\r\n"}, {O, "\r\nerror\r\n"}}, {S, E, O}, {no_reply, "\r\nerror\r\n"}},
        {{{S, "ACK"}, {E, "NAK"}, {O, "ERja"}}, {S, E, O}, {"OK!", "Not OK!", "Greska!"}},
        {{{S, "NAK"}, {E, "ERROR"}, {A, "ERja"}, {O, "ACK"}},
         {S, E, A, O},
         {"Not OK!", "Greska!", "OK"}},
        {{{S, "ERja"}, {E, "ACK"}, {O, "NAK"}}, {S, E, O}, {"Greska!", "OK!", "Not OK!"}},
        {{{S, pin}, {E, "ERROR"}, {A, "ACK"}}, {S, E, A, O}, {"OK!", no_reply}},
        {{{S, pin}, {E, "ERROR"}, {A, "NAK"}, {O, "CS"}}, {S, E, A, O}, {"Not OK!", set}},
    };
    for (const auto& [modem, sent, shown] : rows) {
        answers = modem;
        forget();
        const int opened = port_->open_calls;
        sim_->PINText->setText("  1234 "); // blanks around the PIN are not sent
        sim_->SendPin->click();
        EXPECT_EQ(requests(), sent) << shown.join("|").toStdString();
        EXPECT_EQ(messages_.informed, shown);
        EXPECT_EQ(port_->open_calls, opened + 1);
        EXPECT_FALSE(port_->is_open());
    }
    // An empty PIN is sent empty; a port that cannot be opened sends nothing.
    answers = {{S, pin}};
    forget();
    sim_->PINText->setText("   ");
    sim_->SendPin->click();
    EXPECT_EQ(requests(), (Requests{S, "AAT+CPIN =", "AAT+CLCK = \"SC\",0,"}));
    forget();
    port_->fail_open = true;
    sim_->SendPin->click();
    EXPECT_EQ(messages_.shown,
              QStringList{"Port nije dobro izabran, podesite port i pokusajte ponovo!"});
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(DialogsTest, ClosingDuringTheWaitEndsThePinSequenceAndTheDialog) {
    const std::vector<std::function<void()>> closers{
        [this] { sim_->Izlaz->click(); }, [this] { press(sim_.get(), Qt::Key_Escape); },
        [this] { sim_->close(); }, // the close box
    };
    for (const auto& close : closers) {
        sim_ = std::make_unique<dialogs::SimDialog>(window_->transaction());
        sim_->show();
        sim_->PINText->setText("1234");
        forget();
        port_->on_wait = [&] {
            sim_->ReadSIM->click(); // starts nothing while a reply is awaited
            close();
        };
        sim_->SendPin->click();
        // The state question was cut short; the PIN never went out.
        EXPECT_EQ(requests(), Requests{S});
        EXPECT_FALSE(port_->is_open());
        EXPECT_FALSE(sim_->isVisible());
        EXPECT_TRUE(messages_.shown.isEmpty());
        EXPECT_TRUE(window_->transaction().idle());
    }
}

// Every control of the accessibility tree that holds a value.  A list's own
// editor and popup speak as the list and are not visited.
void value_controls(QAccessibleInterface* node, std::vector<QWidget*>& out) {
    const QList<QAccessible::Role> roles{QAccessible::EditableText, QAccessible::ComboBox,
                                         QAccessible::CheckBox,     QAccessible::RadioButton,
                                         QAccessible::SpinBox,      QAccessible::ProgressBar};
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* child = node->child(i)) {
            if (roles.contains(child->role())) {
                out.push_back(qobject_cast<QWidget*>(child->object()));
            }
            if (child->role() != QAccessible::ComboBox) {
                value_controls(child, out);
            }
        }
    }
}

TEST_F(DialogsTest, EveryValueControlHasANameOfItsOwn) {
    for (QWidget* window : std::initializer_list<QWidget*>{window_.get(), ftp_.get(), gprs_.get(),
                                                           jad_.get(), sim_.get()}) {
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
    // The cash-type list takes the value box's place.
    reply_frame(kDescriptor);
    jad_->Command2->click();
    jad_->Combo1->setCurrentIndex(1);
    EXPECT_EQ(tab_walk(jad_.get()), "Parametar|Tip kase|Read JAD|Send|Izlaz|JAD fajl");
}

TEST_F(DialogsTest, DisplayOnlyControlsTakeNoTyping) {
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

TEST_F(DialogsTest, EnterPressesTheRowButtonAndEscapeCloses) {
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
        {sim_.get(), sim_->PassText, " tajna ", {"p tajna "}},
        {sim_.get(), sim_->SimtextS, "8938 1030", {"PSIM:8938 1030"}},
        {sim_.get(), sim_->SimtextS, "", {"PSIM:"}},
        {sim_.get(), sim_->PassText, "", {"p"}},
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
    ftp_->show();
    press(ftp_->CombogprsR, Qt::Key_Escape);
    EXPECT_FALSE(ftp_->isVisible());
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
    // The start fills the hidden FTP dialog's lists.
    window_->Form_Load();
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
