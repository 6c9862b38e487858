// The title dialog: what it shows, what typing stores, which bytes "設定" / "Not Memory"
// send, and the 256-step runs of "全設定" and "NM全設定".
#include "settings/title_dialog.h"

#include <QAccessible>
#include <QInputMethodEvent>
#include <QLabel>

#include "core/codec.h"
#include "core/texts.h"
#include "dialogs/dialog_parts.h"
#include "settings_fixture.h"

namespace tqv::test {
namespace {

using namespace command;

std::string sjis(const char* utf8) { return utf8_to_cp932(utf8).value(); }

class TitleDialogTest : public SettingsTest {
  protected:
    TitleDialog* open_titles() { return open<TitleDialog>(kTitleSetting); }
    std::string slot(int line, int page) const { return slot_text(model.title(line, page)); }
};

TEST_F(TitleDialogTest, OpeningShowsTheChosenTitleAndItsGroupOfSixteenPages) {
    model.selected_title_line = 2;
    model.selected_page = 39;
    set_slot_text(model.title(2, 39), sjis("日本語"));
    // A title read back from the device with glyph 01 in front.
    set_slot_text(model.title(2, 32), "\x10\x20" + sjis("あ"));
    model.document_dirty = 0;

    TitleDialog* d = open_titles();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle().toStdString(), "タイトル設定");
    EXPECT_EQ(d->line_list()->accessibleName().toStdString(), "Channel Number");
    EXPECT_EQ(d->line_list()->currentText().toStdString(), "ch.2 Top");
    EXPECT_EQ(d->page_list()->currentText().toStdString(), "40");
    EXPECT_EQ(d->title_edit()->accessibleName().toStdString(), "Title");
    EXPECT_EQ(d->title_edit()->text().toStdString(), "日本語");
    EXPECT_TRUE(d->title_edit()->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(d->slave_address_list()->accessibleName().toStdString(), "Slave Address");
    EXPECT_EQ(d->bulk().progress_bar()->maximum(), 256);

    ASSERT_EQ(d->cells()->count(), 16);
    EXPECT_EQ(d->cells()->cell_text(0).toStdString(), "Page33=　あ") << "glyph shown as a blank";
    EXPECT_EQ(d->cells()->cell_text(7).toStdString(), "Page40=日本語");

    // Choosing another line or page shows its title; neither is an edit of a title.
    d->page_list()->setCurrentIndex(0);
    EXPECT_EQ(model.selected_page, 0);
    EXPECT_EQ(d->title_edit()->text().toStdString(), "");
    EXPECT_EQ(d->cells()->cell_text(0).toStdString(), "Page01=");
    d->line_list()->setCurrentIndex(1);
    EXPECT_TRUE(d->close());
    EXPECT_EQ(model.document_dirty, 0) << "opening and closing without typing changes nothing";
}

TEST_F(TitleDialogTest, TypingStoresCodePage932AndMarksTheDocument) {
    model.document_dirty = 0;
    TitleDialog* d = open_titles();
    type(d->title_edit(), QStringLiteral("あ"));
    EXPECT_EQ(slot(0, 0), sjis("あ"));
    EXPECT_EQ(model.document_dirty, 1);
    EXPECT_EQ(d->cells()->cell_text(0).toStdString(), "Page01=あ");

    // What the input method commits goes the same way.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("漢字"));
    QCoreApplication::sendEvent(d->title_edit(), &commit);
    EXPECT_EQ(slot(0, 0), sjis("あ漢字"));
}

TEST_F(TitleDialogTest, TextSetByAssistiveTechnologyOrAProgramIsTakenAsTyping) {
    TitleDialog* d = open_titles();
    // Assistive technology sets the field's text as a program does (QLineEdit::setText).
    QAccessible::queryAccessibleInterface(d->title_edit())
        ->setText(QAccessible::Value, QStringLiteral("一二三四五六七八九十一二三四五"));
    EXPECT_EQ(slot(0, 0), sjis("一二三四五六七八九十一二三四")) << "28 bytes of 30";
    EXPECT_EQ(d->title_edit()->text().toStdString(), "一二三四五六七八九十一二三四");
    EXPECT_EQ(d->title_note()->text().toStdString(), "タイトルは全角14文字までです（15文字）。");
    EXPECT_EQ(model.document_dirty, 1);
    d->set_button()->click();
    ASSERT_EQ(wire.frames.size(), 1u);
    EXPECT_EQ(wire.frames[0].substr(0, 13), "00CT01T01306C") << "what is sent is what is stored";
}

TEST_F(TitleDialogTest, KeystrokesTheSlotCannotHoldAreRefused) {
    set_slot_text(model.title(0, 0), sjis("一二三四五六七八九十一二三"));  // 13 characters
    TitleDialog* d = open_titles();
    d->title_edit()->end(false);
    type(d->title_edit(), QStringLiteral("AB"));
    EXPECT_EQ(slot(0, 0), sjis("一二三四五六七八九十一二三Ａ")) << "typed in full width: B is a 15th";
    type(d->title_edit(), QStringLiteral("C"));
    key(d->title_edit(), QStringLiteral("あ"));
    EXPECT_EQ(slot(0, 0), sjis("一二三四五六七八九十一二三Ａ"));
    EXPECT_EQ(d->title_edit()->text().toStdString(), "一二三四五六七八九十一二三Ａ");
    EXPECT_EQ(d->title_note()->text().toStdString(), "タイトルは全角14文字までです（15文字）。");

    key(d->title_edit(), QString());            // Backspace
    key(d->title_edit(), QStringLiteral("😀"));  // no code page 932 form
    key(d->title_edit(), QStringLiteral("\u2603"));  // ☃, the same
    EXPECT_EQ(slot(0, 0), sjis("一二三四五六七八九十一二三"));
    EXPECT_EQ(d->title_edit()->text().toStdString(), "一二三四五六七八九十一二三");
    EXPECT_EQ(d->title_note()->text().toStdString(), "送信できない文字があります: 「☃」。");
}

// Half-width letters and katakana turn full width as they are typed, a voiced mark joining
// the letter before it, so that what the field shows can be sent.
TEST_F(TitleDialogTest, HalfWidthTypingTurnsFullWidthAsTyped) {
    TitleDialog* d = open_titles();
    type(d->title_edit(), QStringLiteral("ﾆｭｰｽ ﾊﾟﾝﾀﾞ1"));
    EXPECT_EQ(d->title_edit()->text().toStdString(), "ニュース　パンダ１");
    EXPECT_EQ(slot(0, 0), sjis("ニュース　パンダ１"));
    EXPECT_EQ(d->title_note()->text().toStdString(), "");
    d->set_button()->click();
    ASSERT_EQ(wire.frames.size(), 1u);
    EXPECT_EQ(wire.frames[0], "00CT01T01254B2565213C253921212551257325402331" +
                                  repeat("2121", 5) + "\r\n");
}

TEST_F(TitleDialogTest, APasteThatDoesNotFitKeepsWhatFitsAndSaysSo) {
    set_slot_text(model.title(0, 0), sjis("一二三四五六七八九十一二"));  // 12 characters
    TitleDialog* d = open_titles();
    d->title_edit()->setCursorPosition(1);
    d->title_edit()->insert(QStringLiteral("ab😀cdef"));
    EXPECT_EQ(slot(0, 0), sjis("一ａｂ二三四五六七八九十一二"));
    EXPECT_EQ(d->title_edit()->cursorPosition(), 3);
    EXPECT_EQ(d->title_note()->text().toStdString(),
              "送信できない文字があります: 「😀」。タイトルは全角14文字までです（18文字）。");
}

TEST_F(TitleDialogTest, ATitleWithBytesThatNameNoCharacterStaysEditable) {
    const std::string stuck = "\x85\x40" + sjis("あ");
    set_slot_text(model.title(0, 0), stuck);
    TitleDialog* d = open_titles();
    d->title_edit()->end(false);
    type(d->title_edit(), QStringLiteral("い"));
    EXPECT_EQ(slot(0, 0), stuck + sjis("い")) << "untouched bytes stay as they were";
    d->title_edit()->home(false);
    d->title_edit()->del();
    EXPECT_EQ(slot(0, 0), sjis("あい"));
}

TEST_F(TitleDialogTest, EditingATitleKeepsItsGlyphs) {
    set_slot_text(model.title(0, 0), "\x10\x20" + sjis("あ"));
    TitleDialog* d = open_titles();
    d->title_edit()->end(false);
    type(d->title_edit(), QStringLiteral("い"));
    EXPECT_EQ(slot(0, 0), "\x10\x20" + sjis("あい"));

    d->set_button()->click();
    ASSERT_EQ(wire.frames.size(), 1u);
    EXPECT_EQ(wire.frames[0], "00CT01T01BA6524222424" + repeat("2121", 11) + "\r\n");
}

TEST_F(TitleDialogTest, SingleSendsCarryLineAndPageAndRefuseWhatIsNoJisCharacter) {
    TitleDialog* d = open_titles();
    d->set_button()->click();
    ASSERT_EQ(wire.frames.size(), 1u);
    EXPECT_EQ(wire.frames[0], "00CT01T01" + repeat("2121", 14) + "\r\n")
        << "an empty title goes out as fourteen full-width spaces";

    d->line_list()->setCurrentIndex(3);
    d->page_list()->setCurrentIndex(63);
    d->not_memory_button()->click();
    ASSERT_EQ(wire.frames.size(), 2u);
    EXPECT_EQ(wire.frames[1].substr(0, 9), "00CN02B64");

    // 27 bytes: one half-width letter among full-width characters.
    wire.frames.clear();
    set_slot_text(model.title(3, 63), sjis("一二三四五六七八九十一二三A"));
    d->set_button()->click();
    // Two ASCII letters: an even length, but no JIS character.
    set_slot_text(model.title(3, 63), "AB");
    d->not_memory_button()->click();
    EXPECT_TRUE(wire.frames.empty());
    ASSERT_EQ(ui.boxes.size(), 2u);
    for (const auto& box : ui.boxes) {
        EXPECT_EQ(box.kind, Box::warning);
        EXPECT_EQ(box.text, text::kNotJis);
        EXPECT_EQ(box.caption, "Error");
    }
}

TEST_F(TitleDialogTest, StoreAllRunsOneTitlePerTickAndCannotBeClosedMeanwhile) {
    TitleDialog* d = open_titles();
    answer_every_command();
    d->set_all_button()->click();
    ASSERT_TRUE(d->bulk().running());
    EXPECT_EQ(d->bulk().driver().pace_timer().interval(), 1000);
    EXPECT_FALSE(close_enabled(*d));
    EXPECT_FALSE(d->close()) << "the close box is ignored";
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(d, &escape);
    EXPECT_TRUE(d->isVisible());

    for (int i = 0; i < 128; ++i) d->tick();
    EXPECT_EQ(percent(*d), "50");
    EXPECT_EQ(progress(*d), 128);
    d->set_button()->click();  // nothing during the run
    ASSERT_EQ(wire.frames.size(), 128u);
    EXPECT_EQ(wire.frames[0].substr(0, 9), "00CT01T01");
    EXPECT_EQ(wire.frames[64].substr(0, 9), "00CT01B01");

    EXPECT_EQ(run_to_end(*d), 128);
    ASSERT_EQ(wire.frames.size(), 256u);
    EXPECT_EQ(wire.frames[255].substr(0, 9), "00CT02B64");
    EXPECT_EQ(percent(*d), "");
    EXPECT_EQ(progress(*d), 0);
    EXPECT_TRUE(close_enabled(*d));
    EXPECT_EQ(model.bulk_active, 0);
    EXPECT_TRUE(d->isVisible()) << "the title dialog stays open after a run";
    EXPECT_TRUE(d->close());
}

TEST_F(TitleDialogTest, AnErrorEndsTheRunAtOnceLeavingItsPercentage) {
    TitleDialog* d = open_titles();
    d->not_memory_all_button()->click();
    EXPECT_EQ(d->bulk().driver().pace_timer().interval(), 600);
    for (int i = 0; i < 3; ++i) d->tick();
    link.dispatcher().dispatch_serial("00E3\r\n");
    EXPECT_FALSE(d->bulk().running());
    EXPECT_EQ(wire.frames.size(), 3u);
    EXPECT_EQ(wire.frames[2].substr(0, 9), "00CN01T03");
    EXPECT_EQ(percent(*d), "1");
    EXPECT_EQ(progress(*d), 3);
    EXPECT_TRUE(close_enabled(*d));

    // A title that cannot be sent stops a new run the same way, after its step. The new
    // run's first step waits for the answers still owed to the old run's commands.
    set_slot_text(model.title(0, 1), "AB");
    link.dispatcher().dispatch_serial("00GO\r\n");
    link.dispatcher().dispatch_serial("00GO\r\n");
    wire.frames.clear();
    d->set_all_button()->click();
    EXPECT_EQ(progress(*d), 0) << "a new run counts from the start";
    d->tick();
    d->tick();
    EXPECT_EQ(ui.texts().back(), "ステップ 2/256 (CT01T02) で中断しました。\n" +
                                     std::string(text::kNotJis) + "\n応答済み 0/256");
    EXPECT_FALSE(d->bulk().running());
    EXPECT_EQ(wire.frames.size(), 1u);
}

}  // namespace
}  // namespace tqv::test
