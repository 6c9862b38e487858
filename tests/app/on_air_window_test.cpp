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
#include "link/peer_channel.h"

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
    // Found by name, as assistive technology finds it.
    EXPECT_EQ(on_air->view()->table()->accessibleName(), QStringLiteral("オンエア"));
    EXPECT_EQ(on_air->view()->channel_view(1)->accessibleName(), QStringLiteral("ch.2 picture"));
    // Closed and opened again: the same window, with what changed meanwhile.
    on_air->close();
    model.current_page[1] = 20;
    window->run_command(command::kOnAir);
    EXPECT_EQ(window->on_air_window(), on_air);
    EXPECT_EQ(cell(1, OnAirView::page_column), QStringLiteral("21"));
    EXPECT_EQ(cell(1, OnAirView::line_column), QStringLiteral("ch.1 Bottom"));
}

TEST_F(OnAirWindowTest, EachConfirmedAnswerShowsAtOnce) {
    set_slot_text(model.title(0, 4), *utf8_to_cp932("速報"));
    // Each answer and the whole row of its line after it: page, title, shown, start-up.
    const struct {
        std::string answer;
        int line;
        const char* row;
    } steps[] = {
        {"P01T05", 0, "05|速報|表示|01"},
        {"CTD01T" + std::string(4, 'N') + "F" + std::string(59, 'N'), 0, "05|速報|非表示|01"},
        {"CT01B01" "2341" "2342" + QByteArray("2121").repeated(12).toStdString(), 1, "01|ＡＢ|表示|01"},
        {"P02BA", 3, "AUTO|(自動切換え)|—|01"},
        {"SUS02T12", 2, "01||表示|12"},
        {"SUS02TA", 2, "01||表示|AUTO"},
    };
    for (const auto& step : steps) {
        answer(step.answer);
        QStringList row;
        for (int c = OnAirView::page_column; c < OnAirView::columns; ++c) row << cell(step.line, OnAirView::Column(c));
        EXPECT_EQ(row.join(u'|').toStdString(), step.row) << step.answer;
    }
    EXPECT_EQ(on_air->view()->channel_caption_text(0), QStringLiteral("ch.1  Top 05 OFF  Bottom 01"));
    EXPECT_EQ(on_air->view()->channel_caption_text(1), QStringLiteral("ch.2  Top 01  Bottom AUTO"));
}

TEST_F(OnAirWindowTest, ThePictureFollowsThePageLevelsAndPosition) {
    set_slot_text(model.title(2, 6), *utf8_to_cp932("速報"));
    const QImage before = picture(1);
    const QImage untouched = picture(0);
    const struct {
        const char* answer;
        bool changes;  // the ch.2 picture
    } steps[] = {
        {"P02T07", true},     // a page with a title
        {"P02T07", false},    // the same again
        {"CTDPO02T03", true}, // moved up
        {"CWL3", true},       // brighter
        {"CEL0", true},       // darker edge
        {"P01T09", false},    // ch.1: an empty page, ch.2 unchanged
    };
    QImage last = before;
    for (const auto& step : steps) {
        answer(step.answer);
        const QImage now = picture(1);
        EXPECT_EQ(now != last, step.changes) << step.answer;
        last = now;
    }
    // Nothing on ch.1 but the levels, which a blank picture does not show.
    EXPECT_EQ(picture(0), untouched);
}

// The server role with three devices connected from 127.0.0.1; device 1 is the chosen one,
// which answers through the link itself, the others through channels of their own.
class OnAirServerTest : public OnAirWindowTest {
  protected:
    void SetUp() override {
        OnAirWindowTest::SetUp();
        set_slot_text(model.title(0, 4), *utf8_to_cp932("速報"));
        model.interface_kind = 1;
        ASSERT_TRUE(connect_devices(devices));
    }
    QString row(int device) const {
        QStringList cells;
        for (int c = 0; c < OnAirWindow::device_columns; ++c)
            cells << on_air->devices()->item(device - 1, c)->text().section(QLatin1Char(' '), 0, 0);
        return cells.join(QLatin1Char(' '));
    }
    // Device `device` (1..3) sends a line.
    void say(int device, const char* line) {
        devices[std::size_t(device - 1)].write(QByteArray("00") + line + "\r\n");
    }

    std::array<QTcpSocket, 3> devices;
};

TEST_F(OnAirServerTest, EachDeviceHasItsRowAndTheViewShowsTheOneChosenInTheList) {
    QTableWidget* list = on_air->devices();
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->accessibleName(), QStringLiteral("機器"));
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_TRUE(list->item(0, 0)->text().startsWith(QStringLiteral("1  127.0.0.1:")));
    EXPECT_TRUE(list->item(0, 0)->text().endsWith(QStringLiteral("(選択)")));
    EXPECT_FALSE(list->item(2, 0)->text().endsWith(QStringLiteral("(選択)")));
    EXPECT_EQ(on_air->shown_device(), 1);

    // Every device starts from the document's pages (01 everywhere here).
    const struct {
        int device;
        const char* line;
        const char* rows[3];
    } steps[] = {
        {2, "P01T05", {"1 01 01 01 01", "2 05 01 01 01", "3 01 01 01 01"}},
        {1, "P02BA", {"1 01 01 01 AUTO", "2 05 01 01 01", "3 01 01 01 01"}},
        {3, "P01B12", {"1 01 01 01 AUTO", "2 05 01 01 01", "3 01 12 01 01"}},
        {2, "P02T09", {"1 01 01 01 AUTO", "2 05 01 09 01", "3 01 12 01 01"}},
    };
    for (const auto& step : steps) {
        say(step.device, step.line);
        const QString mine = QString::fromLatin1(step.rows[step.device - 1]);
        ASSERT_TRUE(wait_until([&] { return row(step.device) == mine; }))
            << step.line << ": " << row(step.device).toStdString();
        for (int d = 1; d <= 3; ++d) EXPECT_EQ(row(d), QString::fromLatin1(step.rows[d - 1])) << step.line;
    }
}

TEST_F(OnAirServerTest, TheViewFollowsItsOwnDeviceAndOutlivesItsConnection) {
    ASSERT_TRUE(on_air->show_device(2));
    EXPECT_EQ(on_air->shown_device(), 2);
    EXPECT_EQ(&on_air->view()->model(), &link.peers().channel(2)->model());
    const QImage before = picture(0);
    const struct {
        int device;
        const char* line;
        bool changes;  // device 2's ch.1 picture
    } steps[] = {
        {3, "P01T05", false},  // another device
        {1, "P01T05", false},  // the chosen device, through the link
        {2, "P01T05", true},   // the shown one: its title appears
        {2, "CWL0", true},     // dimmer
    };
    QImage last = before;
    for (const auto& step : steps) {
        const int answered = step.device;
        const auto page = [&] {
            const Model& m = answered == 1 ? link.model() : link.peers().channel(answered)->model();
            return m.current_page[0] == 4 && (std::string(step.line) != "CWL0" || m.white_level == 0);
        };
        say(step.device, step.line);
        ASSERT_TRUE(wait_until(page)) << step.line;
        const QImage now = picture(0);
        EXPECT_EQ(now != last, step.changes) << step.device << " " << step.line;
        last = now;
    }
    EXPECT_EQ(cell(0, OnAirView::title_column), QStringLiteral("速報"));
    EXPECT_TRUE(on_air->findChild<QLabel*>()->text().startsWith(QStringLiteral("機器 2  127.0.0.1:")));

    // Device 2 goes: the list and the view let go of its channel before it is deleted.
    devices[1].disconnectFromHost();
    ASSERT_TRUE(wait_until([&] { return on_air->devices()->rowCount() == 2; }));
    EXPECT_EQ(on_air->shown_device(), 1);
    EXPECT_EQ(&on_air->view()->model(), &link.model());
    say(3, "P02T03");
    ASSERT_TRUE(wait_until([&] { return on_air->devices()->item(1, 3)->text() == QStringLiteral("03"); }));
}

}  // namespace
}  // namespace tqv::test
