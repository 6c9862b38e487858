// The glyph insertion dialog: the choices it shares with the title dialogs, the command its
// "設定" sends, Enter as Close, and one insertion on the simulated device over a real serial
// link.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>

#include "app/menu_commands.h"
#include "serial_simulator.h"
#include "app_fixture.h"
#include "fake_transport.h"
#include "glyphs/glyph_insert_dialog.h"

namespace tqv::test {
namespace {

using Frames = std::vector<std::string>;

class GlyphInsertTest : public DialogTest {
  protected:
    GlyphInsertDialog* open() {
        window->run_command(command::kGlyphInsert);
        return opener.last<GlyphInsertDialog>();
    }
};

TEST_F(GlyphInsertTest, OpeningShowsTheStoredChoicesAndSetSendsThem) {
    model.selected_title_line = 3;
    model.selected_page = 63;
    model.glyph_index = 4;
    model.insert_position = 13;

    GlyphInsertDialog* dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "外字挿入");
    EXPECT_EQ(context.windows.notify_window.data(), static_cast<QWidget*>(dialog));
    struct Expected {
        const char* name;
        QComboBox* list;
        int count;
        const char* first;
        const char* shown;
    };
    for (const Expected& e : {Expected{"Channel Number", dialog->line_list(), 4, "ch1. Top",
                                       "ch.2 Bottom"},
                              Expected{"Page Number", dialog->page_list(), 64, "01", "64"},
                              Expected{"外字登録番号", dialog->glyph_list(), 28, "01", "05"},
                              Expected{"挿入位置", dialog->position_list(), 14, "01", "14"}}) {
        ASSERT_EQ(list_named(*dialog, e.name), e.list) << e.name;
        EXPECT_EQ(qobject_cast<QGroupBox*>(e.list->parentWidget())->title().toStdString(), e.name);
        EXPECT_EQ(e.list->count(), e.count) << e.name;
        EXPECT_EQ(e.list->itemText(0).toStdString(), e.first) << e.name;
        EXPECT_EQ(e.list->currentText().toStdString(), e.shown) << e.name;
    }
    EXPECT_TRUE(wire.frames.empty());
    dialog->set_button()->click();
    EXPECT_EQ(wire.frames, (Frames{"00G05C02B64I14\r\n"}));

    for (QComboBox* list : {dialog->line_list(), dialog->page_list(), dialog->glyph_list(),
                            dialog->position_list()})
        list->setCurrentIndex(0);
    dialog->slave_address_list()->setCurrentIndex(kBroadcastIndex);
    EXPECT_EQ(wire.frames.size(), 1u) << "a choice alone sends nothing";
    dialog->set_button()->click();
    EXPECT_EQ(wire.frames.back(), "FFG01C01T01I01\r\n");
    EXPECT_EQ(model.document_dirty, 0) << "the program's titles are not changed";
}

// The title line and page are shared with the title dialogs; the insertion position is this
// dialog's own and survives "new".
TEST_F(GlyphInsertTest, ChoicesCarryOverBetweenDialogs) {
    GlyphInsertDialog* dialog = open();
    dialog->line_list()->setCurrentIndex(2);
    dialog->page_list()->setCurrentIndex(16);
    dialog->glyph_list()->setCurrentIndex(27);
    dialog->position_list()->setCurrentIndex(6);
    dialog->slave_address_list()->setCurrentIndex(9);
    EXPECT_EQ(model.selected_title_line, 2);
    EXPECT_EQ(model.selected_page, 16);
    EXPECT_EQ(model.glyph_index, 27);
    EXPECT_EQ(model.insert_position, 6);
    EXPECT_EQ(model.document_dirty, 0) << "none of these choices is in the document";
    dialog->close();

    window->run_command(command::kNew);
    dialog = open();
    EXPECT_EQ(dialog->line_list()->currentText().toStdString(), "ch.2 Top");
    EXPECT_EQ(dialog->page_list()->currentText().toStdString(), "01") << "new starts at page 01";
    EXPECT_EQ(dialog->position_list()->currentText().toStdString(), "07");
    dialog->close();

    dialog->page_list()->setCurrentIndex(9);
    dialog->close();

    // The title display dialog starts from the page chosen here, and hands its own choice
    // back.
    window->run_command(command::kTitleDisplay);
    ASSERT_FALSE(opener.opened.empty());
    QDialog* display = opener.opened.back();
    ASSERT_EQ(qobject_cast<GlyphInsertDialog*>(display), nullptr) << "no title display dialog";
    QComboBox* display_pages = list_named(*display, "Page Number");
    QComboBox* display_lines = list_named(*display, "Channel Number");
    ASSERT_NE(display_pages, nullptr);
    ASSERT_NE(display_lines, nullptr);
    EXPECT_EQ(display_pages->currentText().toStdString(), "10");
    EXPECT_EQ(display_lines->currentText().toStdString(), "ch.2 Top");
    display_pages->setCurrentIndex(40);
    display_lines->setCurrentIndex(1);
    display->close();

    dialog = open();
    EXPECT_EQ(dialog->page_list()->currentText().toStdString(), "41");
    EXPECT_EQ(dialog->line_list()->currentText().toStdString(), "ch.1 Bottom");
    dialog->set_button()->click();
    EXPECT_EQ(wire.frames, (Frames{"00G28C01B41I07\r\n"}));
}

TEST_F(GlyphInsertTest, AGlyphNumberNoListShowsIsNotSentUnseen) {
    model.glyph_index = 40;  // chosen in the glyph list, which has 70 slots
    GlyphInsertDialog* dialog = open();
    EXPECT_EQ(dialog->glyph_list()->currentIndex(), -1);
    EXPECT_FALSE(dialog->set_button()->isEnabled());
    EXPECT_EQ(model.glyph_index, 40) << "opening does not change the glyph list's choice";

    dialog->glyph_list()->setCurrentIndex(2);
    ASSERT_TRUE(dialog->set_button()->isEnabled());
    dialog->set_button()->click();
    EXPECT_EQ(wire.frames, (Frames{"00G03C01T01I01\r\n"}));
}

TEST_F(GlyphInsertTest, EnterClosesWithoutSending) {
    GlyphInsertDialog* dialog = open();
    int result = -1;
    QObject::connect(dialog, &QDialog::finished, [&](int r) { result = r; });
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    // From the list the operator last used: the key goes on to the dialog.
    QApplication::sendEvent(dialog->position_list(), &enter);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(wire.frames.empty());
    EXPECT_EQ(context.windows.notify_window.data(), nullptr);
}

TEST_F(GlyphInsertTest, InsertionReachesTheSimulatedDevice) {
#ifndef TQV_SIM_PATH
    GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
#else
    link.send_path().set_serial_transport(&link.serial());  // the real port, not the recorder
    SerialSimulator sim;
    ASSERT_TRUE(sim.open(link)) << sim.error;

    GlyphInsertDialog* dialog = open();
    dialog->line_list()->setCurrentIndex(3);
    dialog->page_list()->setCurrentIndex(63);
    dialog->glyph_list()->setCurrentIndex(4);
    dialog->position_list()->setCurrentIndex(13);
    ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
        ui.on_box = done;
        dialog->set_button()->click();
    })) << "no answer from the simulated device";
    ui.on_box = nullptr;

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Success") << "the device took the insertion";
    const std::string logged = sim.logged();
    EXPECT_NE(logged.find(" < 00G05C02B64I14\\r\\n"), std::string::npos) << logged;
#endif
}

}  // namespace
}  // namespace tqv::test
