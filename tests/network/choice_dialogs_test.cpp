// The interface, COM port, role and slave address dialogs and the TCP dialogs' port: what
// each choice stores, where, and when; and the "SA" command as it leaves on the serial line.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include "app/menu_commands.h"
#include "app_fixture.h"
#include "core/texts.h"
#include "network/com_port_dialog.h"
#include "network/interface_dialog.h"
#include "network/role_dialog.h"
#include "network/slave_address_dialog.h"
#include "network/tcp_client_dialog.h"
#include "network/tcp_server_dialog.h"
#include "network_fixture.h"

namespace tqv::test {
namespace {

using ChoiceDialogs = NetworkTest;

TEST_F(ChoiceDialogs, InterfaceChoiceIsStoredBeforeOk) {
    InterfaceDialog dialog(context, nullptr);
    EXPECT_EQ(dialog.interface_list()->currentText().toStdString(), "RS-232C");

    dialog.interface_list()->setCurrentIndex(1);
    EXPECT_EQ(model.interface_kind, 1);
    EXPECT_EQ(ini("Interface"), "1");

    // Close keeps what was chosen.
    dialog.close_button()->click();
    EXPECT_EQ(model.interface_kind, 1);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(ChoiceDialogs, InterfaceAndRoleAreLockedWhileConnected) {
    model.tcp_connected = 1;
    model.interface_kind = 1;
    model.tcp_role = 1;
    InterfaceDialog interface(context, nullptr);
    RoleDialog role(context, nullptr);
    for (QComboBox* list : {interface.interface_list(), role.role_list()}) {
        EXPECT_FALSE(list->isEnabled());
        EXPECT_EQ(list->currentIndex(), -1);
    }
    // Why, and what to do about it, is said beside the list.
    for (QLabel* note : {interface.lock_note(), role.lock_note()}) {
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->text().toStdString(), text::kLockedWhileConnected);
    }
    interface.ok_button()->click();
    role.ok_button()->click();
    EXPECT_EQ(model.interface_kind, 1);
    EXPECT_EQ(model.tcp_role, 1);
    EXPECT_EQ(ini("Interface"), "-");
    EXPECT_EQ(ini("ClientServer"), "-");

    // Once disconnected, the role is stored the moment it is chosen.
    model.tcp_connected = 0;
    RoleDialog free_role(context, nullptr);
    free_role.role_list()->setCurrentIndex(0);
    EXPECT_EQ(ini("ClientServer"), "0");
}

// A client connection the device drops leaves the interface and the role free at once, and
// changing either ends the attempts to connect again, as 切断 of the client dialog does.
TEST_F(ChoiceDialogs, AfterALostConnectionTheInterfaceAndRoleAreFree) {
    const struct {
        bool role;  // the role dialog, else the interface dialog
        int choose;  // -1: 切断 in the client dialog instead
    } cases[] = {{false, 0}, {true, 1}, {false, -1}};
    for (const auto& c : cases) {
        QTcpServer device;
        ASSERT_TRUE(device.listen(QHostAddress::LocalHost));
        model.interface_kind = 1;
        model.tcp_role = 0;
        model.host_list[0] = {127, 0, 0, 1};
        model.host_count = 1;
        model.selected_peer = 0;
        set_slot_text(model.port_number, std::to_string(device.serverPort()));
        link.set_auto_reconnect(true);
        link.set_reconnect_backoff(60000, 60000);  // no attempt comes within the test
        QSignalSpy events(&link, &DeviceLink::link_event);
        QSignalSpy connected(&link.tcp(), &TcpLink::connected);
        ASSERT_EQ(link.tcp().socket_connect(), 1);
        ASSERT_TRUE(connected.wait(5000));
        ASSERT_TRUE(device.hasPendingConnections() || device.waitForNewConnection(5000));
        QTcpSocket* far_end = device.nextPendingConnection();
        ASSERT_NE(far_end, nullptr);
        EXPECT_EQ(model.tcp_connected, 1);
        auto list_of = [&](std::unique_ptr<QDialog>& dialog) {
            if (c.role) {
                auto* d = new RoleDialog(context, nullptr);
                dialog.reset(d);
                return std::make_pair(d->role_list(), d->lock_note());
            }
            auto* d = new InterfaceDialog(context, nullptr);
            dialog.reset(d);
            return std::make_pair(d->interface_list(), d->lock_note());
        };
        std::unique_ptr<QDialog> dialog;
        EXPECT_NE(list_of(dialog).second, nullptr) << "locked while connected";

        QSignalSpy closed(&link.tcp(), &TcpLink::link_closed);
        far_end->close();
        ASSERT_TRUE(closed.wait(5000));
        EXPECT_EQ(model.tcp_connected, 0);
        EXPECT_TRUE(link.tcp_connecting());
        auto [list, note] = list_of(dialog);
        EXPECT_EQ(note, nullptr);
        EXPECT_TRUE(list->isEnabled());
        EXPECT_EQ(list->currentIndex(), c.role ? model.tcp_role : model.interface_kind);
        if (c.choose >= 0) {
            list->setCurrentIndex(c.choose);
        } else {
            TcpClientDialog client(context, nullptr);
            EXPECT_TRUE(client.connect_button()->isEnabled());
            ASSERT_TRUE(client.disconnect_button()->isEnabled());
            client.disconnect_button()->click();
            EXPECT_FALSE(client.disconnect_button()->isEnabled());
        }
        EXPECT_FALSE(link.tcp_connecting()) << "the attempts end with the change";
        ASSERT_EQ(events.count(), 2);
        EXPECT_EQ(events[0][1].toString(), QStringLiteral("接続しました"));
        EXPECT_EQ(events[1][1].toString(), QStringLiteral("切断されました"));
        EXPECT_EQ(events[1][0].toString(), events[0][0].toString()) << "named as it was connected";
        EXPECT_TRUE(events[0][0].toString().startsWith(QStringLiteral("127.0.0.1:")));
        link.tcp().socket_shutdown();
    }
}

TEST_F(ChoiceDialogs, ComPortIsStoredOnlyByOk) {
    model.com_port_index = 0;
    {
        ComPortDialog dialog(context, nullptr, {});
        ASSERT_EQ(dialog.com_port_list()->count(), 6);
        dialog.com_port_list()->setCurrentIndex(2);
        EXPECT_EQ(dialog.com_port_list()->currentText().toStdString(), "COM 3");
        dialog.close_button()->click();
    }
    EXPECT_EQ(model.com_port_index, 0);
    EXPECT_EQ(ini("com_port"), "-");

    ComPortDialog dialog(context, nullptr, {});
    dialog.com_port_list()->setCurrentIndex(2);
    dialog.ok_button()->click();
    EXPECT_EQ(model.com_port_index, 2);
    EXPECT_EQ(ini("com_port"), "2");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// The ports the system has, the one configured, and what OK leaves in the file and the link.
TEST_F(ChoiceDialogs, ComPortListsTheFoundPortsAndOpensTheChoiceAtOnce) {
    const std::vector<FoundPort> found = {{"/dev/ttyS2", "16550A"},
                                          {"/dev/ttyUSB0", "FT232R USB UART", 0x403, 0x6001}};
    const struct {
        std::string device;  // com_device at opening
        int choose;
        const char *shown, *com_port;
    } cases[] = {{"", 6, "COM 1", "-"},
                 {"/dev/ttyUSB0", 2, "/dev/ttyUSB0  FT232R USB UART (0403:6001)", "2"},
                 {"/dev/ttyACM9", 7, "/dev/ttyACM9  (見つかりません)", "-"}};
    for (const auto& c : cases) {
        config.set(kConfigSection, "com_port", "-");
        model.com_device = c.device;
        ComPortDialog dialog(context, nullptr, found);
        EXPECT_EQ(dialog.com_port_list()->currentText().toStdString(), c.shown);
        EXPECT_EQ(dialog.com_port_list()->itemText(2).toStdString(), "COM 3  16550A");
        dialog.com_port_list()->setCurrentIndex(c.choose);
        const QString chosen = dialog.path_of(c.choose);
        dialog.ok_button()->click();
        EXPECT_EQ(ini("com_port"), c.com_port);
        EXPECT_EQ(ini("com_device"), c.choose < 6 ? "" : chosen.toStdString());
        EXPECT_EQ(link.serial().last_path(), chosen) << "opened at once";
        EXPECT_TRUE(ComPortDialog(context, nullptr).in_use_label()->text().contains(chosen));
    }
}

// Whatever ends the TCP dialogs, a port that is none keeps them open and unsaved.
TEST_F(ChoiceDialogs, TcpDialogsCloseOnlyOnAPortAndSaveOnlyIt) {
    auto check = [&](QDialog& dialog, QLineEdit* field) {
        dialog.show();
        config.set(kConfigSection, "port_number", "-");
        for (const char* typed : {"70000", "0", "", "09004"}) {
            const bool valid = typed == std::string("09004");
            ui.clear();
            field->clear();
            QTest::keyClicks(field, QString::fromLatin1(typed));
            QTest::keyClick(&dialog, Qt::Key_Escape);
            EXPECT_EQ(dialog.isVisible(), !valid) << typed;
            EXPECT_EQ(ini("port_number"), valid ? "09004" : "-") << typed;
            EXPECT_EQ(ui.texts(), std::vector<std::string>(valid ? 0 : 1, text::kPortInvalid));
        }
    };
    TcpClientDialog client(context, nullptr);
    check(client, client.port_field());
    TcpServerDialog server(context, nullptr);
    check(server, server.port_field());
}

TEST_F(ChoiceDialogs, SlaveAddressGoesOutBareOnTheSerialLine) {
    model.slave_address_index = 4;
    SlaveAddressDialog dialog(context, nullptr);
    // The device cannot take the broadcast address: "00".."31" only.
    ASSERT_EQ(dialog.slave_address_list()->count(), 32);
    EXPECT_EQ(dialog.slave_address_list()->itemText(31).toStdString(), "31");

    dialog.slave_address_list()->setCurrentIndex(31);
    EXPECT_EQ(model.slave_address_index, 31);
    dialog.set_button()->click();
    ASSERT_EQ(serial.frames.size(), 1u);
    EXPECT_EQ(serial.frames[0], "SA31\r\n");
    // The bare command leaves nothing behind: any other command, with the dialog still
    // open, carries the address.
    context.link.send_path().send_command("RVN\r\n");
    ASSERT_EQ(serial.frames.size(), 2u);
    EXPECT_EQ(serial.frames[1], "31RVN\r\n");
}

TEST_F(ChoiceDialogs, BroadcastChoiceShowsNoSelectionAndSendsItsDigits) {
    model.slave_address_index = kBroadcastIndex;
    // Chosen on TCP/IP in another dialog: "SA" still goes to the serial line.
    model.interface_kind = 1;
    SlaveAddressDialog dialog(context, nullptr);
    EXPECT_EQ(dialog.slave_address_list()->currentIndex(), -1);
    dialog.set_button()->click();
    ASSERT_EQ(serial.frames.size(), 1u);
    EXPECT_EQ(serial.frames[0], "SA32\r\n");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AppTest, ClosingTheRoleDialogOnServerSetsTheServerCaption) {
    model.interface_kind = 1;
    model.tcp_role = 0;
    window->run_command(command::kClientServer);
    auto* dialog = opener.last<RoleDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(window->windowTitle().toStdString(), std::string("無題 - ") + text::kClientCaption);
    dialog->role_list()->setCurrentIndex(1);
    dialog->ok_button()->click();
    EXPECT_EQ(window->windowTitle().toStdString(), std::string("無題 - ") + text::kServerCaption);
}

}  // namespace
}  // namespace tqv::test
