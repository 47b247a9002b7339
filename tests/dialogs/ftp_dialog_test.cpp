#include "dialogs/ftp_dialog.h"

#include "support/console_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace tessal::testing {
namespace {

using Requests = std::vector<std::string>;

const char* kPortMessage = "Port nije dobro izabran, podesite port i pokusajte ponovo!";
const char* kNoReply = "Uredjaj ne odgovara, proverite vezu i brzinu prenosa!";
const char* kSent = "OK - Promena parametara izvrsena";
const Requests kReadRequests{"RFTPGovAddr",    "RFTPGovUser",         "RFTPGovPass",
                             "RFTP_pathFILES", "RFtpGovFoldsCommand", "RgprsParamVlada"};

// A main window whose operator table holds six operators, and the FTP
// dialog loaded on it.
class FtpDialogTest : public ConsoleFixture {
  protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\n"
                       "IME0=Telenor\r\nGPRS0=internet\r\nIME1=MTS\r\nGPRS1=gprswap\r\n"
                       "IME2=Vip\r\nGPRS2=vipmobile\r\nIME3=Globaltel\r\nGPRS3=Internet,gt\r\n"
                       "IME4=Yettel\r\nGPRS4=yettel\r\nIME5=Mundio\r\nGPRS5=mundio\r\n"
                       "[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n");
        start();
        ASSERT_TRUE(messages_.shown.isEmpty());
        dialog_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
    }

    QStringList read_side() const {
        QStringList out;
        for (std::size_t i = 4; i < 8; ++i) {
            out << dialog_->ftp[i]->text();
        }
        out << dialog_->UsernameR->text() << dialog_->PasswordR->text() << dialog_->ForSendR->text()
            << dialog_->ForCommandR->text();
        return out;
    }

    void tick_all() {
        for (QCheckBox* box : dialog_->Check1) {
            box->setChecked(true);
        }
        dialog_->Combogprs->setCurrentIndex(2);
    }

    std::unique_ptr<dialogs::FtpDialog> dialog_;
};

TEST_F(FtpDialogTest, LoadShowsTheLayoutDefaultsAndTheOperatorsInUse) {
    EXPECT_EQ(dialog_->windowTitle(), "Podesavanje FTP servera PU");
    EXPECT_EQ(dialog_->ReadFrame->title(), "ftp Poreske Uprave");
    EXPECT_EQ(QStringList({dialog_->Send->text(), dialog_->Read->text(), dialog_->Izlaz->text()}),
              (QStringList{"Slanje", "Citanje", "Izlaz"}));
    EXPECT_EQ(QStringList({dialog_->Username->text(), dialog_->Password->text(),
                           dialog_->ForSend->text(), dialog_->ForCommand->text()}),
              (QStringList{"terminal", "trobelik", "/izvestaji", "/komande"}));
    EXPECT_EQ(dialog_->ftp[3]->maxLength(), 3);
    EXPECT_EQ(dialog_->ForCommand->maxLength(), 32);
    EXPECT_TRUE(dialog_->ftp[7]->isReadOnly());
    EXPECT_EQ(read_side(), QStringList(8, QString()));
    for (QComboBox* list : {dialog_->Combogprs, dialog_->CombogprsR}) {
        ASSERT_EQ(list->count(), 6);
        EXPECT_EQ(list->itemText(3), "Globaltel");
        EXPECT_EQ(list->currentIndex(), -1);
    }
    EXPECT_EQ(dialog_->findChild<QCheckBox*>("Check14"), dialog_->Check1[4]);
    for (QWidget* child : dialog_->findChildren<QWidget*>()) {
        if (child->parentWidget() != nullptr && !child->objectName().startsWith("qt_")) {
            EXPECT_TRUE(child->parentWidget()->rect().contains(child->geometry()))
                << child->objectName().toStdString();
        }
    }
}

TEST_F(FtpDialogTest, ListsFollowTheTableAndANewOpeningStartsAfresh) {
    settings_.last_used_index = 1;
    settings_.operator_names[1] = "Novi";
    dialog_->Combogprs->setCurrentIndex(4);
    dialog_->fill_lists();
    EXPECT_EQ(dialog_->Combogprs->count(), 2);
    EXPECT_EQ(dialog_->CombogprsR->itemText(1), "Novi");
    EXPECT_EQ(dialog_->Combogprs->currentIndex(), -1);

    dialog_->Username->setText("x");
    dialog_->Check1[0]->setChecked(true);
    reply_frame("10.1.2.3");
    dialog_->Read->click();
    dialog_->show();
    dialog_->Izlaz->click();
    EXPECT_FALSE(dialog_->isVisible());
    dialog_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
    EXPECT_EQ(dialog_->Username->text(), "terminal");
    EXPECT_FALSE(dialog_->Check1[0]->isChecked());
    EXPECT_EQ(read_side(), QStringList(8, QString()));
    EXPECT_EQ(dialog_->CombogprsR->count(), 2);
}

TEST_F(FtpDialogTest, ReadRunsSixRequestsOverOnePortOpening) {
    for (const char* value : {"192.168.1.10", " user ", "pass", "/izv", "/kom", "Internet,gt"}) {
        reply_frame(value);
    }
    dialog_->Read->click();
    EXPECT_EQ(requests(), kReadRequests);
    EXPECT_EQ(port_->open_calls, 1);
    EXPECT_EQ(port_->close_calls, 1);
    EXPECT_FALSE(port_->is_open());
    EXPECT_EQ(read_side(),
              (QStringList{"192", "168", "1", "10", " user ", "pass", "/izv", "/kom"}));
    EXPECT_EQ(dialog_->CombogprsR->currentIndex(), 3);
    EXPECT_TRUE(messages_.shown.isEmpty());
}

TEST_F(FtpDialogTest, ReadShowsAGprsStringThatNoOperatorHas) {
    // A bare acknowledgement reads as the value "OK".
    reply_frame("1.2");
    reply_ack();
    for (const char* value : {"", "/izv", "/kom", "internet,gt"}) {
        reply_frame(value);
    }
    dialog_->CombogprsR->setCurrentIndex(0);
    dialog_->Read->click();
    EXPECT_EQ(read_side(), (QStringList{"1", "", "", "2", "OK", "", "/izv", "/kom"}));
    EXPECT_EQ(dialog_->CombogprsR->currentIndex(), -1);
    EXPECT_EQ(messages_.informed, QStringList{"GPRS parametri su: internet,gt"});
}

TEST_F(FtpDialogTest, ReadStopsAtTheFirstFailureKeepingWhatWasFilled) {
    // Time-out on the third request.
    reply_frame("10.0.0");
    reply_frame("terminal");
    dialog_->Read->click();
    EXPECT_EQ(requests(), Requests(kReadRequests.begin(), kReadRequests.begin() + 3));
    EXPECT_EQ(read_side(), (QStringList{"10", "0", "", "0", "terminal", "", "", ""}));
    EXPECT_EQ(messages_.informed, QStringList{kNoReply});
    EXPECT_FALSE(port_->is_open());
    EXPECT_EQ(port_->close_calls, 1);

    // The next read starts from an empty read side.
    struct Case {
        std::function<void()> fail;
        QString message;
    };
    const std::vector<Case> cases{
        {[this] { reply_bad_checksum(); }, "Checksum nije dobar!"},
        {[this] { reply_nak(); }, "Not OK!"},
        {[this] { port_->fail_next_read(); }, "Greska!"},
    };
    for (const Case& c : cases) {
        messages_.clear();
        port_->writes.clear();
        reply_frame("7.7.7.7");
        c.fail();
        dialog_->Read->click();
        EXPECT_EQ(read_side(), (QStringList{"7", "7", "7", "7", "", "", "", ""}));
        EXPECT_EQ(messages_.informed, QStringList{c.message});
        EXPECT_EQ(requests().size(), 2U);
        EXPECT_FALSE(port_->is_open());
    }

    messages_.clear();
    port_->writes.clear();
    port_->fail_open = true;
    dialog_->Read->click();
    EXPECT_EQ(read_side(), QStringList(8, QString()));
    EXPECT_EQ(messages_.informed, QStringList{kPortMessage});
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(FtpDialogTest, ClicksWhileARequestWaitsDoNothing) {
    dialog_->show();
    tick_all();
    port_->on_wait = [this] {
        dialog_->Read->click();
        dialog_->Send->click();
    };
    for (const char* value : {"1.2.3.4", "u", "p", "/s", "/c", "internet"}) {
        reply_frame(value);
    }
    dialog_->Read->click();
    EXPECT_EQ(requests(), kReadRequests);
    EXPECT_EQ(port_->open_calls, 1);
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_TRUE(messages_.shown.isEmpty());

    port_->writes.clear();
    port_->on_wait = [this] { dialog_->Read->click(); };
    for (int i = 0; i < 6; ++i) {
        reply_ack();
    }
    dialog_->Send->click();
    EXPECT_EQ(requests().size(), 6U);
    EXPECT_EQ(requests().front().front(), 'P');
    EXPECT_EQ(messages_.informed, QStringList{kSent});
    EXPECT_EQ(read_side()[0], "1");

    // "Izlaz" during the wait cuts the read short and closes the dialog.
    port_->writes.clear();
    port_->on_wait = [this] { dialog_->Izlaz->click(); };
    dialog_->Read->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"RFTPGovAddr"});
    EXPECT_FALSE(port_->is_open());
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_TRUE(messages_.informed == QStringList{kSent});
}

TEST_F(FtpDialogTest, FullyTickedSendRunsSixTransactionsInRowOrder) {
    tick_all();
    for (int i = 0; i < 6; ++i) {
        reply_ack();
    }
    dialog_->Send->click();
    EXPECT_EQ(requests(), (Requests{"PFTPGovAddr:192.168.001.100", "PFTPGovUser:terminal",
                                    "PFTPGovPass:trobelik", "PFTP_pathFILES:/izvestaji",
                                    "PFtpGovFoldsCommand:/komande", "PgprsParamVlada:vipmobile"}));
    EXPECT_EQ(port_->open_calls, 6);
    EXPECT_EQ(port_->close_calls, 6);
    EXPECT_EQ(messages_.informed, QStringList{kSent});
}

TEST_F(FtpDialogTest, SendPadsTheFirstThreeOctetsInTheBoxes) {
    const QStringList typed{" 7 ", "18", "200", " 1 "};
    for (std::size_t i = 0; i < 4; ++i) {
        dialog_->ftp[i]->setText(typed[static_cast<int>(i)]);
    }
    dialog_->Username->setText("  tech  ");
    dialog_->Check1[0]->setChecked(true);
    dialog_->Check1[1]->setChecked(true);
    reply_ack();
    reply_ack();
    dialog_->Send->click();
    EXPECT_EQ(requests(), (Requests{"PFTPGovAddr:007.018.200.1", "PFTPGovUser:  tech  "}));
    EXPECT_EQ(dialog_->ftp[0]->text(), "007");
    EXPECT_EQ(dialog_->ftp[1]->text(), "018");
    EXPECT_EQ(dialog_->ftp[2]->text(), "200");
    EXPECT_EQ(dialog_->ftp[3]->text(), " 1 ");
}

TEST_F(FtpDialogTest, EveryValidationFailureEndsTheSendBeforeThePortOpens) {
    struct Case {
        std::size_t row;
        std::function<void()> spoil;
        QString message;
    };
    const std::vector<Case> cases{
        {0, [this] { dialog_->ftp[2]->clear(); }, "Podaci za ftp adresu nisu dobro uneti."},
        {0, [this] { dialog_->ftp[3]->setText("  "); }, "Podaci za ftp adresu nisu dobro uneti."},
        {1, [this] { dialog_->Username->clear(); }, "Podaci za username nisu dobro uneti."},
        {1, [this] { dialog_->Username->setText("   "); }, "Podaci za username nisu dobro uneti."},
        {2, [this] { dialog_->Password->clear(); }, "Podaci za password nisu dobro uneti."},
        {3, [this] { dialog_->ForSend->setText(" "); }, "Podaci za for send nisu dobro uneti."},
        {4, [this] { dialog_->ForCommand->clear(); }, "Podaci za command nisu dobro uneti."},
        {5, [this] { dialog_->Combogprs->setCurrentIndex(-1); }, "Odaberite operatera."},
    };
    for (const Case& c : cases) {
        dialog_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
        messages_.clear();
        dialog_->ftp[0]->setText("7");
        dialog_->Check1[c.row]->setChecked(true);
        c.spoil();
        dialog_->Send->click();
        EXPECT_EQ(messages_.informed, QStringList{c.message});
        // A failed address leaves the boxes as they were.
        EXPECT_EQ(dialog_->ftp[0]->text(), "7");
    }
    EXPECT_TRUE(port_->writes.empty());
    EXPECT_EQ(port_->open_calls, 0);

    dialog_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
    messages_.clear();
    dialog_->Send->click();
    EXPECT_EQ(messages_.informed, QStringList{"Nisu obelezeni podaci za slanje"});
    EXPECT_EQ(port_->open_calls, 0);
}

TEST_F(FtpDialogTest, ARowFailingAfterEarlierOnesWereSentEndsWithoutSuccess) {
    dialog_->Check1[0]->setChecked(true);
    dialog_->Check1[1]->setChecked(true);
    dialog_->Username->clear();
    reply_ack();
    dialog_->Send->click();
    EXPECT_EQ(requests(), Requests{"PFTPGovAddr:192.168.001.100"});
    EXPECT_EQ(messages_.informed, QStringList{"Podaci za username nisu dobro uneti."});
}

TEST_F(FtpDialogTest, SendShowsEveryReplyButAnAcknowledgementAndStops) {
    struct Case {
        std::function<void()> reply;
        QString message;
    };
    const std::vector<Case> cases{
        {[this] { reply_bad_checksum(); }, "CS"},
        {[this] { reply_nak(); }, "Not OK!"},
        {[] {}, "Uredjaj ne odgovara !"},
        {[this] { port_->fail_next_read(); }, "Greska!"},
        {[this] { reply_frame("busy"); }, "busy"},
        {[this] { port_->fail_open = true; }, kPortMessage},
    };
    tick_all();
    for (const Case& c : cases) {
        messages_.clear();
        port_->writes.clear();
        port_->script.clear();
        port_->fail_open = false;
        reply_ack();
        c.reply();
        dialog_->Send->click();
        EXPECT_EQ(messages_.informed, QStringList{c.message});
        EXPECT_LE(requests().size(), 2U);
        EXPECT_FALSE(port_->is_open());
    }
}

TEST_F(FtpDialogTest, SendBoxesRefuseWhatTheDeviceCannotStore) {
    dialog_->Username->clear();
    dialog_->Username->insert(QString::fromUtf8("Šabac"));
    EXPECT_EQ(dialog_->Username->text(), "");
    dialog_->Username->insert(QString::fromUtf8("Bač\x03"));
    EXPECT_EQ(dialog_->Username->text(), "");
    dialog_->Username->insert(QString::fromLatin1("caf\xe9 ok"));
    EXPECT_EQ(dialog_->Username->text(), QString::fromLatin1("caf\xe9 ok"));
    reply_ack();
    dialog_->Check1[1]->setChecked(true);
    dialog_->Send->click();
    EXPECT_EQ(requests(), Requests{"PFTPGovUser:caf\xe9 ok"});
}

} // namespace
} // namespace tessal::testing
