// The page switch and start-up page dialogs: what they show when they open, what a choice
// writes, and which command each "設定" button sends.
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTcpSocket>

#include "app/menu_commands.h"
#include "app/page_switch_dialog.h"
#include "app/startup_page_dialog.h"
#include "app_fixture.h"
#include "fake_transport.h"

namespace tqv::test {
namespace {

using namespace command;

using PageDialogTest = DialogTest;

TEST_F(PageDialogTest, OpeningShowsTheModelAndTakesOverAnswers) {
    model.current_page = {4, kAutoPage, 0, 63};
    model.startup_page = {1, 2, 3, kAutoPage};
    model.slave_address_index = kBroadcastIndex;
    model.selected_peer = -1;
    for (int i = 0; i < 4; ++i) clicks.click(1, 1);

    auto* dialog = open<PageSwitchDialog>(kPageSwitch);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "表示ページ切換え");
    EXPECT_EQ(context.windows.notify_window.data(), static_cast<QWidget*>(dialog));
    EXPECT_NE(context.windows.message_owner.data(), nullptr);
    EXPECT_EQ(clicks.count(), 0);
    const char* expected[] = {"05", "AUTO", "01", "64"};
    for (int line = 0; line < 4; ++line) {
        QComboBox* list = list_named(*dialog, kTitleLineGroups[line]);
        ASSERT_EQ(list, dialog->page_list(line)) << kTitleLineGroups[line];
        EXPECT_EQ(list->count(), 65);
        EXPECT_EQ(list->currentText().toStdString(), expected[line]);
        EXPECT_EQ(qobject_cast<QGroupBox*>(list->parentWidget())->title().toStdString(),
                  kTitleLineGroups[line]);
    }
    QComboBox* address = list_named(*dialog, "Slave Address");
    ASSERT_EQ(address, dialog->slave_address_list());
    EXPECT_EQ(address->count(), 33);
    EXPECT_EQ(address->itemText(0).toStdString(), "00");
    EXPECT_EQ(address->currentText().toStdString(), "Bloadcast");

    dialog->close();
    EXPECT_EQ(context.windows.notify_window.data(), nullptr) << "no answers for a closed dialog";

    auto* startup = open<StartupPageDialog>(kStartupPage);
    ASSERT_NE(startup, nullptr);
    EXPECT_EQ(startup->windowTitle().toStdString(), "スタートアップの設定");
    EXPECT_EQ(startup->page_list(0)->currentText().toStdString(), "02");
    EXPECT_EQ(startup->page_list(3)->currentText().toStdString(), "AUTO");
}

TEST_F(PageDialogTest, AValueNoListItemShowsLeavesTheListEmpty) {
    model.current_page[2] = 70;  // from a hand-edited document
    auto* dialog = open<PageSwitchDialog>(kPageSwitch);
    EXPECT_EQ(dialog->page_list(2)->currentIndex(), -1);
    EXPECT_EQ(model.current_page[2], 70);
    EXPECT_EQ(model.document_dirty, 0);
}

TEST_F(PageDialogTest, ChoicesGoIntoTheModelAtOnceAndSendNothing) {
    auto* dialog = open<PageSwitchDialog>(kPageSwitch);
    dialog->slave_address_list()->setCurrentIndex(12);
    EXPECT_EQ(model.slave_address_index, 12);
    EXPECT_EQ(model.document_dirty, 0) << "the slave address is not part of the document";

    dialog->page_list(3)->setCurrentIndex(kAutoPage);
    EXPECT_EQ(model.current_page[3], kAutoPage);
    EXPECT_EQ(model.document_dirty, 1);
    dialog->close();

    model.document_dirty = 0;
    auto* startup = open<StartupPageDialog>(kStartupPage);
    EXPECT_EQ(startup->slave_address_list()->currentIndex(), 12) << "the choice carries over";
    startup->page_list(1)->setCurrentIndex(7);
    EXPECT_EQ(model.startup_page[1], 7);
    EXPECT_EQ(model.current_page[1], 0);
    EXPECT_EQ(model.document_dirty, 1);
    EXPECT_TRUE(wire.frames.empty());
}

TEST_F(PageDialogTest, EachButtonSendsItsOwnLine) {
    model.current_page = {4, kAutoPage, 0, 63};
    auto* dialog = open<PageSwitchDialog>(kPageSwitch);
    for (int line : {3, 0, 2, 1}) dialog->set_button(line)->click();
    EXPECT_EQ(wire.frames, (std::vector<std::string>{"00P02B64\r\n", "00P01T05\r\n", "00P02T01\r\n",
                                                     "00P01BAS\r\n"}));
    dialog->close();

    wire.frames.clear();
    model.startup_page = {kAutoPage, 0, 0, 9};
    auto* startup = open<StartupPageDialog>(kStartupPage);
    startup->slave_address_list()->setCurrentIndex(kBroadcastIndex);
    startup->set_button(0)->click();
    startup->set_button(3)->click();
    EXPECT_EQ(wire.frames, (std::vector<std::string>{"FFSUS01TAS\r\n", "FFSUS02B10\r\n"}));
}

TEST_F(PageDialogTest, CaptionNamesTheSelectedPeer) {
    // Server role with one device connected, chosen as the target of the commands.
    QTcpSocket device;
    ASSERT_TRUE(connect_one_device(device));
    ASSERT_EQ(link.tcp().peer_address(1), "127.0.0.1");

    auto* dialog = open<PageSwitchDialog>(kPageSwitch);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "表示ページの切換え 127.0.0.1");
    dialog->close();
    auto* startup = open<StartupPageDialog>(kStartupPage);
    EXPECT_EQ(startup->windowTitle().toStdString(), "スタートアップの設定 127.0.0.1");
    startup->close();

    // A host index of the client role beyond the peer table: no address to show.
    model.selected_peer = 200;
    dialog = open<PageSwitchDialog>(kPageSwitch);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "表示ページ切換え");
}

}  // namespace
}  // namespace tqv::test
