// The start of a run: one copy per user, the configuration file, the simulated device.
#include "app/startup.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <thread>

#include "app/message_boxes.h"
#include "app/simulator_process.h"
#include "app/single_instance.h"
#include "app_fixture.h"
#include "core/texts.h"
#include "glyphs/glyph_list_dialog.h"

namespace tqv::test {
namespace {

TEST(SingleInstanceTest, SecondCopyIsToldAndRefused) {
    QTemporaryDir runtime;
    RecordingUi ui;
    {
        SingleInstance first(runtime.path());
        ASSERT_TRUE(first.acquire(ui));
        EXPECT_TRUE(ui.boxes.empty());

        SingleInstance second(runtime.path());
        EXPECT_FALSE(second.acquire(ui));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].kind, Box::plain);
        EXPECT_EQ(ui.boxes[0].text, "２重に起動はできません");
        EXPECT_EQ(ui.boxes[0].caption, "TQV-7310NX");
    }
    // The first copy has ended: the next one starts.
    SingleInstance next(runtime.path());
    EXPECT_TRUE(next.acquire(ui));
}

// A later start with a file gives it to the running copy and ends without a word.
TEST(SingleInstanceTest, LaterStartHandsItsFileToTheRunningCopy) {
    QTemporaryDir runtime;
    RecordingUi ui;
    SingleInstance first(runtime.path());
    ASSERT_TRUE(first.acquire(ui));
    const QString file = runtime.filePath(QStringLiteral("plan.dat"));
    std::function<void()> arrived;
    QStringList received;
    ASSERT_TRUE(first.accept_files([&](const QString& path) {
        received << path;
        arrived();
    }));
    // The later start waits for its answer, which the running copy gives from its loop.
    bool later_started = true;
    std::thread later([&] { later_started = SingleInstance(runtime.path()).acquire(ui, file); });
    EXPECT_TRUE(run_until_called([&](std::function<void()> done) { arrived = done; }));
    later.join();
    EXPECT_FALSE(later_started);
    EXPECT_EQ(received, QStringList{file});
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AppTest, ConfigurationFileSetsRoleAndInterface) {
    const QString ini = dir.filePath(QStringLiteral("conf/tqv7310nx.ini"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(ini).absolutePath()));
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "[TQV-7310NX_Section]\r\nInterface=1\r\nClientServer=1\r\nlist_count=2\r\n"
        "ip00_0=192\r\nip00_3=7\r\nip01_0=10\r\nip02_0=99\r\n");
    f.close();

    model.tcp_connected = 1;
    model.document_dirty = 1;
    model.current_page[0] = 9;
    start_model(model, link, ini);
    EXPECT_EQ(model.tcp_connected, 0);
    EXPECT_EQ(model.document_dirty, 0);
    EXPECT_EQ(model.current_page[0], 0);
    EXPECT_EQ(model.interface_kind, 1);
    EXPECT_EQ(model.tcp_role, 1);
    EXPECT_EQ(model.host_count, 2);
    EXPECT_EQ(model.host_list[0], (Ipv4{192, 0, 0, 7}));
    EXPECT_EQ(model.host_list[2], (Ipv4{0, 0, 0, 0})) << "only list_count hosts are read";

    make_window();
    EXPECT_EQ(window->windowTitle().toStdString(), "無題 - TQV-7310 Server Program");
}

TEST_F(AppTest, MissingConfigurationGivesTheDefaults) {
    model.interface_kind = 1;
    model.tcp_role = 1;
    const QString ini = dir.filePath(QStringLiteral("fresh/tqv7310nx.ini"));
    start_model(model, link, ini);
    EXPECT_EQ(model.interface_kind, 0);
    EXPECT_EQ(model.tcp_role, 0);
    EXPECT_TRUE(QFileInfo(QFileInfo(ini).absolutePath()).isDir())
        << "ready for the dialogs that write their keys";
    EXPECT_FALSE(QFile::exists(ini)) << "reading does not write";
}

TEST_F(AppTest, FileOnTheCommandLineIsReadByItsKind) {
    const QString doc = dir.filePath(QStringLiteral("a.dat"));
    const QString glyphs = dir.filePath(QStringLiteral("g.TLL"));
    QFile(doc).open(QIODevice::WriteOnly);
    QFile(glyphs).open(QIODevice::WriteOnly);
    const std::string missing = file("missing.dat");
    const struct {
        QString path;
        std::string document_path, glyph_list_path, warning;
    } cases[] = {
        {doc, doc.toStdString(), "", ""},
        {glyphs, doc.toStdString(), glyphs.toStdString(), ""},
        {QString::fromStdString(missing), doc.toStdString(), glyphs.toStdString(),
         "Can't file open\n" + missing},
    };
    for (const auto& c : cases) {
        ui.clear();
        // As the program does once its window shows.
        window->open_start_file(c.path);
        EXPECT_EQ(model.document_path, c.document_path);
        EXPECT_EQ(model.glyph_list_path, c.glyph_list_path);
        EXPECT_EQ(ui.texts(), (c.warning.empty() ? std::vector<std::string>{}
                                                 : std::vector<std::string>{c.warning}));
    }
    EXPECT_EQ(window->windowTitle().toStdString(), "a.dat - TQV-7310 Client Program");
    EXPECT_NE(opener.last<GlyphListDialog>(), nullptr) << "the glyph list shows the glyph file";
    EXPECT_EQ(files.used_paths, (std::vector<std::string>{doc.toStdString(), glyphs.toStdString()}))
        << "the file dialogs start in their folder";
}

// A program that does not start, or that says something else than the ready line (echo
// prints its arguments: "--serial"), is reported and left.
TEST(SimulatorProcessTest, ReportsAProgramThatDoesNotStartOrSaysSomethingElse) {
    QTemporaryDir empty;
    for (const auto& [program, said] : {std::pair{empty.filePath(QStringLiteral("no-such-sim")), QString()},
                                        std::pair{QStringLiteral("/bin/echo"), QStringLiteral("--serial")}}) {
        SimulatorProcess sim;
        QString error;
        EXPECT_TRUE(sim.start_serial(program, {}, 5000, &error).isEmpty());
        EXPECT_TRUE(!error.isEmpty() && error.contains(said)) << error.toStdString();
        EXPECT_FALSE(sim.running());
    }
}

TEST(MessageBoxUiTest, OwnerIsOnlyAWidgetThatStillExists) {
    MessageBoxUi ui;
    EXPECT_EQ(ui.owner(Box::plain), nullptr) << "no windows yet";
    AnswerWindows windows;
    ui.show_over(&windows);
    auto* w = new QWidget;
    windows.message_owner = w;
    for (const Box kind : {Box::error_owned, Box::plain, Box::information})
        EXPECT_EQ(ui.owner(kind), w);
    for (const Box kind : {Box::error, Box::warning, Box::success})
        EXPECT_EQ(ui.owner(kind), nullptr);
    delete w;
    EXPECT_EQ(ui.owner(Box::plain), nullptr);
}

// The lost port is back: its box closes by itself; another box stays for the operator.
TEST(MessageBoxUiTest, AWithdrawnBoxCloses) {
    MessageBoxUi ui;
    bool kept = false, stayed = false;
    QObject guard;  // the fallback ends with the test
    QTimer::singleShot(0, &guard, [&] {
        ui.withdraw("Success");
        kept = QApplication::activeModalWidget() != nullptr;
        ui.withdraw(text::kSerialPortLost);
    });
    QTimer::singleShot(5000, &guard, [&] { stayed = QApplication::activeModalWidget()->close(); });
    ui.box(Box::error, text::kSerialPortLost, "Error");
    EXPECT_TRUE(kept);
    EXPECT_FALSE(stayed);
}

}  // namespace
}  // namespace tqv::test
