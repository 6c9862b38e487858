// The glyph list: previews and groups, the editor on a double-clicked glyph, the bulk
// register and read of glyph numbers 01..28, the list file and the picture export.
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

#include "core/texts.h"
#include "glyph_fixture.h"

namespace tqv::test {
namespace {

class GlyphListTest : public GlyphTest {
  protected:
    void double_click(Qt::MouseButton b, QPoint p) {
        QTest::mouseDClick(list->preview_panel(), b, {}, p);
    }
    GlyphEditorDialog* editor() const { return list->findChild<GlyphEditorDialog*>(); }
    static QByteArray read_bytes(const std::string& path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static std::uint32_t u32(const QByteArray& b, int at) {
        std::uint32_t v = 0;
        for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<std::uint8_t>(b[at + k]);
        return v;
    }
    GlyphListDialog* list = nullptr;
};

TEST_F(GlyphListTest, OpensOnTheRememberedGroup) {
    model.glyph_group = 1;
    model.glyph_answer[0] = 'F';
    model.slave_address_index = 3;
    model.selected_peer = -1;
    set_glyph_dot(model.glyph_data[15], 0, 0, true);
    list = open_list();
    ASSERT_NE(list, nullptr);

    EXPECT_EQ(list->windowTitle().toStdString(), "外字一覧（大文字）");
    EXPECT_EQ(model.glyph_answer, blank_glyph());
    EXPECT_EQ(context.windows.notify_window.data(), static_cast<QWidget*>(list));
    EXPECT_EQ(list->group_list()->count(), 2);
    EXPECT_EQ(list->group_list()->itemText(0).toStdString(), "No. 1～14");
    EXPECT_EQ(list->group_list()->currentText().toStdString(), "No.15～28");
    EXPECT_EQ(list->number_box(0)->text().toStdString(), "No.15");
    EXPECT_EQ(list->number_box(13)->text().toStdString(), "No.28");
    EXPECT_TRUE(list->slave_address_list()->isEnabled());
    EXPECT_EQ(list->slave_address_list()->currentText().toStdString(), "03");
    EXPECT_EQ(list->slave_address_list()->accessibleName().toStdString(), "スレーブアドレス");
    EXPECT_EQ(list->progress()->maximum(), 28);  // glyphs, as the percentage counts

    // Preview 1 of group 1 is glyph slot 15: its first dot white, the next black.
    EXPECT_EQ(list->preview(1)->size(), QSize(96, 96));
    EXPECT_EQ(pixel(list->preview(1), 0, 0), kWhite);
    EXPECT_EQ(pixel(list->preview(1), 1, 1), kWhite);
    EXPECT_EQ(pixel(list->preview(1), 2, 0), kBlack);

    list->group_list()->setCurrentIndex(0);
    EXPECT_EQ(model.glyph_group, 0);
    EXPECT_EQ(list->number_box(6)->text().toStdString(), "No.7");
    EXPECT_EQ(pixel(list->preview(1), 0, 0), kBlack);
}

TEST_F(GlyphListTest, TheListAddressesItsCommandsAsEveryDialogDoes) {
    model.slave_address_index = 5;
    list = open_list();
    EXPECT_TRUE(list->slave_address_list()->isEnabled());
    list->read_button()->click();
    list->tick();
    EXPECT_EQ(wire.frames, std::vector<std::string>{"05RFBMBA65\r\n"});
    list->close();

    model.interface_kind = 1;
    list = open_list();
    EXPECT_FALSE(list->slave_address_list()->isEnabled());
}

TEST_F(GlyphListTest, ABulkReadAsksFirstWhenGlyphs01To28AreNotSaved) {
    list = open_list();
    for (int unsaved : {28, 27}) {  // glyph 29, which is not read, then glyph 28
        model.mark_glyph_unsaved(unsaved);
        ui.clear();
        ui.answers = {false};
        list->read_button()->click();
        EXPECT_EQ(ui.questions.size(), unsaved == 27 ? 1u : 0u);
        EXPECT_EQ(model.glyph_bulk_active, unsaved == 27 ? 0 : 1) << "No reads nothing";
        list->stop_button()->click();
    }
    EXPECT_EQ(ui.questions.at(0).text,
              "保存していない外字データがあります。リードで上書きしますか？");
}

TEST_F(GlyphListTest, ThePreviewsAndTheEditorsGridAnswerTheKeyboard) {
    model.glyph_group = 1;
    list = open_list();
    QApplication::setActiveWindow(list);
    list->preview(0)->setFocus();
    const std::pair<Qt::Key, int> moves[] = {
        {Qt::Key_Right, 1}, {Qt::Key_Down, 8}, {Qt::Key_Down, 8}, {Qt::Key_End, 13}};
    for (auto [key, cell] : moves) {
        QTest::keyClick(list->focusWidget(), key);
        EXPECT_EQ(list->focusWidget(), list->preview(cell)) << key;
    }
    QTest::keyClick(list->preview(13), Qt::Key_Return);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(model.glyph_index, 27);

    // The editor's grid: arrows move within the drawable dots, Space toggles one.
    QApplication::setActiveWindow(editor());
    for (Qt::Key k :
         {Qt::Key_Left, Qt::Key_Space, Qt::Key_Right, Qt::Key_Down, Qt::Key_Space, Qt::Key_Space})
        QTest::keyClick(editor()->grid(), k);
    EXPECT_TRUE(glyph_dot(model.glyph_data[27], 1, 1));
    EXPECT_FALSE(glyph_dot(model.glyph_data[27], 2, 2));
    EXPECT_EQ(editor()->grid()->accessibleDescription().toStdString(), "行 2, 列 2: 消灯");
    editor()->close_button()->click();

    // The menu key offers the editor and the picture export.
    QContextMenuEvent menu_key(QContextMenuEvent::Keyboard, {}, {});
    QApplication::sendEvent(list->preview(2), &menu_key);
    auto* menu = list->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    menu->actions().at(1)->trigger();
    EXPECT_EQ(files.bitmap_names, std::vector<std::string>{"gl17.bmp"});
}

TEST_F(GlyphListTest, ADoubleClickOnAPreviewOpensTheEditorOnItsGlyph) {
    set_glyph_dot(model.glyph_data[0], 2, 2, true);
    list = open_list();
    double_click(Qt::LeftButton, {107, 50});  // between two previews
    double_click(Qt::LeftButton, {50, 130});  // between the rows
    EXPECT_EQ(editor(), nullptr);

    double_click(Qt::LeftButton, {12, 11});  // the first pixel of the first preview
    GlyphEditorDialog* e = editor();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(model.glyph_index, 0);
    EXPECT_TRUE(glyph_dot(model.glyph_answer, 2, 2));
    EXPECT_EQ(context.windows.notify_window.data(), static_cast<QWidget*>(e));

    // A dot drawn in the editor shows in the list once the editor closes, and answers
    // belong to the list again.
    QTest::mouseClick(e->grid(), Qt::LeftButton, {}, {45, 20});
    model.glyph_request_pending = 1;
    e->close_button()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(model.glyph_request_pending, 0);
    EXPECT_EQ(context.windows.notify_window.data(), static_cast<QWidget*>(list));
    EXPECT_EQ(pixel(list->preview(0), 8, 4), kWhite);

    list->group_list()->setCurrentIndex(1);
    double_click(Qt::LeftButton, {12, 158});  // bottom-left preview of "No.15～28"
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(model.glyph_index, 21);
    EXPECT_EQ(editor()->number_list()->currentText().toStdString(), "22");
    editor()->close_button()->click();
}

TEST_F(GlyphListTest, ABulkRegisterSendsGlyphs01To28InOrder) {
    for (int slot = 0; slot < 28; ++slot) set_glyph_dot(model.glyph_data[slot], 0, slot, true);
    list = open_list();
    wire.on_write = [this](std::string_view) { link.dispatcher().dispatch_serial("00GO\r\n"); };
    list->register_button()->click();
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "本機が自動切換えでない事を確認してください");
    ASSERT_TRUE(list->pacing_timer().isActive());
    EXPECT_EQ(list->pacing_timer().interval(), 2000);
    EXPECT_EQ(model.glyph_bulk_active, 1);

    // The file and transfer buttons wait while the transfer runs, and look it.
    EXPECT_FALSE(list->open_button()->isEnabled());
    EXPECT_TRUE(list->stop_button()->isEnabled());
    model.glyph_edited = 1;
    list->clear_button()->click();
    list->read_button()->click();
    list->register_button()->click();
    EXPECT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(glyph_digits(5).substr(0, 2), "04");

    for (int n = 1; n <= 27; ++n) list->tick();
    EXPECT_EQ(list->percent_box()->text().toStdString(), " 96.4");
    EXPECT_EQ(list->progress()->value(), 27);
    list->tick();
    ASSERT_EQ(wire.frames.size(), 28u);
    for (int slot = 0; slot < 28; ++slot) {
        const std::string number = (slot < 9 ? "0" : "") + std::to_string(slot + 1);
        EXPECT_EQ(wire.frames[slot], "00GR" + number + glyph_digits(slot) + "\r\n");
    }
    EXPECT_EQ(list->percent_box()->text().toStdString(), "   ");
    EXPECT_EQ(list->progress()->value(), 0);
    EXPECT_FALSE(list->pacing_timer().isActive());
    EXPECT_EQ(model.glyph_index, 0);
    EXPECT_EQ(model.glyph_bulk_active, 0);
}

TEST_F(GlyphListTest, ABulkReadWaitsForEachAnswer) {
    list = open_list();
    list->read_button()->click();
    ASSERT_TRUE(list->pacing_timer().isActive());
    EXPECT_EQ(list->pacing_timer().interval(), 400);
    for (int i = 0; i < 3; ++i) list->tick();
    EXPECT_EQ(wire.frames, std::vector<std::string>{"00RFBMBA65\r\n"});
    EXPECT_EQ(list->progress()->value(), 0) << "the bar counts glyphs";
    EXPECT_EQ(list->percent_box()->text().toStdString(), " 00.0");

    // A double click would move the transfer's counter: the editor is refused, and says so.
    double_click(Qt::LeftButton, {12, 11});
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kEditorDuringTransfer});
    EXPECT_EQ(model.glyph_index, 0);

    GlyphRecord answer = blank_glyph();
    set_glyph_dot(answer, 47, 47, true);
    link.dispatcher().serial_receive("00FBMBA65" + std::string(answer.data(), kGlyphDigits) +
                                     "\r\n");
    EXPECT_TRUE(glyph_dot(model.glyph_data[0], 47, 47));
    list->tick();
    EXPECT_EQ(wire.frames.back(), "00RFBMBA66\r\n");
    EXPECT_EQ(list->percent_box()->text().toStdString(), " 03.5");

    // Closing ends the transfer and the wait.
    list->close_button()->click();
    EXPECT_FALSE(list->pacing_timer().isActive());
    EXPECT_EQ(model.glyph_bulk_active, 0);
    EXPECT_EQ(model.glyph_request_pending, 0);
}

TEST_F(GlyphListTest, TheListFileRoundTripsThroughTheDialogs) {
    set_glyph_dot(model.glyph_data[3], 0, 0, true);
    set_glyph_dot(model.glyph_data[69], 47, 47, true);
    list = open_list();
    const std::string saved = file("glyphs");
    files.glyph_saves = {saved};
    list->save_as_button()->click();
    EXPECT_EQ(files.glyph_save_calls, 1);
    EXPECT_EQ(model.glyph_list_path, saved + ".tll");
    const QByteArray bytes = read_bytes(saved + ".tll");
    EXPECT_EQ(bytes.size(), 120960);
    EXPECT_EQ(bytes.mid(3 * 1728, 3), QByteArray("8\r\n")) << "glyph 04, first digit";

    list->clear_button()->click();  // nothing drawn since: no question
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(glyph_digits(3), std::string(576, '0'));
    EXPECT_TRUE(model.glyph_list_path.empty());
    EXPECT_EQ(pixel(list->preview(3), 0, 0), kBlack);

    files.glyph_opens = {std::nullopt, saved + ".tll"};
    list->open_button()->click();  // cancelled
    EXPECT_EQ(glyph_digits(3), std::string(576, '0'));
    list->open_button()->click();
    EXPECT_TRUE(glyph_dot(model.glyph_data[3], 0, 0));
    EXPECT_TRUE(glyph_dot(model.glyph_data[69], 47, 47));
    EXPECT_EQ(model.glyph_list_path, saved + ".tll");
    EXPECT_EQ(pixel(list->preview(3), 0, 0), kWhite) << "the previews show the file";

    // Save writes to the same file; with no file it warns.
    set_glyph_dot(model.glyph_data[3], 0, 1, true);
    list->save_button()->click();
    EXPECT_EQ(read_bytes(saved + ".tll").mid(3 * 1728, 1), QByteArray("C"));
    model.glyph_list_path.clear();
    list->save_button()->click();
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Don't file open"});
}

TEST_F(GlyphListTest, ClosingWithUnsavedGlyphsAsksFirst) {
    list = open_list();
    model.glyph_list_dirty = 1;
    ui.answers = {false, true};  // No: save, but there is no file name and save-as is cancelled
    list->close_button()->click();
    EXPECT_TRUE(list->isVisible());
    list->close_button()->click();
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(ui.questions.at(1).text, "外字データを保存せずに閉じますか？");
    EXPECT_EQ(model.glyph_list_dirty, 1) << "Yes leaves them unsaved, still in the program";
}

TEST_F(GlyphListTest, ARightDoubleClickExportsThePreviewAsABitmap) {
    model.glyph_group = 1;
    set_glyph_dot(model.glyph_data[16], 0, 0, true);  // glyph 17: third preview of group 1
    list = open_list();

    files.bitmap_saves = {std::nullopt};
    double_click(Qt::RightButton, {12 + 2 * 114, 11});
    ASSERT_EQ(files.bitmap_titles.size(), 1u);
    EXPECT_EQ(files.bitmap_titles[0], "外字登録番号17をbmpファイルで保存");
    EXPECT_EQ(files.bitmap_names[0], "gl17.bmp");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()) << "cancel writes nothing";

    files.bitmap_saves = {file("seventeen")};
    double_click(Qt::RightButton, {12 + 2 * 114 + 50, 60});
    const QByteArray bmp = read_bytes(file("seventeen.bmp"));
    ASSERT_EQ(bmp.size(), 54 + 288 * 96);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(u32(bmp, 2), 54u + 288u * 96u);
    EXPECT_EQ(u32(bmp, 10), 54u);
    EXPECT_EQ(u32(bmp, 18), 96u);
    EXPECT_EQ(u32(bmp, 22), 96u);
    // Rows bottom-up: the lit top-left dot is in the last stored row.
    const int top_row = 54 + 95 * 288;
    EXPECT_EQ(bmp.mid(top_row, 6), QByteArray(6, '\xFF'));
    EXPECT_EQ(bmp.mid(top_row + 6, 3), QByteArray(3, '\0'));
    EXPECT_EQ(bmp.mid(54, 3), QByteArray(3, '\0'));

    // No export while a read waits for its answer.
    model.glyph_request_pending = 1;
    double_click(Qt::RightButton, {12, 11});
    EXPECT_EQ(files.bitmap_save_calls, 2);
}

}  // namespace
}  // namespace tqv::test
