// The four dialogs on a scripted port: requests on the wire, messages, boxes.
#include "dialogs_fixture.h"

#include <QApplication>
#include <QKeyEvent>

#include <map>

namespace tessal::testing {
namespace {

const char* kChanged = "OK - Promena parametara izvrsena";
const Requests kFtpReads{"RFTPGovAddr",    "RFTPGovUser",         "RFTPGovPass",
                         "RFTP_pathFILES", "RFtpGovFoldsCommand", "RgprsParamVlada"};
const std::string kDescriptor = "MIDlet-Name: Tessal\r\nCASH_TYPE: 7\r\nTIMEOUT:30\r\n";
const std::string kState = "AAT+CPIN?";
const std::string kEntry = "AAT+CPIN =1234";
const std::string kAttempts = "AAT^SPIC1234";
const std::string kOff = "AAT+CLCK = \"SC\",0,1234";

using DialogsTest = DialogsFixture;

QStringList ftp_read_side(const dialogs::FtpDialog& d) {
    return texts(std::array{d.ftp[4], d.ftp[5], d.ftp[6], d.ftp[7], d.UsernameR, d.PasswordR,
                            d.ForSendR, d.ForCommandR});
}

TEST_F(DialogsTest, FtpReadFillsTheReadSideOverOnePortOpening) {
    for (const char* value : {"192.168.1.10", " user ", "pass", "/izv", "/kom", "Internet,gt"}) {
        reply_frame(value);
    }
    ftp_->Read->click();
    EXPECT_EQ(requests(), kFtpReads);
    EXPECT_EQ(port_->open_calls, 1);
    EXPECT_EQ(ftp_read_side(*ftp_),
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
    EXPECT_EQ(ftp_read_side(*ftp_), (QStringList{"1", "", "", "2", "OK", "", "/izv", "/kom"}));
    EXPECT_EQ(ftp_->CombogprsR->currentIndex(), -1);
    EXPECT_EQ(messages_.informed, QStringList{"GPRS parametri su: internet,gt"});

    // A failure stops the read; the rows read so far keep their values.
    for (const auto& [fail, message] : data_failures()) {
        forget();
        reply_frame("7.7.7.7");
        fail();
        ftp_->Read->click();
        EXPECT_EQ(messages_.informed, QStringList{message});
        EXPECT_EQ(requests().size(), port_->fail_open ? 0U : 2U);
        EXPECT_EQ(ftp_read_side(*ftp_)[0], port_->fail_open ? "" : "7");
        EXPECT_EQ(ftp_->UsernameR->text(), "");
        EXPECT_FALSE(port_->is_open());
    }
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

TEST_F(DialogsTest, FtpSendShowsEveryReplyButAnAcknowledgementAndStops) {
    const std::vector<std::pair<std::function<void()>, QString>> cases{
        {[this] { reply_bad_checksum(); }, "CS"},
        {[this] { reply_nak(); }, "Not OK!"},
        {[] {}, "Uredjaj ne odgovara !"},
        {[this] { port_->fail_next_read(); }, "Greska!"},
        {[this] { reply_frame("busy"); }, "busy"},
        {[this] { port_->fail_open = true; },
         "Port nije dobro izabran, podesite port i pokusajte ponovo!"},
    };
    ftp_->Check1[1]->setChecked(true);
    ftp_->Check1[4]->setChecked(true);
    for (const auto& [reply, message] : cases) {
        forget();
        reply_ack();
        reply();
        ftp_->Send->click();
        EXPECT_EQ(messages_.informed, QStringList{message});
        EXPECT_EQ(requests().size(), port_->fail_open ? 0U : 2U);
        EXPECT_FALSE(port_->is_open());
        port_->script.clear();
    }
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
}

TEST_F(DialogsTest, GprsFailedSaveKeepsTheDialogOpenAndIzlazChangesNothing) {
    const std::string file = read_settings();
    gprs_->Text_prov_gprs[0]->setText("changed");
    gprs_->Text_prov_ime[2]->clear();
    gprs_->Izlaz->click();
    EXPECT_FALSE(gprs_->isVisible());
    EXPECT_EQ(settings_.gprs_strings[0], "internet");
    EXPECT_EQ(ftp_->Combogprs->count(), 6);
    EXPECT_EQ(read_settings(), file);
    EXPECT_TRUE(messages_.shown.isEmpty());

    save_ = [this] {
        messages_.plain("Podesavanja nisu sacuvana.");
        return false;
    };
    open_gprs();
    gprs_->Text_prov_ime[2]->clear();
    gprs_->Potvrda->click();
    EXPECT_EQ(messages_.shown, (QStringList{"Podesavanja nisu sacuvana.", "Not OK"}));
    EXPECT_TRUE(gprs_->isVisible());
    EXPECT_EQ(settings_.last_used_index, 1);
    EXPECT_EQ(ftp_->Combogprs->count(), 2);
}

TEST_F(DialogsTest, JadReadShowsTheDescriptorKeepsACopyAndListsTheParameters) {
    reply_frame(kDescriptor);
    jad_->Command2->click();
    EXPECT_EQ(requests(), Requests{"J"});
    EXPECT_EQ(jad_->Text2->toPlainText(), "MIDlet-Name: Tessal\nCASH_TYPE: 7\nTIMEOUT:30\n");
    EXPECT_EQ(items(jad_->Combo1), (QStringList{"MIDlet-Name:", "CASH_TYPE:", "TIMEOUT:"}));
    EXPECT_EQ(jad_->Combo1->currentIndex(), -1);
    const auto jad_file = [this] {
        std::ifstream in(jad_path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
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

    for (const auto& [fail, message] : data_failures()) {
        forget();
        jad_->Text3->setText("typed");
        fail();
        jad_->Command2->click();
        EXPECT_EQ(messages_.shown, QStringList{message});
        EXPECT_TRUE(jad_->Text2->toPlainText().isEmpty());
        EXPECT_TRUE(jad_->Text3->text().isEmpty());
        EXPECT_FALSE(port_->is_open());
    }
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
    jad_->Combo1->setCurrentIndex(1);
    EXPECT_TRUE(jad_->Text3->isHidden());
    EXPECT_FALSE(jad_->ComboTip->isHidden());
    EXPECT_EQ(jad_->ComboTip->currentText(), "7:Beta");
    // The type's name is shown, then its number sent.
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
    EXPECT_FALSE(jad_->Text3->isHidden());
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

TEST_F(DialogsTest, JadFreeTextValueIsSentAsTypedAndItsOutcomeShown) {
    reply_frame(kDescriptor);
    jad_->Command2->click();
    // Refused before the port: no parameter, blanks only, no cash type.
    jad_->Command1->click();
    jad_->Combo1->setCurrentIndex(2);
    jad_->Text3->setText("   ");
    jad_->Command1->click();
    jad_->Combo1->setCurrentIndex(1);
    jad_->Command1->click();
    EXPECT_EQ(messages_.shown, (QStringList{"Unesite komandu ", "Unesite novu vrednost parametra",
                                            "Odaberite tip kase."}));
    EXPECT_EQ(port_->open_calls, 1); // the read's

    jad_->Combo1->setCurrentIndex(2);
    jad_->Text3->setText(" 45 ");
    const std::vector<std::pair<std::function<void()>, QString>> cases{
        {[this] { reply_ack(); }, kChanged},       {[this] { reply_nak(); }, "Not OK!"},
        {[] {}, "Uredjaj ne odgovara !"},          {[this] { reply_bad_checksum(); }, "CS"},
        {[this] { reply_frame("busy"); }, "busy"},
    };
    for (const auto& [reply, message] : cases) {
        forget();
        reply();
        jad_->Command1->click();
        EXPECT_EQ(requests(), Requests{"PTIMEOUT: 45 "});
        EXPECT_EQ(messages_.shown, QStringList{message});
        EXPECT_FALSE(port_->is_open());
    }
    // The table keeps the value read until the next read.
    jad_->Combo1->setCurrentIndex(0);
    jad_->Combo1->setCurrentIndex(2);
    EXPECT_EQ(jad_->Text3->text(), "0");
}

TEST_F(DialogsTest, SimReadShowsTheCardNumberOrReportsAndLeavesTheBoxEmpty) {
    reply_frame("\r\n^SCID: 89381030000012345678\r\n\r\nOK\r\n");
    sim_->ReadSIM->click();
    EXPECT_EQ(sim_->SIMtext->text(), "89381030000012345678");
    EXPECT_EQ(requests(), Requests{"AAT^SCID"});
    reply_ack();
    sim_->ReadSIM->click();
    EXPECT_EQ(sim_->SIMtext->text(), "???");
    EXPECT_TRUE(messages_.shown.isEmpty());
    for (const auto& [fail, message] : data_failures()) {
        messages_.clear();
        sim_->SIMtext->setText("old");
        fail();
        sim_->ReadSIM->click();
        EXPECT_EQ(messages_.shown, QStringList{message});
        EXPECT_TRUE(sim_->SIMtext->text().isEmpty());
        EXPECT_FALSE(port_->is_open());
    }
}

TEST_F(DialogsTest, SimPasswordAndIdentificationAreSentAsTyped) {
    reply_ack();
    sim_->SendPSW->click();
    reply_ack();
    sim_->SendSIM->click();
    sim_->PassText->setText(" tajna ");
    reply_nak();
    sim_->SendPSW->click();
    sim_->SimtextS->setText("8938 1030");
    reply_bad_checksum();
    sim_->SendSIM->click();
    sim_->SendSIM->click(); // silence
    port_->fail_next_read();
    sim_->SendPSW->click();
    reply_frame("zauzet");
    sim_->SendPSW->click();
    EXPECT_EQ(requests(), (Requests{"p", "PSIM:", "p tajna ", "PSIM:8938 1030", "PSIM:8938 1030",
                                    "p tajna ", "p tajna "}));
    EXPECT_EQ(messages_.informed, (QStringList{"OK!", "OK!", "Not OK!", "CS",
                                               "Uredjaj ne odgovara !", "Greska!", "zauzet"}));
    EXPECT_FALSE(port_->is_open());
}

TEST_F(DialogsTest, SimPinSequence) {
    // The modem's answer to each command: a reply text, or ACK, NAK, CS,
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
    const std::string pin_wanted = "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n";
    const std::vector<std::tuple<std::map<std::string, std::string>, Requests, QStringList>> rows{
        {{{kState, "\r\n+CPIN: READY\r\n\r\nOK\r\n"}}, {kState}, {"Oslobodjeno od PIN koda"}},
        {{{kState, "\r\nERROR\r\n"}}, {kState}, {"SIM kartica nije prisutna"}},
        {{{kState, "+CPIN: SIM PUK"}}, {kState}, {"Nedozvoljena operacija ==+CPIN: SIM PUK=="}},
        {{{kState, "CS"}}, {kState}, {"Nedozvoljena operacija ==CS=="}},
        {{{kState, pin_wanted}, {kEntry, "\r\nOK\r\n"}, {kOff, "\r\nOK\r\n"}},
         {kState, kEntry, kOff},
         {"PIN kod uspesno setovan"}},
        {{{kState, pin_wanted}, {kEntry, "\r\n+CME ERROR: 16\r\n"}, {kAttempts, "^SPIC: 2\r\n"}},
         {kState, kEntry, kAttempts},
         {"Pogresan PIN kod, imate jos  2 pokusaj(a)!"}},
        // Status results are reported and the sequence goes on.
        {{{kEntry, "\r\nOK\r\n"}, {kOff, "\r\nerror\r\n"}},
         {kState, kEntry, kOff},
         {"Uredjaj ne odgovara !", "\r\nerror\r\n"}},
        {{{kState, "ACK"}, {kEntry, "NAK"}, {kOff, "ERja"}},
         {kState, kEntry, kOff},
         {"OK!", "Not OK!", "Greska!"}},
        {{{kState, "NAK"}, {kEntry, "ERROR"}, {kAttempts, "ERja"}, {kOff, "ACK"}},
         {kState, kEntry, kAttempts, kOff},
         {"Not OK!", "Greska!", "OK"}},
        {{{kState, "ERja"}, {kEntry, "ACK"}, {kOff, "NAK"}},
         {kState, kEntry, kOff},
         {"Greska!", "OK!", "Not OK!"}},
        {{{kState, pin_wanted}, {kEntry, "ERROR"}, {kAttempts, "ACK"}},
         {kState, kEntry, kAttempts, kOff},
         {"OK!", "Uredjaj ne odgovara !"}},
        {{{kState, pin_wanted}, {kEntry, "ERROR"}, {kAttempts, "NAK"}, {kOff, "CS"}},
         {kState, kEntry, kAttempts, kOff},
         {"Not OK!", "PIN kod uspesno setovan"}},
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
    answers = {{kState, pin_wanted}};
    forget();
    sim_->PINText->setText("   ");
    sim_->SendPin->click();
    EXPECT_EQ(requests(), (Requests{kState, "AAT+CPIN =", "AAT+CLCK = \"SC\",0,"}));
    forget();
    port_->fail_open = true;
    sim_->SendPin->click();
    EXPECT_EQ(messages_.shown,
              QStringList{"Port nije dobro izabran, podesite port i pokusajte ponovo!"});
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(DialogsTest, ClosingDuringTheWaitEndsThePinSequenceAndTheDialog) {
    // While a reply is awaited, the other buttons start nothing.
    port_->on_wait = [this] {
        sim_->ReadSIM->click();
        sim_->SendPSW->click();
        sim_->SendPin->click();
    };
    reply_frame("^SCID: 42\r\n");
    sim_->ReadSIM->click();
    EXPECT_EQ(requests(), Requests{"AAT^SCID"});
    EXPECT_EQ(sim_->SIMtext->text(), "42");
    EXPECT_EQ(port_->open_calls, 1);

    const std::vector<std::function<void()>> closers{
        [this] { sim_->Izlaz->click(); },
        [this] {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(sim_.get(), &escape);
        },
        [this] { sim_->close(); }, // the close box
    };
    for (const auto& close : closers) {
        sim_ = std::make_unique<dialogs::SimDialog>(window_->transaction());
        sim_->show();
        sim_->PINText->setText("1234");
        port_->writes.clear();
        port_->on_wait = close;
        sim_->SendPin->click();
        // The state question was cut short; the PIN never went out.
        EXPECT_EQ(requests(), Requests{kState});
        EXPECT_FALSE(port_->is_open());
        EXPECT_FALSE(sim_->isVisible());
        EXPECT_TRUE(messages_.shown.isEmpty());
        EXPECT_TRUE(window_->transaction().idle());
    }
}

} // namespace
} // namespace tessal::testing
