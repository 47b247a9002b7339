#include "dialogs/jad_dialog.h"

#include "support/console_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>
#include <fstream>

namespace tessal::testing {
namespace {

using dialogs::JadDialog;

const char* kPortMessage = "Port nije dobro izabran, podesite port i pokusajte ponovo!";

const std::string kDescriptor = "MIDlet-Name: Tessal\r\n"
                                "FTP_URL: ftp://10.0.0.1:21/izvestaji\r\n"
                                "CASH_TYPE: 7\r\n"
                                "TIMEOUT:30\r\n";

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) {
        out << box->itemText(i);
    }
    return out;
}

class JadDialogTest : public ConsoleFixture {
  protected:
    // Starts the console with the given CashTypeList (number, name).
    void start_with(const std::vector<std::pair<std::string, std::string>>& types) {
        start();
        for (std::size_t i = 0; i < types.size(); ++i) {
            settings_.cash_type_numbers[i] = types[i].first;
            settings_.cash_type_names[i] = types[i].second;
        }
        settings_.cash_type_count = static_cast<std::int32_t>(types.size());
        dialog_ = std::make_unique<JadDialog>(*window_);
    }

    // Reads the descriptor into the dialog and forgets the traffic so far.
    void read(const std::string& descriptor) {
        reply_frame(descriptor);
        dialog_->Command2->click();
        port_->writes.clear();
        messages_.clear();
    }

    void choose(const QString& name) {
        const int k = dialog_->Combo1->findText(name);
        ASSERT_GE(k, 0) << name.toStdString();
        dialog_->Combo1->setCurrentIndex(k);
    }

    std::filesystem::path jad_path() const { return window_->program_directory() / "Jad.txt"; }

    std::string jad_file() const {
        std::ifstream in(jad_path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::unique_ptr<JadDialog> dialog_;
};

TEST_F(JadDialogTest, OpensEmptyWithTheNamedTypesInComboTip) {
    start_with({{"3", "Alfa"}, {"4", ""}, {"7", "Beta"}});
    EXPECT_EQ(dialog_->windowTitle(), "JAD - konfiguracioni fajl");
    EXPECT_EQ(dialog_->Label1->text(), "Parametar:");
    EXPECT_EQ(dialog_->Command2->text(), "Read JAD");
    EXPECT_EQ(dialog_->Command1->text(), "Send");
    EXPECT_EQ(dialog_->IZL->text(), "Izlaz");
    for (const char* name :
         {"Label1", "Combo1", "Text3", "ComboTip", "Command2", "Command1", "Text2", "IZL"}) {
        EXPECT_NE(dialog_->findChild<QWidget*>(name), nullptr) << name;
    }
    EXPECT_FALSE(dialog_->Combo1->isEditable());
    EXPECT_FALSE(dialog_->ComboTip->isEditable());
    EXPECT_EQ(dialog_->ComboTip->geometry(), dialog_->Text3->geometry());
    EXPECT_TRUE(dialog_->Text2->font().fixedPitch());
    EXPECT_EQ(dialog_->Text2->font().family(), "Courier New");

    EXPECT_EQ(items(dialog_->ComboTip), (QStringList{"3:Alfa", "7:Beta"}));
    EXPECT_TRUE(dialog_->ComboTip->isHidden());
    EXPECT_FALSE(dialog_->Text3->isHidden());
    EXPECT_EQ(dialog_->Combo1->count(), 0);
    EXPECT_TRUE(dialog_->Text2->toPlainText().isEmpty());
    EXPECT_TRUE(dialog_->Text3->text().isEmpty());
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(JadDialogTest, ReadShowsTheDescriptorKeepsACopyAndListsTheParameters) {
    start_with({});
    reply_frame(kDescriptor);
    dialog_->Command2->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"J"});
    EXPECT_EQ(dialog_->Text2->toPlainText(), "MIDlet-Name: Tessal\n"
                                             "FTP_URL: ftp://10.0.0.1:21/izvestaji\n"
                                             "CASH_TYPE: 7\nTIMEOUT:30\n");
    EXPECT_EQ(jad_file(), kDescriptor + "\r\n");
    EXPECT_EQ(items(dialog_->Combo1),
              (QStringList{"MIDlet-Name:", "FTP_URL:", "CASH_TYPE:", "TIMEOUT:"}));
    EXPECT_EQ(dialog_->Combo1->currentIndex(), -1);
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_FALSE(port_->is_open());

    // A second read replaces everything, the file included.
    reply_frame("ONE: 1");
    dialog_->Command2->click();
    EXPECT_EQ(items(dialog_->Combo1), QStringList{"ONE:"});
    EXPECT_EQ(jad_file(), "ONE: 1\r\n");
}

TEST_F(JadDialogTest, DescriptorsThatParseBadlyOrNotAtAll) {
    start_with({});
    // A plain acknowledgement is reply text without parameters.
    reply_ack();
    dialog_->Command2->click();
    EXPECT_EQ(dialog_->Text2->toPlainText(), "OK");
    EXPECT_EQ(jad_file(), "OK\r\n");
    EXPECT_EQ(dialog_->Combo1->count(), 0);
    EXPECT_TRUE(messages_.shown.isEmpty());

    std::string many;
    for (int i = 0; i < 102; ++i) {
        many += "P" + std::to_string(i) + ": v\r\n";
    }
    reply_frame(many.substr(0, many.rfind("P101")));
    dialog_->Command2->click();
    EXPECT_EQ(dialog_->Combo1->count(), 101);
    EXPECT_TRUE(messages_.shown.isEmpty());

    // One more, or a line break right after a colon: "greska", no list, but
    // the text is shown and kept.
    for (const std::string& bad : {many, std::string("A: 1\r\nB:\r\n")}) {
        messages_.clear();
        reply_frame(bad);
        dialog_->Command2->click();
        EXPECT_EQ(messages_.plains, QStringList{"greska"});
        EXPECT_TRUE(messages_.informed.isEmpty());
        EXPECT_EQ(dialog_->Combo1->count(), 0);
        EXPECT_EQ(jad_file(), bad + "\r\n");
        EXPECT_FALSE(dialog_->Text2->toPlainText().isEmpty());
    }

    // An unterminated last line is listed too.
    messages_.clear();
    reply_frame("A: 1\r\nLAST: 2");
    dialog_->Command2->click();
    EXPECT_EQ(items(dialog_->Combo1), (QStringList{"A:", "LAST:"}));
    choose("LAST:");
    EXPECT_EQ(dialog_->Text3->text(), "2");
}

TEST_F(JadDialogTest, FailedReadsReportAndLeaveTheBoxesEmpty) {
    start_with({});
    read(kDescriptor);
    std::filesystem::remove(jad_path());
    struct Case {
        std::function<void()> reply;
        QString message;
    };
    const std::vector<Case> cases{
        {[this] { reply_bad_checksum(); }, "Checksum nije dobar!"},
        {[] {}, "Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"},
        {[this] { port_->fail_next_read(); }, "Greska!"},
        {[this] { reply_nak(); }, "Not OK!"},
    };
    for (const Case& c : cases) {
        messages_.clear();
        dialog_->Text3->setText("typed");
        c.reply();
        dialog_->Command2->click();
        EXPECT_EQ(messages_.informed, QStringList{c.message});
        EXPECT_TRUE(dialog_->Text2->toPlainText().isEmpty());
        EXPECT_TRUE(dialog_->Text3->text().isEmpty());
        EXPECT_FALSE(port_->is_open());
    }
    EXPECT_FALSE(std::filesystem::exists(jad_path()));

    messages_.clear();
    port_->writes.clear();
    port_->fail_open = true;
    dialog_->Command2->click();
    EXPECT_EQ(messages_.shown, QStringList{kPortMessage});
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(JadDialogTest, UnwritableCopyStillShowsTheDescriptorThenSaysSo) {
    start_with({});
    std::filesystem::create_directory(jad_path());
    reply_frame(kDescriptor);
    dialog_->Command2->click();
    EXPECT_FALSE(dialog_->Text2->toPlainText().isEmpty());
    EXPECT_EQ(dialog_->Combo1->count(), 4);
    EXPECT_EQ(messages_.informed, QStringList{"Fajl Jad.txt nije upisan!"});
    EXPECT_TRUE(std::filesystem::is_directory(jad_path()));
}

TEST_F(JadDialogTest, ChoosingAParameterShowsItsValue) {
    start_with({{"3", "Alfa"}, {"7", "Beta"}, {"9", "Gama"}});
    read(kDescriptor);
    choose("FTP_URL:");
    EXPECT_EQ(dialog_->Text3->text(), "ftp://10.0.0.1:21/izvestaji");
    EXPECT_TRUE(dialog_->ComboTip->isHidden());

    choose("CASH_TYPE:");
    EXPECT_TRUE(dialog_->Text3->isHidden());
    EXPECT_FALSE(dialog_->ComboTip->isHidden());
    EXPECT_EQ(dialog_->ComboTip->currentText(), "7:Beta");

    choose("TIMEOUT:");
    EXPECT_EQ(dialog_->Text3->text(), "0");
    EXPECT_FALSE(dialog_->Text3->isHidden());
    EXPECT_TRUE(dialog_->ComboTip->isHidden());

    // No type with the stored number: the last one is selected.
    read("CASH_TYPE: 5\r\n");
    choose("CASH_TYPE:");
    EXPECT_EQ(dialog_->ComboTip->currentText(), "9:Gama");
    EXPECT_TRUE(port_->writes.empty());

    // A new read goes back to the free-text box.
    reply_frame("CASH_TYPE: 5\r\n");
    dialog_->Command2->click();
    EXPECT_TRUE(dialog_->ComboTip->isHidden());
    EXPECT_FALSE(dialog_->Text3->isHidden());
}

TEST_F(JadDialogTest, SendingTheCashTypeUsesTheEntryShownEvenAfterAnUnnamedOne) {
    start_with({{"3", "Alfa"}, {"4", ""}, {"7", "Beta"}, {"8", "Delta"}});
    read(kDescriptor);
    choose("CASH_TYPE:");
    EXPECT_EQ(dialog_->ComboTip->currentText(), "7:Beta");
    reply_ack();
    dialog_->Command1->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"PCASH_TYPE:7"});
    EXPECT_EQ(messages_.plains, QStringList{"Beta"});
    EXPECT_EQ(messages_.shown, (QStringList{"Beta", "OK - Promena parametara izvrsena"}));

    port_->writes.clear();
    messages_.clear();
    dialog_->ComboTip->setCurrentIndex(2);
    reply_ack();
    dialog_->Command1->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"PCASH_TYPE:8"});
    EXPECT_EQ(messages_.plains, QStringList{"Delta"});
}

TEST_F(JadDialogTest, SendRefusalsTouchNoPort) {
    start_with({});
    read(kDescriptor);
    dialog_->Command1->click();
    EXPECT_EQ(messages_.informed, QStringList{"Unesite komandu "});

    messages_.clear();
    choose("TIMEOUT:");
    dialog_->Text3->setText("   ");
    dialog_->Command1->click();
    EXPECT_EQ(messages_.informed, QStringList{"Unesite novu vrednost parametra"});

    // An empty CashTypeList: nothing to choose, nothing sent.
    messages_.clear();
    choose("CASH_TYPE:");
    EXPECT_EQ(dialog_->ComboTip->currentIndex(), -1);
    dialog_->Command1->click();
    EXPECT_EQ(messages_.shown, QStringList{"Odaberite tip kase."});

    EXPECT_EQ(port_->open_calls, 1); // the read's
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(JadDialogTest, SendingAFreeTextValueAndItsOutcomes) {
    start_with({});
    read(kDescriptor);
    choose("TIMEOUT:");
    dialog_->Text3->setText(" 45 ");
    struct Case {
        std::function<void()> reply;
        QString message;
    };
    const std::vector<Case> cases{
        {[this] { reply_ack(); }, "OK - Promena parametara izvrsena"},
        {[this] { reply_nak(); }, "Not OK!"},
        {[] {}, "Uredjaj ne odgovara !"},
        {[this] { port_->fail_next_read(); }, "Greska!"},
        {[this] { reply_bad_checksum(); }, "CS"},
        {[this] { reply_frame("busy"); }, "busy"},
    };
    for (const Case& c : cases) {
        messages_.clear();
        port_->writes.clear();
        c.reply();
        dialog_->Command1->click();
        EXPECT_EQ(requests(), std::vector<std::string>{"PTIMEOUT: 45 "});
        EXPECT_EQ(messages_.shown, QStringList{c.message});
        EXPECT_FALSE(port_->is_open());
    }
    // The list keeps the value read until the next read.
    choose("MIDlet-Name:");
    choose("TIMEOUT:");
    EXPECT_EQ(dialog_->Text3->text(), "0");

    messages_.clear();
    port_->writes.clear();
    port_->fail_open = true;
    dialog_->Command1->click();
    EXPECT_EQ(messages_.shown, QStringList{kPortMessage});
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(JadDialogTest, NothingElseRunsOrClosesWhileAReplyIsAwaited) {
    start_with({});
    read(kDescriptor);
    choose("TIMEOUT:");
    dialog_->Text3->setText("5");
    bool finished = false;
    QObject::connect(dialog_.get(), &QDialog::finished, [&] { finished = true; });
    port_->on_wait = [this] {
        dialog_->Command1->click();
        dialog_->Command2->click();
        dialog_->IZL->click();
        dialog_->reject();
    };
    reply_frame(kDescriptor);
    dialog_->Command2->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"J"});
    EXPECT_EQ(port_->open_calls, 2);
    EXPECT_FALSE(finished);
    EXPECT_TRUE(messages_.shown.isEmpty());

    dialog_->IZL->click();
    EXPECT_TRUE(finished);
}

} // namespace
} // namespace tessal::testing
