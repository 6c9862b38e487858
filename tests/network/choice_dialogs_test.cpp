// The interface, COM port, role and slave address dialogs: what each choice stores, where,
// and when; and the "SA" command as it leaves on the serial line.
#include <QComboBox>
#include <QPushButton>

#include "app/menu_commands.h"
#include "app_fixture.h"
#include "core/texts.h"
#include "network/com_port_dialog.h"
#include "network/interface_dialog.h"
#include "network/role_dialog.h"
#include "network/slave_address_dialog.h"
#include "network_fixture.h"

namespace tqv::test {
namespace {

using ChoiceDialogs = NetworkTest;

TEST_F(ChoiceDialogs, InterfaceChoiceIsStoredBeforeOk) {
    model.address_prefix_on = 0;
    InterfaceDialog dialog(context, nullptr);
    EXPECT_EQ(dialog.interface_list()->currentText().toStdString(), "RS-232C");
    EXPECT_EQ(model.address_prefix_on, 1);

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

TEST_F(ChoiceDialogs, ComPortIsStoredOnlyByOk) {
    model.com_port_index = 0;
    {
        ComPortDialog dialog(context, nullptr);
        ASSERT_EQ(dialog.com_port_list()->count(), 6);
        dialog.com_port_list()->setCurrentIndex(2);
        EXPECT_EQ(dialog.com_port_list()->currentText().toStdString(), "COM 3");
        dialog.close_button()->click();
    }
    EXPECT_EQ(model.com_port_index, 0);
    EXPECT_EQ(ini("com_port"), "-");

    ComPortDialog dialog(context, nullptr);
    dialog.com_port_list()->setCurrentIndex(2);
    dialog.ok_button()->click();
    EXPECT_EQ(model.com_port_index, 2);
    EXPECT_EQ(ini("com_port"), "2");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(ChoiceDialogs, SlaveAddressGoesOutBareOnTheSerialLine) {
    model.address_prefix_on = 1;
    model.slave_address_index = 4;
    SlaveAddressDialog dialog(context, nullptr);
    // The device cannot take the broadcast address: "00".."31" only.
    ASSERT_EQ(dialog.slave_address_list()->count(), 32);
    EXPECT_EQ(dialog.slave_address_list()->itemText(31).toStdString(), "31");
    EXPECT_EQ(model.address_prefix_on, 0);

    dialog.slave_address_list()->setCurrentIndex(31);
    EXPECT_EQ(model.slave_address_index, 31);
    dialog.set_button()->click();
    ASSERT_EQ(serial.frames.size(), 1u);
    EXPECT_EQ(serial.frames[0], "SA31\r\n");
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
