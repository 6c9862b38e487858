// The オンエア window: opened from the menu beside the dialogs, and kept to what the device
// confirms by its answers.
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>

#include "app/menu_commands.h"
#include "app/on_air_window.h"
#include "app_fixture.h"
#include "core/codec.h"

namespace tqv::test {
namespace {

class OnAirWindowTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        model.interface_kind = 0;
        window->run_command(command::kOnAir);
        on_air = window->on_air_window();
        ASSERT_NE(on_air, nullptr);
    }
    // A line from the device on the serial link, as the reader hands it over.
    void answer(const std::string& text) { link.dispatcher().dispatch_serial("00" + text + "\r\n"); }
    QString cell(int line, OnAirView::Column column) const {
        QTableWidgetItem* item = on_air->view()->table()->item(line, column);
        return item != nullptr ? item->text() : QString();
    }
    QImage picture(int channel) const { return on_air->view()->channel_view(channel)->grab().toImage(); }

    OnAirWindow* on_air = nullptr;
};

TEST_F(OnAirWindowTest, OpensFromTheInformationMenuAsAWindowOfItsOwn) {
    QAction* item = window->action(command::kOnAir);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("オンエア"));
    EXPECT_TRUE(window->menu(command::kInfoMenu)->actions().contains(item));
    EXPECT_TRUE(on_air->isVisible());
    // Not a child of the main window: dialogs modal to it leave this window usable.
    EXPECT_EQ(on_air->parentWidget(), nullptr);
    EXPECT_EQ(on_air->windowModality(), Qt::NonModal);
    window->run_command(command::kPageSwitch);
    EXPECT_TRUE(on_air->isVisible());
    window->run_command(command::kOnAir);
    EXPECT_EQ(window->on_air_window(), on_air);
    // Found by name, as assistive technology finds it.
    EXPECT_EQ(on_air->view()->table()->accessibleName(), QStringLiteral("オンエア"));
    EXPECT_EQ(on_air->view()->channel_view(1)->accessibleName(), QStringLiteral("ch.2 picture"));
}

TEST_F(OnAirWindowTest, EachConfirmedAnswerShowsAtOnce) {
    set_slot_text(model.title(0, 4), *utf8_to_cp932("速報"));
    struct Step {
        std::string answer;
        int line;
        OnAirView::Column column;
        const char* shown;
    };
    const Step steps[] = {
        {"P01T05", 0, OnAirView::page_column, "05"},
        {"P01T05", 0, OnAirView::title_column, "速報"},
        {"P01T05", 0, OnAirView::shown_column, "表示"},
        {"CTD01T" + std::string(4, 'N') + "F" + std::string(59, 'N'), 0, OnAirView::shown_column,
         "非表示"},
        {"CT01B01" "2341" "2342" "2121" "2121" "2121" "2121" "2121" "2121" "2121" "2121" "2121"
         "2121" "2121" "2121",
         1, OnAirView::title_column, "ＡＢ"},
        {"P02BA", 3, OnAirView::page_column, "AUTO"},
        {"P02BA", 3, OnAirView::title_column, "(自動切換え)"},
        {"P02BA", 3, OnAirView::shown_column, "—"},
        {"SUS02T12", 2, OnAirView::startup_column, "12"},
        {"SUS02TA", 2, OnAirView::startup_column, "AUTO"},
    };
    for (const Step& step : steps) {
        answer(step.answer);
        EXPECT_EQ(cell(step.line, step.column), QString::fromUtf8(step.shown)) << step.answer;
    }
    EXPECT_EQ(on_air->view()->channel_caption_text(0), QStringLiteral("ch.1  Top 05 OFF  Bottom 01"));
    EXPECT_EQ(on_air->view()->channel_caption_text(1), QStringLiteral("ch.2  Top 01  Bottom AUTO"));
}

TEST_F(OnAirWindowTest, ThePictureFollowsThePageLevelsAndPosition) {
    set_slot_text(model.title(2, 6), *utf8_to_cp932("速報"));
    const QImage before = picture(1);
    const QImage untouched = picture(0);
    struct Step {
        const char* answer;
        bool changes;  // the ch.2 picture
    };
    const Step steps[] = {
        {"P02T07", true},     // a page with a title
        {"P02T07", false},    // the same again
        {"CTDPO02T03", true}, // moved up
        {"CWL3", true},       // brighter
        {"CEL0", true},       // darker edge
        {"P01T09", false},    // ch.1: an empty page, ch.2 unchanged
    };
    QImage last = before;
    for (const Step& step : steps) {
        answer(step.answer);
        const QImage now = picture(1);
        EXPECT_EQ(now != last, step.changes) << step.answer;
        last = now;
    }
    // Nothing on ch.1 but the levels, which a blank picture does not show.
    EXPECT_EQ(picture(0), untouched);
}

TEST_F(OnAirWindowTest, ReopenedItShowsWhatChangedWhileItWasClosed) {
    on_air->close();
    model.current_page[1] = 20;
    window->run_command(command::kOnAir);
    EXPECT_EQ(cell(1, OnAirView::page_column), QStringLiteral("21"));
    EXPECT_EQ(cell(1, OnAirView::line_column), QStringLiteral("ch.1 Bottom"));
}

}  // namespace
}  // namespace tqv::test
