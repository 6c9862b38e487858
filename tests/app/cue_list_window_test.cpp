// The キューリスト window against a device that answers at once on the serial line.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/menu_commands.h"
#include "app_fixture.h"
#include "core/answers.h"
#include "core/cues.h"

namespace tqv::test {
namespace {

class CueListWindowTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        model.interface_kind = 0;
        wire.on_write = [this](std::string_view) {
            if (answer) link.dispatcher().dispatch_serial(std::string("00") + answer + "\r\n");
        };
        window->run_command(command::kCueList);
        cues = window->cue_window();
        ASSERT_NE(cues, nullptr);
        files.cue_files = {file("show.csv")};
        save_cue_file(file("show.csv"), sample());
        ASSERT_TRUE(cues->open_file());
    }
    static std::vector<Cue> sample() {
        return {{"A", {{CueAction::page, 0, 1, "", true, 0}}},
                {"B", {{CueAction::title, 1, 4, "速報", true, 0}, {CueAction::page, 1, 4, "", true, 0}}}};
    }
    QPushButton* button(const char* name) const {
        for (auto* b : cues->findChildren<QPushButton*>())
            if (b->accessibleName() == QString::fromUtf8(name)) return b;
        return nullptr;
    }
    QString cell(QTableWidget* t, int row, int column) const {
        return t->item(row, column) != nullptr ? t->item(row, column)->text() : QString();
    }
    bool ended() {
        return run_until_called([&](std::function<void()> done) {
            QObject::connect(&window->cue_show(), &CueShow::cue_ended, cues, [done] { done(); });
        });
    }
    const char* answer = "GO";
    CueListWindow* cues = nullptr;
};

TEST_F(CueListWindowTest, SpaceFiresTheNextCueAndEachStepShowsItsOutcome) {
    QApplication::setActiveWindow(cues);
    cues->cue_table()->setFocus();
    QTest::keyClick(cues->cue_table(), Qt::Key_Space);
    ASSERT_TRUE(ended());
    EXPECT_EQ(wire.frames, std::vector<std::string>{"00P01T02\r\n"});
    EXPECT_EQ(cell(cues->cue_table(), 0, 0), "現在");
    EXPECT_EQ(cell(cues->cue_table(), 1, 0), "次");
    // A failing step: one box naming the cue, the step and what was not sent.
    answer = "E3";
    cues->cue_table()->selectRow(1);
    cues->go();
    ASSERT_TRUE(ended());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("キュー \"B\" ステップ 1/2"), std::string::npos);
    EXPECT_NE(ui.boxes[0].text.find("送信されなかったコマンド: page 1B 5"), std::string::npos);
    EXPECT_EQ(cell(cues->step_table(), 0, 1), "失敗");
    EXPECT_EQ(cell(cues->step_table(), 1, 1), "未送信");
    // BACK and a double-click choose the next cue.
    button("BACK: 前のキューを次に")->click();
    EXPECT_EQ(window->cue_show().list().next(), 1u);
    emit cues->cue_table()->cellDoubleClicked(0, 1);
    EXPECT_EQ(window->cue_show().list().next(), 0u);
}

TEST_F(CueListWindowTest, EditsMarkTheListUnsavedAndCloseAsksFirst) {
    cues->cue_table()->selectRow(0);
    for (const char* edit : {"キューを複製", "キューを下へ移動", "キューを追加", "ステップを追加"})
        button(edit)->click();
    ASSERT_EQ(window->cue_show().list().size(), 4u);
    EXPECT_EQ(window->cue_show().list().cues()[2].name, "A 2");
    EXPECT_TRUE(cues->windowTitle().endsWith(" *"));
    ui.answers = {false};
    EXPECT_FALSE(cues->close());
    files.cue_files = {file("saved.csv")};
    ASSERT_TRUE(cues->save_as());
    std::vector<Cue> back;
    CueFileError error;
    ASSERT_TRUE(load_cue_file(file("saved.csv"), back, error));
    EXPECT_EQ(back, window->cue_show().list().cues());
    EXPECT_TRUE(cues->close());
    // Every control is named, and no two buttons alike.
    QStringList names;
    for (QWidget* w : cues->findChildren<QWidget*>()) {
        if (!qobject_cast<QAbstractButton*>(w) && !qobject_cast<QComboBox*>(w) &&
            !qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractSpinBox*>(w) &&
            !qobject_cast<QTableWidget*>(w))
            continue;
        // Parts of a list, a table or a spin box are named by their owner.
        QWidget* owner = w->parentWidget();
        if (qobject_cast<QComboBox*>(owner) || qobject_cast<QAbstractSpinBox*>(owner) ||
            qobject_cast<QTableWidget*>(owner))
            continue;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        if (qobject_cast<QPushButton*>(w)) names << w->accessibleName();
    }
    EXPECT_EQ(names.removeDuplicates(), 0);
}

}  // namespace
}  // namespace tqv::test
