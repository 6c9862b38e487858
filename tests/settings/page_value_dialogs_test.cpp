// The title display and automatic switching dialogs: the 32 cells, what a choice writes,
// the one-page "設定" and the four-line "全設定".
#include "settings/auto_switching_dialog.h"
#include "dialogs/dialog_parts.h"
#include "settings/title_display_dialog.h"
#include "settings_fixture.h"

namespace tqv::test {
namespace {

using namespace command;

using PageValueTest = SettingsTest;

TEST_F(PageValueTest, DisplayCellsShowTheHalfOfTheLineThatHoldsThePage) {
    model.selected_title_line = 1;
    model.selected_page = 39;
    model.title_display[1][32] = 0;
    model.document_dirty = 0;
    auto* d = open<TitleDisplayDialog>(kTitleDisplay);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle().toStdString(), "タイトル表示の設定");
    ASSERT_EQ(d->cells()->count(), 32);
    EXPECT_EQ(d->cells()->first_page(), 32);
    EXPECT_EQ(d->cells()->cell_text(0).toStdString(), "Page33 = OFF");
    EXPECT_EQ(d->cells()->cell_text(31).toStdString(), "Page64 = ON ");
    EXPECT_EQ(d->value_list()->currentText().toStdString(), "ON ");
    EXPECT_EQ(d->bulk().progress_bar()->maximum(), 3);

    d->page_list()->setCurrentIndex(32);
    EXPECT_EQ(d->value_list()->currentText().toStdString(), "OFF");
    d->page_list()->setCurrentIndex(5);
    EXPECT_EQ(d->cells()->cell_text(0).toStdString(), "Page01 = ON ");
    EXPECT_EQ(model.document_dirty, 0) << "looking at pages changes nothing";
}

TEST_F(PageValueTest, DisplayChoicesChangeTheModelAndSendNothing) {
    model.document_dirty = 0;
    model.same_display_choice = 1;
    auto* d = open<TitleDisplayDialog>(kTitleDisplay);
    d->value_list()->setCurrentIndex(0);
    EXPECT_EQ(model.title_display[0][0], 0);
    EXPECT_EQ(d->cells()->cell_text(0).toStdString(), "Page01 = OFF");
    EXPECT_EQ(model.document_dirty, 1);

    model.document_dirty = 0;
    d->line_list()->setCurrentIndex(2);
    d->same_list()->setCurrentIndex(0);
    EXPECT_EQ(model.same_display_choice, 0);
    for (int p = 0; p < kPages; ++p) ASSERT_EQ(model.title_display[2][p], 0) << p;
    EXPECT_EQ(model.title_display[1][0], 1);
    EXPECT_EQ(d->cells()->cell_text(31).toStdString(), "Page32 = OFF");
    EXPECT_EQ(d->value_list()->currentText().toStdString(), "OFF");
    EXPECT_EQ(model.document_dirty, 1);
    EXPECT_TRUE(wire.frames.empty());

    d->page_list()->setCurrentIndex(39);
    d->set_button()->click();
    ASSERT_EQ(wire.frames.size(), 1u);
    EXPECT_EQ(wire.frames[0], "00CTD02T40OF\r\n");
}

TEST_F(PageValueTest, DisplaySetAllSendsFourLinesAndSingleSendsStillGoBetween) {
    auto* d = open<TitleDisplayDialog>(kTitleDisplay);
    answer_every_command();
    d->set_all_button()->click();
    EXPECT_EQ(d->bulk().driver().pace_timer().interval(), 500);
    EXPECT_FALSE(close_enabled(*d));
    d->tick();
    d->set_button()->click();
    EXPECT_EQ(run_to_end(*d), 3);
    ASSERT_EQ(wire.frames.size(), 5u);
    EXPECT_EQ(wire.frames[0], "00CTD01T" + repeat("N", 64) + "\r\n");
    EXPECT_EQ(wire.frames[1], "00CTD01T01ON\r\n");
    EXPECT_EQ(wire.frames[4].substr(0, 8), "00CTD02B");
    EXPECT_EQ(progress(*d), 0);
    EXPECT_TRUE(close_enabled(*d));
    EXPECT_TRUE(d->isVisible());
}

TEST_F(PageValueTest, SwitchingTimesAreChosenShownAndSent) {
    model.document_dirty = 0;
    auto* d = open<AutoSwitchingDialog>(kAutoSwitching);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle().toStdString(), "自動切換えの設定");
    EXPECT_EQ(d->same_list()->currentText().toStdString(), "02");
    EXPECT_EQ(d->cells()->cell_text(0).toStdString(), "Page01 = 02 秒");

    d->page_list()->setCurrentIndex(9);
    EXPECT_EQ(d->cells()->first_page(), 0);
    d->line_list()->setCurrentIndex(3);
    d->page_list()->setCurrentIndex(63);
    EXPECT_EQ(d->cells()->first_page(), 32);
    EXPECT_EQ(model.document_dirty, 0);
    d->value_list()->setCurrentIndex(15);
    EXPECT_EQ(model.switch_time[3][63], 15);
    EXPECT_EQ(d->cells()->cell_text(31).toStdString(), "Page64 = 15 秒");
    EXPECT_EQ(model.document_dirty, 1);
    d->set_button()->click();
    ASSERT_EQ(wire.frames.size(), 1u);
    EXPECT_EQ(wire.frames[0], "00AST02B6415\r\n");

    d->same_list()->setCurrentIndex(0);
    EXPECT_EQ(model.same_time_choice, 0);
    for (int p = 0; p < kPages; ++p) ASSERT_EQ(model.switch_time[3][p], 0) << p;
    EXPECT_EQ(d->value_list()->currentText().toStdString(), "00");
    EXPECT_EQ(wire.frames.size(), 1u) << "Same Time sends nothing";
}

TEST_F(PageValueTest, SwitchingSetAllRunsAlone) {
    auto* d = open<AutoSwitchingDialog>(kAutoSwitching);
    answer_every_command();
    d->set_all_button()->click();
    EXPECT_EQ(d->bulk().driver().pace_timer().interval(), 1200);
    d->tick();
    d->set_button()->click();  // nothing while "全設定" runs
    EXPECT_FALSE(d->close());
    EXPECT_EQ(run_to_end(*d), 3);
    ASSERT_EQ(wire.frames.size(), 4u);
    EXPECT_EQ(wire.frames[0], "00AST01T" + repeat("02", 64) + "\r\n");
    EXPECT_EQ(wire.frames[3].substr(0, 8), "00AST02B");
    EXPECT_TRUE(d->close());
}

}  // namespace
}  // namespace tqv::test
