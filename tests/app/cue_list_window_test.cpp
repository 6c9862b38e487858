// The キューリスト window against a device that answers at once on the serial line.
#include <QApplication>
#include <QHeaderView>
#include <QLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <deque>
#include <functional>

#include "app/menu_commands.h"
#include "app/on_air_window.h"
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
        load(sample());
    }
    static std::vector<Cue> sample() {
        return {{"A", {{CueAction::page, 0, 1, "", true, 0}}},
                {"B", {{CueAction::title, 1, 4, "速報", true, 0}, {CueAction::page, 1, 4, "", true, 0}}}};
    }
    QPushButton* button(const char* name) const { return named<QPushButton>(*cues, name); }
    QString cell(QTableWidget* t, int row, int column) const {
        return t->item(row, column) != nullptr ? t->item(row, column)->text() : QString();
    }
    bool ended() {
        return run_until_called([&](std::function<void()> done) {
            QObject::connect(&window->cue_show(), &CueShow::cue_ended, cues, [done] { done(); });
        });
    }
    void load(const std::vector<Cue>& list) {
        save_cue_file(file("list.csv"), list);
        files.cue_files = {file("list.csv")};
        ASSERT_TRUE(cues->open_file());
    }
    std::vector<QString> column(QTableWidget* t, int c) const {
        std::vector<QString> out;
        for (int r = 0; r < t->rowCount(); ++r) out.push_back(cell(t, r, c));
        return out;
    }
    CueShow& show() { return window->cue_show(); }
    const char* answer = "GO";
    CueListWindow* cues = nullptr;
};

TEST_F(CueListWindowTest, SpaceFiresTheNextCueAndEachStepShowsItsOutcome) {
    QApplication::setActiveWindow(cues);
    cues->cue_table()->setFocus();
    QTest::keyClick(cues->cue_table(), Qt::Key_Space);
    ASSERT_TRUE(ended());
    EXPECT_EQ(wire.frames, std::vector<std::string>{"00P01T02\r\n"});
    EXPECT_EQ(column(cues->cue_table(), 0), (std::vector<QString>{"現在", "次"}));
    // A failing step: one box naming the cue, the step and what was not sent.
    answer = "E3";
    cues->cue_table()->selectRow(1);
    cues->go();
    ASSERT_TRUE(ended());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("キュー \"B\" ステップ 1/2"), std::string::npos);
    EXPECT_NE(ui.boxes[0].text.find("送信されなかったコマンド: page 1B 5"), std::string::npos);
    EXPECT_EQ(column(cues->step_table(), 1), (std::vector<QString>{"失敗", "未送信"}));
    // BACK and a double-click choose the next cue.
    button("BACK: 前のキューを次に")->click();
    EXPECT_EQ(show().list().next(), 1u);
    emit cues->cue_table()->cellDoubleClicked(0, 1);
    EXPECT_EQ(show().list().next(), 0u);
}

TEST_F(CueListWindowTest, EditsMarkTheListUnsavedAndCloseAsksFirst) {
    cues->cue_table()->selectRow(0);
    for (const char* edit : {"キューを複製", "キューを下へ移動", "キューを追加", "ステップを追加"})
        button(edit)->click();
    ASSERT_EQ(show().list().size(), 4u);
    EXPECT_EQ(show().list().cues()[2].name, "A 2");
    EXPECT_TRUE(cues->windowTitle().endsWith(" *"));
    ui.answers = {false};
    EXPECT_FALSE(cues->close());
    files.cue_files = {file("saved.csv")};
    ASSERT_TRUE(cues->save_as());
    std::vector<Cue> back;
    CueFileError error;
    ASSERT_TRUE(load_cue_file(file("saved.csv"), back, error));
    EXPECT_EQ(back, show().list().cues());
    EXPECT_TRUE(cues->close());
}

TEST_F(CueListWindowTest, NothingBlanksATitleUnlessTheOperatorSaidSo) {
    const CueStep blank{CueAction::title, 0, 0, "", true, 0};
    const struct {
        const char* how;         // "added": 追加 as it comes; "blank": a blank title added to it;
                                 // "file": a list loaded with a blank title
        std::deque<bool> answers;
        int questions;
        bool sends;
    } cases[] = {
        {"added", {}, 0, false},
        {"blank", {false}, 1, false},
        {"blank", {true}, 1, true},
        {"file", {}, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.how) + " " + std::to_string(c.answers.size()));
        load(sample());
        std::size_t index = 2;
        if (std::string(c.how) == "file") {
            load({sample()[0], sample()[1], {"Clear", {blank}}});
        } else {
            cues->cue_table()->selectRow(1);
            button("キューを追加")->click();
            if (std::string(c.how) == "blank") {
                named<QComboBox>(*cues, "動作")->setCurrentIndex(int(CueAction::title));
                button("ステップを追加")->click();
                EXPECT_EQ(cell(cues->step_table(), 1, 0), "title 1T 1 (空白) memory");
            }
        }
        ASSERT_EQ(show().list().size(), 3u);
        show().select_next(index);
        wire.frames.clear();
        ui.clear();
        ui.answers = c.answers;
        cues->go();
        EXPECT_EQ(int(ui.questions.size()), c.questions);
        EXPECT_TRUE(c.questions == 0 || ui.questions[0].text.find("1T 1 (空白)") != std::string::npos);
        if (c.answers.empty() || c.answers.front()) {
            ASSERT_TRUE(ended());
        } else {
            EXPECT_EQ(show().list().next(), index) << "the list did not move";
            EXPECT_EQ(cues->status()->text(), "送信しませんでした");
        }
        EXPECT_EQ(!wire.frames.empty(), c.sends);
        if (!c.sends) continue;
        // Asked once: the same cue again goes without a question.
        show().select_next(index);
        cues->go();
        ASSERT_TRUE(ended());
        EXPECT_EQ(int(ui.questions.size()), c.questions);
    }
}

TEST_F(CueListWindowTest, TheStepTableShowsTheRunningCueAndEachAnswerAsItComes) {
    answer = nullptr;  // the device answers when the test says so
    show().select_next(1);
    cues->go();
    ASSERT_TRUE(wait_until([&] { return wire.frames.size() == 1; }));
    cues->cue_table()->selectRow(0);  // another row: the table stays on the cue under way
    EXPECT_NE(cell(cues->step_table(), 0, 0).indexOf("速報"), -1);
    EXPECT_EQ(column(cues->step_table(), 1), (std::vector<QString>{"送信済み", ""}));
    link.dispatcher().dispatch_serial("00GO\r\n");
    ASSERT_TRUE(wait_until([&] { return cell(cues->step_table(), 0, 1) == "完了"; }))
        << "the answered step shows before the next one is sent";
    EXPECT_EQ(wire.frames.size(), 1u);
    show().stop();
    ASSERT_TRUE(ended());
}

TEST_F(CueListWindowTest, AWaitCountsDownAndANewRunShowsNoOldResults) {
    load({{"W", {{CueAction::wait, 0, 0, "", true, 3}, {CueAction::page, 0, 1, "", true, 0}}}});
    const auto run = [&] {
        show().select_next(0);
        cues->go();
        EXPECT_EQ(column(cues->step_table(), 1), (std::vector<QString>{"", ""}))
            << "nothing of the run before";
        EXPECT_NE(cues->status()->text().indexOf("待機中 残り 3 秒"), -1) << cues->status()->text().toStdString();
        show().driver().pace_elapsed();  // the wait is over
        ASSERT_TRUE(ended());
        EXPECT_EQ(column(cues->step_table(), 1), (std::vector<QString>{"完了", "完了"}));
    };
    run();
    run();
    // Loading another list leaves no word of this one.
    EXPECT_FALSE(cues->status()->text().isEmpty());
    load(sample());
    EXPECT_TRUE(cues->status()->text().isEmpty());
}

TEST_F(CueListWindowTest, RenamingIsRefusedInJapanese) {
    const struct {
        const char* name;
        const char* status;  // empty: renamed
    } cases[] = {{"  ", "キュー名を入力してください"},
                          {"B", "同じ名前のキューがあります: B"},
                          {"A", ""},  // its own name again
                          {"Opening", ""}};
    QLineEdit* name = named<QLineEdit>(*cues, "キュー名");
    ASSERT_NE(name, nullptr);
    for (const auto& c : cases) {
        cues->cue_table()->selectRow(0);
        cues->status()->clear();
        name->setText(QString::fromUtf8(c.name));
        button("キューの名前を変更")->click();
        EXPECT_EQ(cues->status()->text().toStdString(), c.status) << c.name;
    }
    EXPECT_EQ(show().list().cues()[0].name, "Opening");
}

TEST_F(CueListWindowTest, ThePreviewShowsWhatGoWillPutOnAirBesideWhatIsOnAirNow) {
    const auto picture = [](ChannelView* v) { return v->grab().toImage(); };
    const auto pictures = [&] {
        return std::vector<QImage>{picture(cues->program_view(0)), picture(cues->program_view(1)),
                                   picture(cues->preview_view(0)), picture(cues->preview_view(1))};
    };
    const std::vector<QImage> start = pictures();
    // A switches 1T to an empty page: nothing GO would change shows.
    EXPECT_EQ(start[2], start[0]);
    EXPECT_EQ(cues->preview_caption()->text(), QStringLiteral("プレビュー: 「A」の後"));

    // B puts 速報 on ch.1 bottom: the preview shows it, what is on air stays.
    ASSERT_TRUE(show().select_next(1));
    const std::vector<QImage> chosen = pictures();
    EXPECT_EQ(chosen[0], start[0]);
    EXPECT_NE(chosen[2], chosen[0]);
    EXPECT_EQ(chosen[3], chosen[1]);
    EXPECT_EQ(cues->preview_caption()->text(), QStringLiteral("プレビュー: 「B」の後"));

    // GO: what was the preview is on air, and nothing is next.
    cues->go();
    ASSERT_TRUE(ended());
    const std::vector<QImage> after = pictures();
    EXPECT_EQ(after[0], chosen[2]);
    EXPECT_EQ(after[2], after[0]);
    EXPECT_EQ(cues->preview_caption()->text(), QStringLiteral("プレビュー: 次のキューなし"));
}

// At the size it opens with, pictures and all, both tables show several rows.
TEST_F(CueListWindowTest, BothTablesShowSeveralRowsAtTheSizeItOpensWith) {
    cues->layout()->activate();
    EXPECT_LE(cues->minimumSizeHint().height(), cues->height());
    for (auto [table, rows] : {std::pair{cues->cue_table(), 5}, std::pair{cues->step_table(), 4}})
        EXPECT_GE(table->viewport()->height(), rows * table->verticalHeader()->defaultSectionSize())
            << table->accessibleName().toStdString();
}

}  // namespace
}  // namespace tqv::test
