// The file menu on real files: new, open, save and save as, with the questions and file
// dialogs answered by the test, and the name the panel shows afterwards.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>

#include "app/menu_commands.h"
#include "app/page_switch_dialog.h"
#include "app_fixture.h"
#include "core/codec.h"

namespace tqv::test {
namespace {

using namespace command;

class DocumentTest : public AppTest {
  protected:
    void run(int command) { window->action(command)->trigger(); }
    std::string shown_name() const { return window->panel()->name_text().toStdString(); }

    // Edits a page the way the operator does, in the page switch dialog.
    void choose_page(int line, int index) {
        window->run_command(kPageSwitch);
        auto* dialog = opener.last<PageSwitchDialog>();
        ASSERT_NE(dialog, nullptr);
        dialog->page_list(line)->setCurrentIndex(index);
        dialog->close();
    }
};

TEST_F(DocumentTest, SaveAsNewOpenRoundTrip) {
    set_slot_text(model.title(2, 10), *utf8_to_cp932("夜のニュース"));
    choose_page(0, 4);
    choose_page(3, kAutoPage);
    model.startup_page[1] = 63;
    EXPECT_EQ(model.document_dirty, 1) << "a page choice is a change of the document";

    files.saves = {file("studio")};
    run(kSaveAs);
    EXPECT_EQ(model.document_path, file("studio.dat"));
    EXPECT_EQ(model.document_dirty, 0);
    EXPECT_EQ(shown_name(), file("studio.dat"));

    run(kNew);
    EXPECT_TRUE(ui.questions.empty()) << "nothing unsaved, nothing asked";
    EXPECT_EQ(model.document_path, "");
    EXPECT_EQ(model.current_page[0], 0);
    EXPECT_EQ(slot_length(model.title(2, 10)), 0u);
    EXPECT_EQ(shown_name(), "File Name ");

    files.opens = {file("studio.dat")};
    run(kOpen);
    EXPECT_EQ(model.document_path, file("studio.dat"));
    EXPECT_EQ(model.document_dirty, 0);
    EXPECT_EQ(cp932_to_utf8(slot_text(model.title(2, 10))), "夜のニュース");
    EXPECT_EQ(model.current_page[0], 4);
    EXPECT_EQ(model.current_page[3], kAutoPage);
    EXPECT_EQ(model.startup_page[1], 63);
    EXPECT_EQ(shown_name(), file("studio.dat"));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DocumentTest, SaveWritesTheOpenDocument) {
    files.saves = {file("plan.dat")};
    run(kSaveAs);
    choose_page(2, 9);
    run(kSave);
    EXPECT_EQ(model.document_dirty, 0);
    EXPECT_EQ(files.save_calls, 1) << "save does not ask for a name";

    model.current_page[2] = 0;
    files.opens = {file("plan.dat")};
    run(kOpen);
    EXPECT_EQ(model.current_page[2], 9);
}

TEST_F(DocumentTest, UnsavedChangesAreAskedAbout) {
    files.saves = {file("plan.dat")};
    run(kSaveAs);
    choose_page(1, 20);

    ui.answers = {false, false};
    run(kNew);
    run(kOpen);
    ASSERT_EQ(ui.questions.size(), 2u);
    EXPECT_EQ(ui.questions[0].text, "データを保存せずに新規作成しますか？");
    EXPECT_EQ(ui.questions[1].text, "データを保存せずに別のファイルを開きますか？");
    EXPECT_EQ(ui.questions[1].caption, "TQV-7310NX");
    EXPECT_EQ(files.open_calls, 0);
    EXPECT_EQ(model.current_page[1], 20);
    EXPECT_EQ(model.document_dirty, 1);
    EXPECT_EQ(model.document_path, file("plan.dat"));

    ui.answers = {true};
    run(kNew);
    EXPECT_EQ(model.current_page[1], 0);
    EXPECT_EQ(model.document_dirty, 0);
}

TEST_F(DocumentTest, NewAsksAboutUnsavedGlyphsAfterTheDocument) {
    model.document_dirty = 1;
    model.mark_glyph_unsaved(5);
    model.glyph_list_path = file("g.tll");
    ui.answers = {true, false};  // the document may go, the glyphs not: nothing changes
    run(kNew);
    EXPECT_EQ(ui.questions.at(1).text, "外字データを保存せずに新規作成しますか？");
    EXPECT_EQ(model.document_dirty, 1);
    run(kNew);
    EXPECT_EQ(model.glyph_list_dirty, 0);
    EXPECT_TRUE(model.glyph_list_path.empty()) << "no file behind the blank glyphs";
}

TEST_F(DocumentTest, FileDialogsStartInTheFolderLastUsed) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("shows")));
    IniFile ini(file("tqv7310nx.ini"));
    QString shown_in;
    auto answer = [&shown_in](const QString& name) {  // note where it starts, type a name
        QTimer::singleShot(0, [&shown_in, name] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            shown_in = d->directory().absolutePath();
            d->selectFile(name);
            QMetaObject::invokeMethod(d, "accept");
        });
    };
    answer(QString::fromStdString(file("shows/plan.dat")));
    EXPECT_EQ(QtFileDialogs(&ini).choose_save(nullptr), file("shows/plan.dat"));
    answer(QStringLiteral("glyphs.tll"));
    EXPECT_EQ(QtFileDialogs(&ini).choose_save_glyph_list(nullptr), file("shows/glyphs.tll"))
        << "the next run starts there too";
    EXPECT_EQ(shown_in.toStdString(), file("shows"));
}

TEST_F(DocumentTest, EachKindOfFileKeepsItsOwnFolder) {
    for (const char* folder : {"old", "shows", "glyphs", "cues"})
        ASSERT_TRUE(QDir(dir.path()).mkpath(QString::fromUtf8(folder)));
    const std::string ini_path = file("tqv7310nx.ini");
    // A configuration an older version wrote: its one folder is where every kind starts.
    IniFile(ini_path).set(kConfigSection, "last_folder", file("old"));
    struct Step {
        const char* used;  // a file opened or saved, or nullptr for a new start of the program
        const char* settings;
        const char* glyphs;
        const char* cues;
    };
    const Step steps[] = {
        {nullptr, "old", "old", "old"},
        {"shows/plan.dat", "shows", "shows", "shows"},  // a kind never used: the last folder
        {"glyphs/logo.tll", "shows", "glyphs", "glyphs"},
        {"cues/evening.csv", "shows", "glyphs", "cues"},
        {"glyphs/mark.bmp", "shows", "glyphs", "cues"},
        {nullptr, "shows", "glyphs", "cues"},  // kept for the next run
    };
    IniFile ini(ini_path);
    auto dialogs = std::make_unique<QtFileDialogs>(&ini);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.used != nullptr ? step.used : "start");
        if (step.used == nullptr) {
            dialogs = std::make_unique<QtFileDialogs>(&ini);
        } else {
            dialogs->used(file(step.used));
        }
        EXPECT_EQ(dialogs->folder(FileKind::settings).toStdString(), file(step.settings));
        EXPECT_EQ(dialogs->folder(FileKind::glyphs).toStdString(), file(step.glyphs));
        EXPECT_EQ(dialogs->folder(FileKind::cues).toStdString(), file(step.cues));
    }
}

}  // namespace
}  // namespace tqv::test
