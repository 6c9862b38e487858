// The two dialogs of the "情報" menu.
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include "app/glyph_note_dialog.h"
#include "app/menu_commands.h"
#include "app/version_dialog.h"
#include "app_fixture.h"

namespace tqv::test {
namespace {

using namespace command;

std::vector<std::string> label_texts(const QWidget& dialog) {
    std::vector<std::string> texts;
    for (const auto* label : dialog.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) texts.push_back(label->text().toStdString());
    }
    return texts;
}

TEST_F(AppTest, VersionDialogShowsTheVersionAndTakesOverAnswers) {
    model.selected_peer = -1;
    for (int i = 0; i < 3; ++i) clicks.click(0, 0);
    window->run_command(kVersion);
    auto* dialog = opener.last<VersionDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "TQV7310NXのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(label_texts(*dialog), std::vector<std::string>{"TQV7310NX Version 1.32"});
    EXPECT_EQ(context.windows.notify_window.data(), static_cast<QWidget*>(dialog));
    EXPECT_EQ(clicks.count(), 0);

    auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(AppTest, GlyphNoteShowsThreeNotesAndTouchesNoLinkState) {
    QWidget before;  // any earlier window
    context.windows.notify_window = &before;
    for (int i = 0; i < 3; ++i) clicks.click(0, 0);
    window->run_command(kGlyphNote);
    auto* dialog = opener.last<GlyphNoteDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "外字について");
    EXPECT_EQ(label_texts(*dialog),
              (std::vector<std::string>{"外字1文字ずつの場合の拡張子は､TXTです。",
                                        "外字一覧の場合の拡張子は､TLLです。",
                                        "※外字操作は､自動切換え時に行わないでください。"}));
    EXPECT_TRUE(dialog->findChildren<QPushButton*>().isEmpty());
    EXPECT_EQ(context.windows.notify_window.data(), &before);
    EXPECT_EQ(clicks.count(), 0);
}

}  // namespace
}  // namespace tqv::test
