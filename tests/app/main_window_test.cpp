// The main window as the operator meets it: caption, menu enabling, the panel picture,
// the corner-click gesture, the traffic log beside a dialog and files handed over.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <set>

#include "app/menu_commands.h"
#include "app/page_switch_dialog.h"
#include "app/panel_picture.h"
#include "app_fixture.h"
#include "core/document.h"
#include "core/glyph.h"
#include "core/texts.h"
#include "glyphs/glyph_list_dialog.h"

namespace tqv::test {
namespace {

using namespace command;

TEST_F(AppTest, CaptionNamesTheDocumentItsUnsavedStateAndTheRole) {
    EXPECT_EQ(window->windowTitle().toStdString(), "無題 - TQV-7310 Client Program");
    model.tcp_role = 1;
    model.document_path = "/srv/番組/朝.dat";
    make_window();
    EXPECT_EQ(window->windowTitle().toStdString(), "朝.dat - TQV-7310 Server Program");
    // An edit in an open dialog marks it at once.
    window->run_command(kPageSwitch);
    opener.last<PageSwitchDialog>()->page_list(0)->setCurrentIndex(5);
    EXPECT_EQ(window->windowTitle().toStdString(), "朝.dat* - TQV-7310 Server Program");
}

TEST_F(AppTest, WindowHoldsThePanelAndCannotBeResized) {
    window->show();
    EXPECT_EQ(window->panel()->size(), QSize(630, 150));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(model.running, 1);
}

// Menu text of a command, for readable failures.
std::string text_of(const MainWindow& w, int command) {
    return w.action(command)->text().toStdString();
}

TEST_F(AppTest, BrowsingAMenuGreysTheItemsOfTheOtherInterface) {
    window->set_pending_commands({});  // as it will be once every dialog is built
    QMenu* interfaces = window->menu(kInterfaceMenu);

    model.interface_kind = 1;
    emit interfaces->aboutToShow();
    EXPECT_FALSE(window->action(kComPort)->isEnabled());
    EXPECT_TRUE(window->action(kClientServer)->isEnabled());
    EXPECT_TRUE(window->action(kTcpSettings)->isEnabled());

    model.interface_kind = 0;
    emit window->menu(kFileMenu)->aboutToShow();  // any menu applies the rules
    EXPECT_TRUE(window->action(kComPort)->isEnabled());
    EXPECT_FALSE(window->action(kClientServer)->isEnabled());
    EXPECT_FALSE(window->action(kTcpSettings)->isEnabled());
    EXPECT_FALSE(window->action(kRcel)->isEnabled()) << "00RCEL is never enabled";
}

TEST_F(AppTest, ItemsWithoutTheirDialogsStayGreyed) {
    for (int kind : {0, 1}) {
        model.interface_kind = kind;
        emit window->menu(kSettingsMenu)->aboutToShow();
        for (int c : {kNew, kOpen, kSave, kSaveAs, kExit, kPageSwitch, kStartupPage, kVersion,
                      kGlyphNote, kTitleSetting, kSetAllItems, kReadSettings, kInterface}) {
            EXPECT_TRUE(window->action(c)->isEnabled()) << text_of(*window, c);
        }
        for (int c : {kRcel}) {
            EXPECT_FALSE(window->action(c)->isEnabled()) << text_of(*window, c);
        }
    }
}

TEST_F(AppTest, NetworkCommandsOnTcpAskForRs232c) {
    model.interface_kind = 1;
    emit window->menu(kProtocolMenu)->aboutToShow();
    for (int c : {kSlaveAddress, kProtocol}) {
        ASSERT_TRUE(window->action(c)->isEnabled()) << text_of(*window, c);
        ui.clear();
        window->action(c)->trigger();
        ASSERT_EQ(ui.boxes.size(), 1u) << text_of(*window, c);
        EXPECT_EQ(ui.boxes[0].kind, Box::error);
        EXPECT_EQ(ui.boxes[0].text, "インターフェースをRS-232Cにしてください。");
        EXPECT_EQ(ui.boxes[0].caption, "Error");
    }
    EXPECT_TRUE(opener.opened.empty());
    // On RS-232C they open their dialogs.
    model.interface_kind = 0;
    emit window->menu(kProtocolMenu)->aboutToShow();
    EXPECT_TRUE(window->action(kSlaveAddress)->isEnabled());
    EXPECT_TRUE(window->action(kProtocol)->isEnabled());
}

void right_click(QWidget& w, QPoint global) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, w.mapFromGlobal(global), global);
    QApplication::sendEvent(&w, &event);
}

TEST_F(AppTest, TenCornerClicksInARowAskForReadSettings) {
    int requests = 0;
    QObject::connect(window.get(), &MainWindow::read_settings_requested, [&] { ++requests; });

    for (int i = 0; i < 9; ++i) right_click(*window, QPoint(19, 0));
    right_click(*window, QPoint(20, 5));  // just outside: the count starts again
    EXPECT_EQ(clicks.count(), 0);
    for (int i = 0; i < 9; ++i) right_click(*window, QPoint(i, 19));
    EXPECT_EQ(requests, 0);
    right_click(*window, QPoint(0, 0));
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(clicks.count(), 0) << "the gesture starts again after it fired";

    // Opening a dialog also starts the count again.
    for (int i = 0; i < 6; ++i) right_click(*window, QPoint(3, 3));
    window->run_command(kPageSwitch);
    ASSERT_NE(opener.last<PageSwitchDialog>(), nullptr);
    EXPECT_EQ(clicks.count(), 0);
    for (int i = 0; i < 9; ++i) right_click(*window, QPoint(3, 3));
    EXPECT_EQ(requests, 1);
    right_click(*window, QPoint(3, 3));
    EXPECT_EQ(requests, 2);
}

QRgb rgb(int r, int g, int b) { return qRgb(r, g, b); }

TEST_F(AppTest, PanelPictureDrawsTheDeviceFront) {
    const QImage picture = window->panel()->grab().toImage();
    ASSERT_EQ(picture.size(), QSize(630, 150));
    auto at = [&](int x, int y) { return picture.pixel(x, y) & 0xFFFFFF; };
    const QRgb front = rgb(255, 255, 204) & 0xFFFFFF;
    const QRgb feet = rgb(34, 34, 34) & 0xFFFFFF;
    const QRgb ink = rgb(80, 80, 80) & 0xFFFFFF;
    const QRgb white = rgb(255, 255, 255) & 0xFFFFFF;

    EXPECT_EQ(at(0, 0), front);
    EXPECT_EQ(at(629, 131), front);
    EXPECT_EQ(at(629, 132), white) << "the front ends above row 132";
    EXPECT_EQ(at(60, 133), feet);
    EXPECT_EQ(at(119, 149), feet);
    EXPECT_EQ(at(120, 140), white);
    EXPECT_EQ(at(510, 140), feet);
    EXPECT_EQ(at(569, 149), feet);
    EXPECT_EQ(at(590, 140), white);
    // The lines: 3 pixels wide around y = 24, broken where "POWER" stands.
    for (int y : {23, 24, 25}) {
        EXPECT_EQ(at(12, y), ink) << y;
        EXPECT_EQ(at(300, y), ink) << y;
        EXPECT_EQ(at(512, y), ink) << y;
        EXPECT_EQ(at(600, y), ink) << y;
    }
    EXPECT_EQ(at(300, 22), front);
    EXPECT_EQ(at(300, 26), front);
    EXPECT_EQ(at(11, 24), front);
    EXPECT_EQ(at(515, 24), front) << "the line stops before POWER";

    // "TITLE GENERATOR" in the panel's ink, nothing darker.
    bool inked = false;
    bool darker = false;
    for (int y = 2; y < 20; ++y) {
        for (int x = 234; x < 400; ++x) {
            inked = inked || at(x, y) == ink;
            darker = darker || qGray(picture.pixel(x, y)) < 80;
        }
    }
    EXPECT_TRUE(inked);
    EXPECT_FALSE(darker);
}

TEST_F(AppTest, PanelShowsTheDocumentName) {
    EXPECT_EQ(window->panel()->name_text().toStdString(), "File Name ");
    const QImage unnamed = window->panel()->grab().toImage();
    model.document_path = "/srv/studio/スタジオA.dat";
    EXPECT_EQ(window->panel()->name_text().toStdString(), model.document_path);
    const QImage named = window->panel()->grab().toImage();
    // Only the name's row changed.
    EXPECT_EQ(unnamed.copy(0, 0, 630, 132), named.copy(0, 0, 630, 132));
    EXPECT_NE(unnamed.copy(124, 132, 506, 18), named.copy(124, 132, 506, 18));
    // A long name ends before the right foot.
    model.document_path = "/srv/" + std::string(300, 'x') + ".dat";
    EXPECT_EQ(unnamed.copy(506, 132, 124, 18),
              window->panel()->grab().toImage().copy(506, 132, 124, 18));
}

// The traffic log stays in the operator's hands while a dialog is open over the window.
TEST_F(AppTest, TrafficLogAnswersBesideAnOpenDialog) {
    window->show();
    window->run_command(kTrafficLog);
    TrafficLogWindow* log = window->traffic_window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(log));
    bool dialog_open = false;
    QTimer::singleShot(0, log, [&] {
        dialog_open = QApplication::activeModalWidget() != nullptr;
        // Through the window system, which withholds input from windows a modal one blocks.
        QPushButton* pause = log->pause_button();
        QTest::mouseClick(log->windowHandle(), Qt::LeftButton, {}, pause->mapTo(log, pause->rect().center()));
        QApplication::activeModalWidget()->close();
    });
    ModalDialogOpener().open(std::make_unique<PageSwitchDialog>(context, window.get()));
    EXPECT_TRUE(dialog_open);
    EXPECT_TRUE(log->paused());
}

// Frames sent, lines received and link events are told apart by colour; a long title frame
// reads whole below the list, which never scrolls sideways.
TEST_F(AppTest, TrafficLogColoursEachDirectionAndShowsALongFrameWhole) {
    window->run_command(kTrafficLog);
    TrafficLogWindow* log = window->traffic_window();
    log->resize(420, 300);
    const QString port = QStringLiteral("/dev/ttyS0");
    const QByteArray title = "00CT01T01" + QByteArray(28, 'X') + "\r\n";
    emit link.traffic(true, port, title);
    emit link.traffic(false, port, "00GO\r\n");
    emit link.answer_timed_out();
    log->flush();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(log->line_count(), 3);
    struct Row {
        const char* mark;
        TrafficLogModel::Direction direction;
    };
    const Row rows[] = {{" TX ", TrafficLogModel::Direction::sent},
                        {" RX ", TrafficLogModel::Direction::received},
                        {" -- ", TrafficLogModel::Direction::event}};
    std::set<QRgb> colours;
    for (int i = 0; i < 3; ++i) {
        const QModelIndex at = log->view()->model()->index(i, 0);
        EXPECT_TRUE(log->line(i).contains(QString::fromLatin1(rows[i].mark))) << i;
        EXPECT_EQ(TrafficLogModel::direction_of(log->line(i)), rows[i].direction) << i;
        colours.insert(at.data(Qt::ForegroundRole).value<QColor>().rgb());
        EXPECT_EQ(at.data(Qt::ToolTipRole).toString(), log->line(i));
    }
    EXPECT_EQ(colours.size(), 3u);
    EXPECT_EQ(log->view()->horizontalScrollBar()->maximum(), 0) << "no sideways scrolling";
    log->view()->setCurrentIndex(log->view()->model()->index(0, 0));
    EXPECT_EQ(log->detail()->text(), log->line(0));
    EXPECT_TRUE(log->detail()->text().contains(QString(28, QLatin1Char('X'))));
}

// A file another start handed over: the open commands' question first, then the document
// or the glyph list.
TEST_F(AppTest, HandedOverFilesOpenAsTheOpenCommandsOpenThem) {
    Model saved;
    ASSERT_TRUE(save_document(saved, file("a.dat")) && save_glyph_list(saved, file("g.tll")));
    const struct {
        const char* name;
        bool answer;  // to "open without saving?", asked for the unsaved document
        std::string document, glyphs;
    } cases[] = {{"a.dat", false, "", ""}, {"a.dat", true, file("a.dat"), ""},
                 {"g.tll", true, file("a.dat"), file("g.tll")}};
    for (const auto& c : cases) {
        model.document_dirty = 1;
        ui.answers = {c.answer};
        window->open_file(QString::fromStdString(file(c.name)));
        EXPECT_EQ(model.document_path, c.document) << c.name;
        EXPECT_EQ(model.glyph_list_path, c.glyphs) << c.name;
    }
    EXPECT_EQ(ui.questions.size(), 2u);
    EXPECT_NE(opener.last<GlyphListDialog>(), nullptr) << "a glyph list is shown in the list";
}

}  // namespace
}  // namespace tqv::test
