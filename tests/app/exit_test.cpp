// The orderly exit: a live TCP connection asked about, unsaved changes offered for saving, and
// never an exit that loses them because their save did not happen; every question is asked
// before any window closes.
#include <QFile>
#include <QPushButton>
#include <QTcpSocket>

#include "app/menu_commands.h"
#include "app_fixture.h"
#include "core/document.h"
#include "core/texts.h"

namespace tqv::test {
namespace {

class ExitTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        set_slot_text(model.title(0, 0), "OPENING");
        model.document_dirty = 1;
    }
    void expect_ended() {
        EXPECT_EQ(quits, 1);
        EXPECT_EQ(model.running, 0);
        EXPECT_FALSE(window->isVisible());
    }
    void expect_running() {
        EXPECT_EQ(quits, 0);
        EXPECT_EQ(model.running, 1);
        EXPECT_TRUE(window->isVisible());
    }
    bool file_exists(const std::string& path) {
        return QFile::exists(QString::fromStdString(path));
    }
};

TEST_F(ExitTest, CleanDocumentEndsWithoutAsking) {
    model.document_dirty = 0;
    window->action(command::kExit)->trigger();
    expect_ended();
    EXPECT_TRUE(ui.questions.empty());
}

// A live connection is asked about first: いいえ keeps everything, はい disconnects and
// ends; a connection the device has closed is asked about no more.
TEST_F(ExitTest, AsksToDisconnectOnlyWhileTcpIsReallyConnected) {
    const struct {
        bool device_leaves_first;
        std::deque<bool> answers;  // disconnect?, discard the document?
        bool ends;
        std::vector<std::string> asked;
    } cases[] = {
        {false, {false}, false, {text::kAskDisconnectAndExit}},
        {false, {true, true}, true, {text::kAskDisconnectAndExit, text::kAskExit}},
        {true, {true}, true, {text::kAskExit}},
    };
    for (const auto& c : cases) {
        make_window();
        window->show();
        quits = 0;
        model.running = 1;
        model.document_dirty = 1;
        ui.clear();
        QTcpSocket device;
        ASSERT_TRUE(connect_one_device(device));
        model.tcp_connected = 1;
        if (c.device_leaves_first) {
            ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
                QObject::connect(&link.tcp(), &TcpLink::link_closed, &device, done);
                device.disconnectFromHost();
            }));
        }
        ui.answers = c.answers;
        EXPECT_EQ(window->close(), c.ends);
        std::vector<std::string> asked;
        for (const auto& q : ui.questions) asked.push_back(q.text);
        EXPECT_EQ(asked, c.asked);
        EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
        if (!c.ends) {
            expect_running();
            EXPECT_TRUE(link.tcp().link_up()) << "still connected";
            EXPECT_EQ(device.state(), QAbstractSocket::ConnectedState);
            link.tcp().socket_shutdown();
            continue;
        }
        expect_ended();
        EXPECT_FALSE(link.tcp().listening());
        EXPECT_EQ(link.tcp().count_peers(), 0);
        if (!c.device_leaves_first) {
            EXPECT_TRUE(device.state() == QAbstractSocket::UnconnectedState ||
                        device.waitForDisconnected(5000))
                << "the device sees the connection end";
        }
    }
}

TEST_F(ExitTest, YesEndsWithoutSaving) {
    model.document_path = file("kept.dat");
    ui.answers = {true};
    EXPECT_TRUE(window->close());
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "データを保存せずに終了しますか？");
    EXPECT_EQ(ui.questions[0].caption, "TQV-7310NX");
    EXPECT_FALSE(file_exists(model.document_path));
    expect_ended();
}

TEST_F(ExitTest, NoSavesToTheDocumentThenEnds) {
    model.document_path = file("plan.dat");
    ui.answers = {false};
    EXPECT_TRUE(window->close());
    Model reread;
    ASSERT_TRUE(load_document(reread, model.document_path));
    EXPECT_EQ(slot_text(reread.title(0, 0)), "OPENING");
    EXPECT_EQ(files.save_calls, 0);
    EXPECT_EQ(model.document_dirty, 0);
    expect_ended();
}

TEST_F(ExitTest, NoWithoutANameAsksForOneThenEnds) {
    files.saves = {file("named")};
    ui.answers = {false};
    EXPECT_TRUE(window->close());
    EXPECT_EQ(files.save_calls, 1);
    EXPECT_EQ(model.document_path, file("named.dat"));
    EXPECT_TRUE(file_exists(file("named.dat")));
    expect_ended();
}

TEST_F(ExitTest, UnsavedGlyphsAreAskedAboutInTheSameManner) {
    model.document_dirty = 0;
    model.glyph_list_dirty = 1;
    files.glyph_saves = {std::nullopt, file("mine")};
    ui.answers = {false, false};
    EXPECT_FALSE(window->close()) << "save-as cancelled: the glyphs are not lost";
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ui.questions.at(0).text, "外字データを保存せずに終了しますか？");
    EXPECT_TRUE(file_exists(file("mine.tll")));
    expect_ended();
}

TEST_F(ExitTest, CancelledSaveAsKeepsRunning) {
    files.saves = {std::nullopt};
    ui.answers = {false};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(files.save_calls, 1);
    EXPECT_EQ(model.document_dirty, 1);
    expect_running();
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ExitTest, FailedSaveKeepsRunning) {
    model.document_path = file("missing-folder/plan.dat");
    ui.answers = {false};
    EXPECT_FALSE(window->close());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::warning);
    EXPECT_EQ(ui.boxes[0].text, "Can't file open");
    EXPECT_EQ(model.document_dirty, 1);
    expect_running();

    // The operator fixes it and leaves: the next attempt asks again.
    model.document_path = file("plan.dat");
    ui.answers = {false};
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ui.questions.size(), 2u);
    expect_ended();
}

TEST_F(ExitTest, EveryQuestionComesBeforeAnyWindowCloses) {
    // The document, unsaved glyphs and the cue list: an answer that keeps the program
    // keeps every window and every change; Yes to all of them ends it.
    struct Case {
        bool document, glyphs;
        std::deque<bool> answers;
        std::vector<const char*> asked;
        bool ends;
    };
    const char* doc = "データを保存せずに終了しますか？";
    const char* glyph = "外字データを保存せずに終了しますか？";
    const char* cue = "キューリストを保存せずに終了しますか？";
    const Case cases[] = {
        {true, false, {true, false}, {doc, cue}, false},
        {true, true, {true, true, false}, {doc, glyph, cue}, false},
        {false, false, {false}, {cue}, false},
        {true, true, {true, true, true}, {doc, glyph, cue}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked.size());
        // A fresh main window for each case (the last case ends the program).
        window.reset();
        make_window();
        window->show();
        ui.clear();
        model.document_dirty = c.document ? 1 : 0;
        model.glyph_list_dirty = c.glyphs ? 1 : 0;
        window->run_command(command::kCueList);
        CueListWindow* cues = window->cue_window();
        for (auto* b : cues->findChildren<QPushButton*>())
            if (b->accessibleName() == QStringLiteral("キューを追加")) b->click();
        ASSERT_EQ(window->cue_show().list().size(), 1u);
        ui.answers = c.answers;
        EXPECT_EQ(window->close(), c.ends);
        std::vector<std::string> asked;
        for (const auto& q : ui.questions) asked.push_back(q.text);
        EXPECT_EQ(asked, std::vector<std::string>(c.asked.begin(), c.asked.end()));
        EXPECT_EQ(cues->isVisible(), !c.ends);
        if (c.ends) {
            expect_ended();
            continue;
        }
        expect_running();
        EXPECT_EQ(model.document_dirty, c.document ? 1 : 0) << "nothing was discarded";
        EXPECT_EQ(model.glyph_list_dirty, c.glyphs ? 1 : 0);
        EXPECT_EQ(window->cue_show().list().size(), 1u);
        EXPECT_TRUE(cues->windowTitle().endsWith(" *"));
        // Asked once more, as the operator closes the cue window alone.
        ui.clear();
        ui.answers = {false};
        EXPECT_FALSE(cues->close());
        EXPECT_EQ(ui.questions.size(), 1u);
    }
}

}  // namespace
}  // namespace tqv::test
