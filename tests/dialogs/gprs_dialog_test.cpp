#include "dialogs/ftp_dialog.h"
#include "dialogs/gprs_dialog.h"

#include "support/console_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tessal::testing {
namespace {

// The operator dialog on a main window whose table holds operators 0, 1 and
// 3 (row 2 empty), with the FTP dialog's lists refreshed through the real FTP
// dialog and the settings saved by the real store unless a test fails it.
class GprsDialogTest : public ConsoleFixture {
  protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\n"
                       "IME0=Telenor\r\nGPRS0=internet\r\nIME1=MTS\r\nGPRS1=gprswap\r\n"
                       "IME2=\r\nGPRS2=\r\nIME3=Vip\r\nGPRS3=vipmobile\r\n"
                       "[PORT]\r\nBROJ=2\r\nBOUD=9600\r\n");
        start();
        ASSERT_EQ(settings_.last_used_index, 1);
        ftp_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
        open();
    }

    void open() {
        dialog_ = std::make_unique<dialogs::GprsDialog>(
            window_->transaction(), settings_, [this] { ftp_->fill_lists(); },
            [this] { return save_(); });
        dialog_->show();
    }

    void type_names(const QStringList& names) {
        for (std::size_t i = 0; i < 6; ++i) {
            dialog_->Text_prov_ime[i]->setText(names.value(static_cast<int>(i)));
        }
    }

    QStringList shown_names() const {
        QStringList out;
        for (QLineEdit* box : dialog_->Text_prov_ime) {
            out << box->text();
        }
        return out;
    }

    std::function<bool()> save_ = [this] { return store_->save_settings(settings_); };
    std::unique_ptr<dialogs::FtpDialog> ftp_;
    std::unique_ptr<dialogs::GprsDialog> dialog_;
};

TEST_F(GprsDialogTest, LoadFillsTheRowsInUseOnly) {
    EXPECT_EQ(dialog_->windowTitle(), "Podesavanje GPRS Parametara");
    // The captions as shown; the mnemonic marker is only an underline.
    EXPECT_EQ(dialog_->Label1->text().remove(u'&'), "Operater");
    EXPECT_EQ(dialog_->Label2->text().remove(u'&'), "GPRS parametri");
    EXPECT_EQ(dialog_->Potvrda->text(), "Potvrda");
    EXPECT_EQ(dialog_->Izlaz->text(), "Izlaz");
    EXPECT_GE(dialog_->Text_prov_gprs[0]->width(), 2 * dialog_->Text_prov_ime[0]->width());
    EXPECT_EQ(shown_names(), (QStringList{"Telenor", "MTS", "", "", "", ""}));
    EXPECT_EQ(dialog_->Text_prov_gprs[1]->text(), "gprswap");
    EXPECT_EQ(dialog_->Text_prov_gprs[3]->text(), "");
    EXPECT_EQ(dialog_->findChild<QLineEdit*>("Text_prov_gprs5"), dialog_->Text_prov_gprs[5]);
    // Only what the settings file and the device keep unchanged can be typed.
    dialog_->Text_prov_ime[5]->insert(QString::fromUtf8("Niš"));
    EXPECT_EQ(dialog_->Text_prov_ime[5]->text(), "");
}

TEST_F(GprsDialogTest, ConfirmRecountsStoresEveryRowAndRefreshesTheFtpLists) {
    struct Case {
        QStringList names;
        int last_used;
    };
    const std::vector<Case> cases{
        {{"a", "b", "c", "d", "e", "f"}, 5},
        {{"a", "b", "", "d", "e", "f"}, 1},
        {{"", "", "c"}, 0},
        {{"a", " ", "c", ""}, 2},
    };
    for (const Case& c : cases) {
        open();
        messages_.clear();
        type_names(c.names);
        dialog_->Text_prov_gprs[3]->setText(" apn 3 ");
        dialog_->Potvrda->click();
        EXPECT_EQ(settings_.last_used_index, c.last_used) << c.names.join(",").toStdString();
        EXPECT_EQ(messages_.informed, QStringList{"OK"});
        EXPECT_FALSE(dialog_->isVisible());
        ASSERT_EQ(ftp_->Combogprs->count(), c.last_used + 1);
        ASSERT_EQ(ftp_->CombogprsR->count(), c.last_used + 1);
        EXPECT_EQ(ftp_->Combogprs->itemText(c.last_used), c.names[c.last_used]);
        // Rows after the first empty name are stored and saved as typed too.
        EXPECT_EQ(settings_.operator_names[3], c.names.value(3).toStdString());
        EXPECT_EQ(settings_.gprs_strings[3], " apn 3 ");
        EXPECT_NE(read_settings().find("GPRS3=\" apn 3 \""), std::string::npos);
    }
    // The next opening shows the rows in use only; confirming it as it is
    // stores the empty rows over the uncounted ones.
    open();
    EXPECT_EQ(shown_names(), (QStringList{"a", " ", "c", "", "", ""}));
    dialog_->Potvrda->click();
    EXPECT_EQ(settings_.operator_names[3], "");
    EXPECT_EQ(settings_.gprs_strings[3], "");
}

TEST_F(GprsDialogTest, AFailedSaveShowsNotOkAndKeepsTheDialogOpen) {
    save_ = [this] {
        messages_.plain("Podesavanja nisu sacuvana.");
        return false;
    };
    type_names({"a", "b", "c"});
    dialog_->Potvrda->click();
    EXPECT_EQ(messages_.shown, (QStringList{"Podesavanja nisu sacuvana.", "Not OK"}));
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(settings_.last_used_index, 2);
    EXPECT_EQ(ftp_->Combogprs->count(), 3);
}

TEST_F(GprsDialogTest, IzlazChangesNothing) {
    const std::string file = read_settings();
    type_names({"x", "y", "z", "w"});
    dialog_->Text_prov_gprs[0]->setText("changed");
    dialog_->Izlaz->click();
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(settings_.last_used_index, 1);
    EXPECT_EQ(settings_.operator_names[0], "Telenor");
    EXPECT_EQ(settings_.gprs_strings[0], "internet");
    EXPECT_EQ(ftp_->Combogprs->count(), 2);
    EXPECT_EQ(read_settings(), file);
    EXPECT_TRUE(messages_.shown.isEmpty());
    open();
    EXPECT_EQ(shown_names(), (QStringList{"Telenor", "MTS", "", "", "", ""}));
}

} // namespace
} // namespace tessal::testing
