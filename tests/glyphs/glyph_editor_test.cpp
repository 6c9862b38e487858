// The glyph editor: drawing with the mouse on the dot grid, what repaints, the clear
// command, the number choice and what each button sends.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/message_boxes.h"
#include "glyph_fixture.h"

namespace tqv::test {
namespace {

class GlyphEditorTest : public GlyphTest {
  protected:
    void press(Qt::MouseButton b, QPoint p) { QTest::mousePress(editor->grid(), b, {}, p); }
    void release(Qt::MouseButton b, QPoint p) { QTest::mouseRelease(editor->grid(), b, {}, p); }
    void move(QPoint p) { QTest::mouseMove(editor->grid(), p); }
    void click(Qt::MouseButton b, QPoint p) {
        press(b, p);
        release(b, p);
    }
    int paints() {
        QCoreApplication::processEvents();
        return editor->grid()->paint_count();
    }
    GlyphEditorDialog* editor = nullptr;
};

TEST_F(GlyphEditorTest, OpensOnTheStoredGlyphAndTakesOverAnswers) {
    model.glyph_index = 4;
    set_glyph_dot(model.glyph_data[4], 3, 5, true);
    model.glyph_data[4][577] = 'X';  // the spare characters travel with the glyph
    model.slave_address_index = 7;
    model.selected_peer = -1;
    editor = open_editor();
    ASSERT_NE(editor, nullptr);

    EXPECT_EQ(editor->windowTitle().toStdString(), "外字登録");
    EXPECT_EQ(model.glyph_answer, model.glyph_data[4]);
    EXPECT_EQ(context.windows.notify_window.data(), static_cast<QWidget*>(editor));
    EXPECT_EQ(editor->number_list()->count(), 28);
    EXPECT_EQ(editor->number_list()->itemText(27).toStdString(), "28");
    EXPECT_EQ(editor->number_list()->currentText().toStdString(), "05");
    EXPECT_EQ(editor->slave_address_list()->currentText().toStdString(), "07");
    EXPECT_EQ(editor->sample_edit()->maxLength(), 2);
    EXPECT_EQ(editor->grid()->size(), QSize(480, 384));

    // The grid shows the bitmap: dot row 3, column 5 lit, its neighbour dark with an outline.
    EXPECT_EQ(pixel(editor->grid(), 5 * 10 + 5, 3 * 8 + 4), kWhite);
    EXPECT_EQ(pixel(editor->grid(), 6 * 10 + 5, 3 * 8 + 4), kBlue);
    EXPECT_EQ(pixel(editor->grid(), 6 * 10, 3 * 8 + 4), kBlack);
}

TEST_F(GlyphEditorTest, TheDotUnderThePointerChanges) {
    editor = open_editor();
    click(Qt::LeftButton, {10, 8});
    EXPECT_EQ(model.glyph_answer[12], '4') << "row 1, column 1";
    EXPECT_EQ(model.glyph_data[0][12], '4') << "stored at once";
    EXPECT_EQ(model.glyph_edited, 1);
    EXPECT_EQ(pixel(editor->grid(), 15, 12), kWhite);

    click(Qt::LeftButton, {469, 375});
    EXPECT_EQ(model.glyph_answer[563], '2') << "row 46, column 46";
    EXPECT_EQ(pixel(editor->grid(), 465, 371), kWhite);

    click(Qt::RightButton, {12, 9});
    EXPECT_EQ(model.glyph_answer[12], '0');
    EXPECT_EQ(pixel(editor->grid(), 15, 12), kBlue);
}

TEST_F(GlyphEditorTest, TheOuterRingCannotBeDrawnButAClickCountsAsAnEdit) {
    editor = open_editor();
    const GlyphRecord before = model.glyph_answer;
    for (QPoint p : {QPoint(9, 100), QPoint(470, 100), QPoint(100, 7), QPoint(100, 376)}) {
        click(Qt::LeftButton, p);
    }
    EXPECT_EQ(model.glyph_answer, before);
    EXPECT_EQ(model.glyph_edited, 1);
}

TEST_F(GlyphEditorTest, OnlyAChangedDotRepaints) {
    editor = open_editor();
    const int start = paints();
    press(Qt::LeftButton, {15, 12});
    EXPECT_EQ(paints(), start + 1);
    move({25, 12});
    EXPECT_EQ(paints(), start + 2);
    EXPECT_TRUE(glyph_dot(model.glyph_answer, 1, 2));
    // Back over dots already lit, and outside the grid: nothing to paint.
    move({15, 12});
    move({18, 14});
    move({600, 12});
    EXPECT_EQ(paints(), start + 2);
    release(Qt::LeftButton, {600, 12});
    // Without a button held a move draws nothing.
    move({35, 12});
    EXPECT_FALSE(glyph_dot(model.glyph_answer, 1, 3));

    // With both buttons held the dot under the pointer ends dark.
    press(Qt::LeftButton, {45, 20});
    press(Qt::RightButton, {45, 20});
    move({25, 12});
    EXPECT_FALSE(glyph_dot(model.glyph_answer, 1, 2));
    release(Qt::RightButton, {25, 12});
    move({35, 12});
    EXPECT_TRUE(glyph_dot(model.glyph_answer, 1, 3)) << "the left button still draws";
    release(Qt::LeftButton, {35, 12});
}

TEST_F(GlyphEditorTest, ClearAsksOnlyAfterAnEdit) {
    set_glyph_dot(model.glyph_data[0], 10, 10, true);
    editor = open_editor();
    editor->clear_button()->click();
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(glyph_digits(0), std::string(576, '0'));
    EXPECT_EQ(pixel(editor->grid(), 105, 84), kBlue);

    click(Qt::LeftButton, {105, 84});
    ui.answers = {false};
    editor->clear_button()->click();
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "データを保存せずにクリアしますか？");
    EXPECT_EQ(ui.questions[0].caption, "新規作成");
    EXPECT_TRUE(glyph_dot(model.glyph_answer, 10, 10)) << "No keeps the bitmap";
    EXPECT_TRUE(glyph_dot(model.glyph_data[0], 10, 10));
    EXPECT_EQ(model.glyph_edited, 1);

    editor->clear_button()->click();  // Yes
    EXPECT_FALSE(glyph_dot(model.glyph_data[0], 10, 10));
    EXPECT_EQ(model.glyph_edited, 0);

    // A read waiting for its answer holds the clear off.
    click(Qt::LeftButton, {105, 84});
    model.glyph_request_pending = 1;
    editor->clear_button()->click();
    EXPECT_TRUE(glyph_dot(model.glyph_answer, 10, 10));
}

TEST_F(GlyphEditorTest, ANewNumberKeepsThePictureAndTheNextDotStoresItThere) {
    set_glyph_dot(model.glyph_data[0], 5, 5, true);
    editor = open_editor();
    editor->number_list()->setCurrentIndex(11);
    EXPECT_EQ(model.glyph_index, 11);
    EXPECT_TRUE(glyph_dot(model.glyph_answer, 5, 5));
    EXPECT_EQ(glyph_digits(11), std::string(576, '0'));

    click(Qt::LeftButton, {205, 84});
    EXPECT_TRUE(glyph_dot(model.glyph_data[11], 5, 5));
    EXPECT_TRUE(glyph_dot(model.glyph_data[11], 10, 20));
    EXPECT_FALSE(glyph_dot(model.glyph_data[0], 10, 20));
}

TEST_F(GlyphEditorTest, RegisterAndReadSendTheSelectedNumber) {
    model.glyph_index = 8;
    set_glyph_dot(model.glyph_data[8], 0, 0, true);
    editor = open_editor();
    editor->register_button()->click();
    ASSERT_EQ(wire.frames.size(), 1u);
    EXPECT_EQ(wire.frames[0], "00GR09" + glyph_digits(8) + "\r\n");
    EXPECT_EQ(wire.frames[0].substr(6, 1), "8");
    EXPECT_EQ(model.glyph_request_pending, 0) << "a register waits for nothing";

    wire.frames.clear();
    editor->number_list()->setCurrentIndex(0);
    editor->read_button()->click();
    editor->read_button()->click();  // dropped: the first read waits for its answer
    EXPECT_EQ(wire.frames, std::vector<std::string>{"00RFBMA365\r\n"});
    EXPECT_EQ(model.glyph_request_pending, 1);

    // Closing ends the wait.
    editor->close_button()->click();
    EXPECT_EQ(model.glyph_request_pending, 0);
    EXPECT_FALSE(editor->isVisible());
}

TEST_F(GlyphEditorTest, TheSampleIsAGlyphNumberOrOneCharacter) {
    model.glyph_index = 2;
    editor = open_editor();
    editor->sample_edit()->setText(QStringLiteral("28"));
    EXPECT_EQ(editor->sample_text(), "28");
    editor->sample_read_button()->click();
    EXPECT_EQ(wire.frames, std::vector<std::string>{"00RFBMBB22\r\n"});
    EXPECT_EQ(model.glyph_index, 27);
    EXPECT_EQ(editor->number_list()->currentText().toStdString(), "28") << "the number 登録 uses";

    model.glyph_request_pending = 0;
    wire.frames.clear();
    editor->sample_edit()->setText(QStringLiteral("　"));  // full-width space, 0x8140
    EXPECT_EQ(editor->sample_text(), "\x81\x40");
    editor->sample_read_button()->click();
    EXPECT_EQ(wire.frames, std::vector<std::string>{"00RFBM2121\r\n"});

    // One byte is no sample: reported, nothing sent, nothing waits.
    model.glyph_request_pending = 0;
    wire.frames.clear();
    editor->sample_edit()->setText(QStringLiteral("1"));
    EXPECT_EQ(editor->sample_text(), "");
    editor->sample_read_button()->click();
    EXPECT_TRUE(wire.frames.empty());
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"外字登録番号"});
    EXPECT_EQ(model.glyph_request_pending, 0);
}

TEST_F(GlyphEditorTest, AGlyphAnswerShowsAtOnce) {
    model.glyph_index = 3;
    editor = open_editor();
    editor->read_button()->click();
    ASSERT_EQ(wire.frames, std::vector<std::string>{"00RFBMA368\r\n"});

    GlyphRecord answer = blank_glyph();
    set_glyph_dot(answer, 20, 30, true);
    const int before = paints();
    link.dispatcher().serial_receive("00FBMA368" + std::string(answer.data(), kGlyphDigits) +
                                     "\r\n");
    EXPECT_TRUE(glyph_dot(model.glyph_answer, 20, 30));
    EXPECT_TRUE(glyph_dot(model.glyph_data[3], 20, 30));
    EXPECT_EQ(model.glyph_request_pending, 0);

    // The program's Ui repaints the window that receives answers: the grid shows the glyph.
    MessageBoxUi boxes;
    boxes.show_over(&context.windows);
    boxes.repaint_notify();
    EXPECT_GT(paints(), before);
    EXPECT_EQ(pixel(editor->grid(), 305, 164), kWhite);
}

TEST_F(GlyphEditorTest, AReadAsksFirstWhenItWouldOverwriteAnUnsavedGlyph) {
    editor = open_editor();
    // The slot left unsaved (-1: none), the sample ("": the 登録番号 read), Yes, the frame.
    const std::tuple<int, const char*, bool, std::string> cases[] = {
        {-1, "", false, "00RFBMA368\r\n"},
        {3, "", false, ""},
        {4, "05", false, ""},
        {4, "05", true, "00RFBMBA69\r\n"}};
    for (const auto& [unsaved, sample, yes, frame] : cases) {
        model.glyph_index = 3;
        model.mark_glyph_unsaved(unsaved);
        wire.frames.clear();
        ui.clear();
        ui.answers = {yes};
        editor->sample_edit()->setText(QString::fromUtf8(sample));
        (*sample ? editor->sample_read_button() : editor->read_button())->click();
        EXPECT_EQ(ui.questions.size(), unsaved >= 0 ? 1u : 0u) << sample;
        EXPECT_EQ(wire.frames.empty() ? "" : wire.frames[0], frame) << sample;
        model.glyph_request_pending = 0;
    }
    EXPECT_EQ(model.glyph_index, 4) << "the sample's number, once the read was agreed";
}

}  // namespace
}  // namespace tqv::test
