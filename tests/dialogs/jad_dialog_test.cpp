#include "dialogs/jad_dialog.h"

#include "support/console_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>
#include <fstream>

namespace tessal::testing {
namespace {

using dialogs::JadDialog;

const std::string kDescriptor = "MIDlet-Name: Tessal\r\n"
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
        dialog_ = std::make_unique<JadDialog>(window_->transaction(), settings_, jad_path());
    }

    // Reads a descriptor and forgets the traffic so far.
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

    std::filesystem::path jad_path() const {
        return std::filesystem::path(settings_path()).parent_path() / "Jad.txt";
    }

    std::string jad_file() const {
        std::ifstream in(jad_path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::unique_ptr<JadDialog> dialog_;
};

TEST_F(JadDialogTest, ReadShowsTheDescriptorKeepsACopyAndListsTheParameters) {
    start_with({{"3", "Alfa"}, {"4", ""}, {"7", "Beta"}});
    EXPECT_EQ(items(dialog_->ComboTip), (QStringList{"3:Alfa", "7:Beta"}));
    EXPECT_TRUE(dialog_->ComboTip->isHidden());
    EXPECT_EQ(dialog_->ComboTip->geometry(), dialog_->Text3->geometry());

    reply_frame(kDescriptor);
    dialog_->Command2->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"J"});
    EXPECT_EQ(dialog_->Text2->toPlainText(), "MIDlet-Name: Tessal\nCASH_TYPE: 7\nTIMEOUT:30\n");
    EXPECT_EQ(jad_file(), kDescriptor + "\r\n");
    EXPECT_EQ(items(dialog_->Combo1), (QStringList{"MIDlet-Name:", "CASH_TYPE:", "TIMEOUT:"}));
    EXPECT_EQ(dialog_->Combo1->currentIndex(), -1);
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_FALSE(port_->is_open());

    // A plain acknowledgement is reply text without parameters.
    reply_ack();
    dialog_->Command2->click();
    EXPECT_EQ(dialog_->Text2->toPlainText(), "OK");
    EXPECT_EQ(jad_file(), "OK\r\n");
    EXPECT_EQ(dialog_->Combo1->count(), 0);

    // An unterminated last line is listed too.
    reply_frame("A: 1\r\nLAST: 2");
    dialog_->Command2->click();
    EXPECT_EQ(items(dialog_->Combo1), (QStringList{"A:", "LAST:"}));
    EXPECT_TRUE(messages_.shown.isEmpty());
}

TEST_F(JadDialogTest, UnparsableOrUnsavableDescriptorsAreStillShown) {
    start_with({});
    std::string too_many;
    for (int i = 0; i < 102; ++i) {
        too_many += "P" + std::to_string(i) + ": v\r\n";
    }
    for (const std::string& bad : {too_many, std::string("A: 1\r\nB:\r\n")}) {
        messages_.clear();
        reply_frame(bad);
        dialog_->Command2->click();
        EXPECT_EQ(messages_.shown, QStringList{"greska"});
        EXPECT_EQ(messages_.plains, QStringList{"greska"});
        EXPECT_EQ(dialog_->Combo1->count(), 0);
        EXPECT_EQ(jad_file(), bad + "\r\n");
        EXPECT_FALSE(dialog_->Text2->toPlainText().isEmpty());
    }

    messages_.clear();
    std::filesystem::remove(jad_path());
    std::filesystem::create_directory(jad_path());
    reply_frame(kDescriptor);
    dialog_->Command2->click();
    EXPECT_FALSE(dialog_->Text2->toPlainText().isEmpty());
    EXPECT_EQ(dialog_->Combo1->count(), 3);
    EXPECT_EQ(messages_.informed, QStringList{"Fajl Jad.txt nije upisan!"});
}

TEST_F(JadDialogTest, FailedReadsReportAndLeaveTheBoxesEmpty) {
    start_with({});
    read(kDescriptor);
    std::filesystem::remove(jad_path());
    const auto cases = data_failures();
    for (const auto& [reply, message] : cases) {
        messages_.clear();
        dialog_->Text3->setText("typed");
        reply();
        dialog_->Command2->click();
        EXPECT_EQ(messages_.shown, QStringList{message});
        EXPECT_TRUE(dialog_->Text2->toPlainText().isEmpty());
        EXPECT_TRUE(dialog_->Text3->text().isEmpty());
        EXPECT_FALSE(port_->is_open());
    }
    EXPECT_EQ(requests().size(), 4U); // none with the port failing to open
    EXPECT_FALSE(std::filesystem::exists(jad_path()));
}

TEST_F(JadDialogTest, ChoosingAParameterShowsItsValueOrItsCashType) {
    start_with({{"3", "Alfa"}, {"7", "Beta"}, {"9", "Gama"}});
    read(kDescriptor);
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
    // A new read goes back to the free-text box.
    read("CASH_TYPE: 5\r\n");
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
    dialog_->ComboTip->setCurrentIndex(2);
    reply_ack();
    dialog_->Command1->click();
    EXPECT_EQ(requests(), (std::vector<std::string>{"PCASH_TYPE:7", "PCASH_TYPE:8"}));
    EXPECT_EQ(messages_.plains, (QStringList{"Beta", "Delta"}));
    EXPECT_EQ(messages_.informed.front(), "OK - Promena parametara izvrsena");
    EXPECT_EQ(messages_.shown.front(), "Beta"); // the name comes before the send
}

TEST_F(JadDialogTest, SendRefusalsTouchNoPort) {
    start_with({});
    read(kDescriptor);
    dialog_->Command1->click();
    choose("TIMEOUT:");
    dialog_->Text3->setText("   ");
    dialog_->Command1->click();
    // An empty CashTypeList: nothing to choose, nothing sent.
    choose("CASH_TYPE:");
    dialog_->Command1->click();
    EXPECT_EQ(messages_.shown, (QStringList{"Unesite komandu ", "Unesite novu vrednost parametra",
                                            "Odaberite tip kase."}));
    EXPECT_EQ(port_->open_calls, 1); // the read's
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(JadDialogTest, FreeTextValueIsSentAsTypedAndItsOutcomeShown) {
    start_with({});
    read(kDescriptor);
    choose("TIMEOUT:");
    dialog_->Text3->setText(" 45 ");
    const std::vector<std::pair<std::function<void()>, QString>> cases{
        {[this] { reply_ack(); }, "OK - Promena parametara izvrsena"},
        {[] {}, "Uredjaj ne odgovara !"},
        {[this] { reply_bad_checksum(); }, "CS"},
        {[this] { reply_frame("busy"); }, "busy"},
    };
    for (const auto& [reply, message] : cases) {
        messages_.clear();
        port_->writes.clear();
        reply();
        dialog_->Command1->click();
        EXPECT_EQ(requests(), std::vector<std::string>{"PTIMEOUT: 45 "});
        EXPECT_EQ(messages_.shown, QStringList{message});
        EXPECT_FALSE(port_->is_open());
    }
    // The list keeps the value read until the next read.
    choose("MIDlet-Name:");
    choose("TIMEOUT:");
    EXPECT_EQ(dialog_->Text3->text(), "0");
}

TEST_F(JadDialogTest, NothingElseRunsWhileAReplyIsAwaited) {
    start_with({});
    read(kDescriptor);
    choose("TIMEOUT:");
    dialog_->Text3->setText("5");
    bool finished = false;
    QObject::connect(dialog_.get(), &QDialog::finished, [&] { finished = true; });
    port_->on_wait = [this] {
        dialog_->Command1->click();
        dialog_->Command2->click();
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
