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
        fresh(true, false);
    }
    // A new main window over a document with an unsaved title (or none) and unsaved glyphs
    // (or none), nothing asked yet.
    void fresh(bool document, bool glyphs) {
        window.reset();
        make_window();
        window->show();
        quits = 0;
        model.running = 1;
        set_slot_text(model.title(0, 0), "OPENING");
        model.document_dirty = document ? 1 : 0;
        model.glyph_list_dirty = glyphs ? 1 : 0;
        ui.clear();
    }
    std::vector<std::string> asked() const {
        std::vector<std::string> out;
        for (const auto& q : ui.questions) out.push_back(q.text);
        return out;
    }
    void expect_ended(bool ended) {
        EXPECT_EQ(quits, ended ? 1 : 0);
        EXPECT_EQ(model.running, ended ? 0 : 1);
        EXPECT_EQ(window->isVisible(), !ended);
    }
    static bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }
};

// The document's question: はい ends without saving, いいえ saves (to its file, or to one
// named now) and ends; a save that does not happen keeps the program and the change, and
// the next attempt asks again.
TEST_F(ExitTest, AnUnsavedDocumentIsSavedOrLetGoAsTheOperatorSays) {
    const char* question = text::kAskExit;
    const struct {
        bool dirty;
        const char* path;                // the document's file; nullptr: none yet
        std::vector<const char*> named;  // answers of the save dialog; nullptr: cancelled
        std::deque<bool> answers;
        bool ends;
        const char* saved;  // the file written
        const char* box;
    } cases[] = {
        {false, nullptr, {}, {}, true, nullptr, nullptr},  // clean: nothing asked
        {true, "kept.dat", {}, {true}, true, nullptr, nullptr},
        {true, "plan.dat", {}, {false}, true, "plan.dat", nullptr},
        {true, nullptr, {"named"}, {false}, true, "named.dat", nullptr},
        {true, nullptr, {nullptr}, {false}, false, nullptr, nullptr},
        {true, "missing-folder/plan.dat", {}, {false}, false, nullptr, "Can't file open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path != nullptr ? c.path : "unnamed");
        fresh(c.dirty, false);
        model.document_path = c.path != nullptr ? file(c.path) : std::string();
        files.saves.clear();
        files.save_calls = 0;
        for (const char* n : c.named) files.saves.push_back(n != nullptr ? std::optional(file(n)) : std::nullopt);
        ui.answers = c.answers;
        EXPECT_EQ(window->close(), c.ends);
        EXPECT_EQ(asked(), c.dirty ? std::vector<std::string>{question} : std::vector<std::string>{});
        for (const auto& q : ui.questions) EXPECT_EQ(q.caption, "TQV-7310NX");
        EXPECT_EQ(files.save_calls, int(c.named.size()));
        EXPECT_EQ(ui.texts(), c.box != nullptr ? std::vector<std::string>{c.box} : std::vector<std::string>{});
        EXPECT_TRUE(c.box == nullptr || ui.boxes.at(0).kind == Box::warning);
        EXPECT_TRUE(c.path == nullptr || exists(file(c.path)) == (c.saved != nullptr));
        if (c.saved != nullptr) {
            Model reread;
            ASSERT_TRUE(load_document(reread, file(c.saved)));
            EXPECT_EQ(slot_text(reread.title(0, 0)), "OPENING");
            EXPECT_EQ(model.document_path, file(c.saved));
        }
        EXPECT_TRUE((c.ends && c.saved == nullptr) || model.document_dirty == (c.ends ? 0 : 1));
        expect_ended(c.ends);
        if (c.ends) continue;
        // The operator gives it a place it can be saved to and leaves: asked again.
        model.document_path = file("plan.dat");
        ui.answers = {false};
        EXPECT_TRUE(window->close());
        EXPECT_EQ(asked(), (std::vector<std::string>{question, question}));
        expect_ended(true);
    }
}

TEST_F(ExitTest, UnsavedGlyphsAreAskedAboutInTheSameManner) {
    fresh(false, true);
    files.glyph_saves = {std::nullopt, file("mine")};
    ui.answers = {false, false};
    EXPECT_FALSE(window->close()) << "save-as cancelled: the glyphs are not lost";
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ui.questions.at(0).text, "外字データを保存せずに終了しますか？");
    EXPECT_TRUE(exists(file("mine.tll")));
    expect_ended(true);
}

// Every question comes before any window closes: a live TCP connection first (one the
// device has closed is asked about no more), then the document, unsaved glyphs and the cue
// list. An answer that keeps the program keeps every window, change and connection; yes to
// all of them ends it, the connection too.
TEST_F(ExitTest, EveryQuestionComesBeforeAnyWindowCloses) {
    enum Tcp { none, live, left };
    const char *tcp = text::kAskDisconnectAndExit, *doc = text::kAskExit, *glyph = text::kAskExitGlyphs,
               *cue = text::kAskExitCues;
    const struct {
        Tcp tcp;
        bool document, glyphs, cues;
        std::deque<bool> answers;
        std::vector<std::string> asked;
    } cases[] = {
        {live, true, false, false, {false}, {tcp}},
        {live, true, false, false, {true, true}, {tcp, doc}},
        {left, true, false, false, {true}, {doc}},
        {none, true, false, true, {true, false}, {doc, cue}},
        {none, true, true, true, {true, true, false}, {doc, glyph, cue}},
        {none, false, false, true, {false}, {cue}},
        {none, true, true, true, {true, true, true}, {doc, glyph, cue}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.asked) + " " + std::to_string(c.answers.size()));
        fresh(c.document, c.glyphs);
        QTcpSocket device;
        if (c.tcp != none) {
            ASSERT_TRUE(connect_one_device(device));
            model.tcp_connected = 1;
        }
        if (c.tcp == left) {
            ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
                QObject::connect(&link.tcp(), &TcpLink::link_closed, &device, done);
                device.disconnectFromHost();
            }));
        }
        CueListWindow* cues = nullptr;
        if (c.cues) {
            window->run_command(command::kCueList);
            cues = window->cue_window();
            named<QPushButton>(*cues, "キューを追加")->click();
            ASSERT_EQ(window->cue_show().list().size(), 1u);
        }
        ui.answers = c.answers;
        const bool ends = c.answers.back();
        EXPECT_EQ(window->close(), ends);
        EXPECT_EQ(asked(), c.asked);
        EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
        expect_ended(ends);
        EXPECT_TRUE(cues == nullptr || cues->isVisible() != ends);
        if (ends) {
            EXPECT_FALSE(link.tcp().listening());
            EXPECT_EQ(link.tcp().count_peers(), 0);
            EXPECT_TRUE(c.tcp != live || device.state() == QAbstractSocket::UnconnectedState ||
                        device.waitForDisconnected(5000))
                << "the device sees the connection end";
            continue;
        }
        EXPECT_EQ(model.document_dirty, c.document ? 1 : 0) << "nothing was discarded";
        EXPECT_EQ(model.glyph_list_dirty, c.glyphs ? 1 : 0);
        EXPECT_EQ(link.tcp().link_up(), c.tcp == live) << "still connected";
        EXPECT_TRUE(c.tcp != live || device.state() == QAbstractSocket::ConnectedState);
        link.tcp().socket_shutdown();
        if (cues == nullptr) continue;
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
