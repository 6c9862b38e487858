// The interface, COM port, role and slave address dialogs: what each choice stores, where,
// and when; and the "SA" command as it leaves on the serial line.
#include <fcntl.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <cstdlib>
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
    const int pty = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(pty, 0);
    ASSERT_EQ(grantpt(pty) | unlockpt(pty), 0);
    const QString pts = QString::fromLatin1(ptsname(pty));
    const std::vector<FoundPort> found = {{"/dev/ttyS2", "16550A", -1, -1},
                                          {"/dev/ttyUSB0", "FT232R USB UART", 0x403, 0x6001},
                                          {pts, "", -1, -1}};
    const struct {
        std::string device;      // com_device at opening
        int choose;              // the item OK takes
        std::string shown;       // what the list showed at opening
        std::string com_port;    // the keys after OK
        std::string com_device;
    } cases[] = {
        {"", 7, "COM 2", "-", ""},
        {"/dev/ttyUSB0", 2, "/dev/ttyUSB0  FT232R USB UART (0403:6001)", "2", ""},
        {"/dev/ttyACM9", 7, "/dev/ttyACM9  (見つかりません)", "-", ""},
    };
    for (const auto& c : cases) {
        config.set(kConfigSection, "com_port", "-");
        model.com_port_index = 1;
        model.com_device = c.device;
        ComPortDialog dialog(context, nullptr, found);
        QComboBox* list = dialog.com_port_list();
        EXPECT_EQ(list->currentText().toStdString(), c.shown);
        EXPECT_EQ(list->itemText(2).toStdString(), "COM 3  16550A") << "COM 1..6 keep their place";
        EXPECT_EQ(list->count(), c.device == "/dev/ttyACM9" ? 9 : 8);
        list->setCurrentIndex(c.choose);
        const std::string chosen = dialog.path_of(c.choose).toStdString();
        dialog.ok_button()->click();
        EXPECT_EQ(ini("com_port"), c.com_port);
        EXPECT_EQ(ini("com_device"), c.choose < 6 ? "" : chosen);
        Model reread;
        read_configuration(reread, config);
        EXPECT_EQ(reread.com_device, model.com_device) << "the next start opens the same port";
        EXPECT_EQ(link.serial().last_path().toStdString(), chosen) << "opened at once";
    }
    EXPECT_TRUE(link.serial().is_open());
    ComPortDialog reopened(context, nullptr, found);
    EXPECT_EQ(reopened.in_use_label()->text().section(u'\n', 0, 0),
              QString::fromUtf8("使用中: %1 (オープン)").arg(pts));
    link.shutdown();
    ::close(pty);
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
    EXPECT_EQ(window->windowTitle().toStdString(), text::kClientCaption);
    dialog->role_list()->setCurrentIndex(1);
    dialog->ok_button()->click();
    EXPECT_EQ(window->windowTitle().toStdString(), text::kServerCaption);
}

}  // namespace
}  // namespace tqv::test
