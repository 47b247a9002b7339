#include "support/console_fixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace tessal::testing {
namespace {

class ClockFrameTest : public ConsoleFixture {
  protected:
    // Types the boxes as the technician sees them: date row day, month,
    // year; time row hour, minute, second.
    void type(const char* day, const char* month, const char* year, const char* hour,
              const char* minute, const char* second) {
        window_->Vreme[2]->setText(day);
        window_->Vreme[1]->setText(month);
        window_->Vreme[0]->setText(year);
        window_->Vreme[3]->setText(hour);
        window_->Vreme[4]->setText(minute);
        window_->Vreme[5]->setText(second);
    }

    // The device-time boxes in the same order.
    std::string shown() const {
        std::string out;
        for (int index : {8, 7, 6, 9, 10, 11}) {
            out += window_->VremeR(index)->text().toStdString() + " ";
        }
        return out;
    }
};

TEST_F(ClockFrameTest, ReadShowsLocalTimeForTheChosenSeason) {
    start();
    window_->Option1->click();
    reply_frame("\r\n+CCLK: \"06/03/15,21:59:59\"\r\n\r\nOK\r\n");
    window_->ReadTime->click();
    EXPECT_EQ(shown(), "15 03 06 23 59 59 ");
    EXPECT_EQ(requests(), std::vector<std::string>{"AAT+CCLK?"});
    EXPECT_TRUE(messages_.shown.isEmpty());

    window_->Option2->click();
    EXPECT_FALSE(window_->Option1->isChecked());
    reply_frame("+CCLK: \"06/12/31,23:30:00\"");
    window_->ReadTime->click();
    EXPECT_EQ(shown(), "01 01 07 00 30 00 ");
}

TEST_F(ClockFrameTest, ReadFailuresKeepTheBoxesButAnUnreadableClockEmptiesThem) {
    start();
    window_->Option1->click();
    reply_frame("+CCLK: \"08/02/28,23:10:00\"");
    window_->ReadTime->click();
    EXPECT_EQ(shown(), "29 02 08 01 10 00 ");

    window_->ReadTime->click();
    EXPECT_EQ(messages_.informed, QStringList{"Uredjaj ne odgovara, proverite vezu!"});
    reply_frame("OK");
    window_->ReadTime->click();
    EXPECT_EQ(shown(), "29 02 08 01 10 00 ");
    reply_frame("+CCLK: \"08/02/28,xx:10:00\"");
    window_->ReadTime->click();
    EXPECT_EQ(shown(), "      ");
    EXPECT_EQ(messages_.shown.size(), 1);
    EXPECT_FALSE(port_->is_open());
}

TEST_F(ClockFrameTest, NoSeasonChosenShowsTheSeasonMessageAndOpensNothing) {
    start();
    window_->ReadTime->click();
    window_->SendTime->click();
    EXPECT_EQ(messages_.informed, QStringList({"Odaberite letnje ili zimsko racunanje vremena.",
                                               "Odaberite letnje ili zimsko racunanje vremena."}));
    EXPECT_EQ(port_->open_calls, 0);
    EXPECT_TRUE(window_->content()->isEnabled());
}

TEST_F(ClockFrameTest, SendSubtractsTheOffsetAndReportsTheReply) {
    start();
    window_->Option2->click();
    type("01", "01", "07", "00", "10", "00");
    reply_frame("\r\nOK\r\n");
    window_->SendTime->click();
    EXPECT_EQ(requests().back(), "AAT+CCLK=\"06/12/31,23:10:00\"");
    EXPECT_EQ(messages_.informed, QStringList{"OK"});

    messages_.clear();
    window_->Option1->click();
    type("15", "03", "06", "02", "00", "00");
    reply_frame("\r\n+CME ERROR: 3\r\n");
    window_->SendTime->click();
    EXPECT_EQ(requests().back(), "AAT+CCLK=\"06/03/15,00:00:00\"");
    EXPECT_EQ(messages_.informed, QStringList{"\r\n+CME ERROR: 3\r\n"});

    messages_.clear();
    reply_ack();
    window_->SendTime->click();
    window_->SendTime->click();
    EXPECT_EQ(messages_.informed, QStringList({"OK!", "Uredjaj ne odgovara !"}));
    // Sending never changes a box.
    EXPECT_EQ(window_->Vreme[3]->text(), "02");
}

TEST_F(ClockFrameTest, BadTypedTimeIsRefusedBeforeThePortOpens) {
    start();
    window_->Option2->click();
    window_->SendTime->click(); // all boxes empty: 00/00/00 cannot go back a day
    type("15", "ab", "06", "13", "00", "00");
    window_->SendTime->click();
    EXPECT_EQ(messages_.informed, QStringList({"Podaci za datum nisu dobro uneti",
                                               "Podaci za datum nisu dobro uneti"}));
    EXPECT_EQ(port_->open_calls, 0);

    type("15", "13", "06", "13", " 5", "5");
    reply_ack();
    window_->SendTime->click();
    EXPECT_EQ(requests().back(), "AAT+CCLK=\"06/13/15,12: 5:05\"");
}

TEST_F(ClockFrameTest, LivePcClockFillsTheBoxesOnlyWhileTicked) {
    start();
    window_->set_now([] { return QDateTime(QDate(2007, 3, 4), QTime(5, 6, 7)); });
    window_->Check2->click();
    EXPECT_TRUE(window_->Timer1->isActive());
    EXPECT_EQ(window_->Timer1->interval(), 1000);
    window_->Timer1_Timer();
    EXPECT_EQ(window_->Vreme[0]->text(), "07");
    EXPECT_EQ(window_->Vreme[2]->text(), "04");
    EXPECT_EQ(window_->pc_time()[5], "07");
    // Edits while ticked do not define the PC time.
    window_->Vreme[5]->setText("59");
    EXPECT_EQ(window_->pc_time()[5], "07");
    window_->Check2->click();
    EXPECT_FALSE(window_->Timer1->isActive());
    window_->Vreme[5]->setText("58");
    EXPECT_EQ(window_->pc_time()[5], "58");
}

} // namespace
} // namespace tessal::testing
