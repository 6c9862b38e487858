// The server dialog with devices really connected: simulated devices for the road of a
// command, plain sockets where the test must choose which device leaves.
#include "network/tcp_server_dialog.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "core/commands.h"
#include "core/texts.h"
#include "network_fixture.h"
#include "sim_process.h"

namespace tqv::test {
namespace {

const std::string kNoPlace(16, ' ');

class ServerDialog : public NetworkTest {
  protected:
    void SetUp() override {
        NetworkTest::SetUp();
        model.interface_kind = 1;
        model.tcp_role = 1;
        model.selected_peer = -1;
        // A port the system has just given out as free: the field takes no port 0.
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        set_slot_text(model.port_number, QString::number(probe.serverPort()).toStdString());
    }
    // Devices that connect from the test itself, so that it decides which one leaves.
    void connect_devices(TcpServerDialog& dialog, int n) {
        for (int i = 0; i < n; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(QHostAddress::LocalHost, link.tcp().server_port());
            devices.push_back(std::move(socket));
            ASSERT_TRUE(wait_until([&] { return dialog.client_list()->count() == i + 1; }));
        }
    }
    std::string place(const TcpServerDialog& dialog) const {
        return dialog.transmission_place()->text().toStdString();
    }
    std::vector<std::unique_ptr<QTcpSocket>> devices;
};

TEST_F(ServerDialog, ChosenSimulatedDeviceReceivesTheCommand) {
    if (!sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
    auto dialog = std::make_unique<TcpServerDialog>(context, nullptr);
    dialog->show();
    dialog->connect_button()->click();
    ASSERT_TRUE(link.tcp().listening());
    EXPECT_FALSE(dialog->connect_button()->isEnabled());
    EXPECT_TRUE(dialog->disconnect_button()->isEnabled());

    const QString log = dir.filePath(QStringLiteral("sim.log"));
    const QString target = QStringLiteral("127.0.0.1:%1").arg(link.tcp().server_port());
    Sim sim({QStringLiteral("--connect"), target, QStringLiteral("--count"), QStringLiteral("2"),
             QStringLiteral("--log"), log},
            "connected");
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(wait_until([&] { return dialog->client_list()->count() == 2; }));
    EXPECT_EQ(rows(dialog->client_list()), (std::vector<std::string>{"127.0.0.1", "127.0.0.1"}));
    EXPECT_FALSE(dialog->port_field()->isEnabled());

    double_click_row(dialog->client_list(), 1);
    EXPECT_EQ(model.selected_peer, 2);
    EXPECT_EQ(model.tcp_connected, 1);
    EXPECT_EQ(place(*dialog), "127.0.0.1");

    send_page_switch(link.send_path(), 0);
    ASSERT_TRUE(wait_until([&] { return !ui.boxes.empty(); }));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketOk});
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("< 00P01T01\\r\\n"), 1);

    // Reopened, the dialog shows the devices and the chosen one again.
    dialog.reset();
    dialog = std::make_unique<TcpServerDialog>(context, nullptr);
    EXPECT_EQ(dialog->client_list()->count(), 2);
    EXPECT_EQ(place(*dialog), "127.0.0.1");
    EXPECT_FALSE(dialog->connect_button()->isEnabled());

    dialog->disconnect_button()->click();
    EXPECT_EQ(dialog->client_list()->count(), 0);
    EXPECT_EQ(place(*dialog), kNoPlace);
    EXPECT_EQ(model.selected_peer, -1);
    EXPECT_EQ(model.tcp_connected, 0);
    EXPECT_FALSE(link.tcp().listening());
    EXPECT_TRUE(dialog->connect_button()->isEnabled());
    EXPECT_FALSE(dialog->disconnect_button()->isEnabled());
}

TEST_F(ServerDialog, RowsFollowTheirDevicesAndTheChosenOneLeavingIsForgotten) {
    TcpServerDialog dialog(context, nullptr);
    dialog.show();
    dialog.connect_button()->click();
    connect_devices(dialog, 3);
    EXPECT_EQ(dialog.row_entries(), (std::vector<int>{1, 2, 3}));

    devices[1]->disconnectFromHost();
    ASSERT_TRUE(wait_until([&] { return dialog.client_list()->count() == 2; }));
    EXPECT_EQ(dialog.row_entries(), (std::vector<int>{1, 3}));
    double_click_row(dialog.client_list(), 1);
    EXPECT_EQ(model.selected_peer, 3);
    EXPECT_EQ(model.tcp_connected, 1);
    EXPECT_EQ(link.tcp().peer(3).peer_socket->peerPort(), devices[2]->localPort());

    // Another device leaving changes nothing for the chosen one.
    devices[0]->disconnectFromHost();
    ASSERT_TRUE(wait_until([&] { return dialog.client_list()->count() == 1; }));
    EXPECT_EQ(model.selected_peer, 3);
    EXPECT_EQ(place(dialog), "127.0.0.1");

    devices[2]->disconnectFromHost();
    ASSERT_TRUE(wait_until([&] { return dialog.client_list()->count() == 0; }));
    EXPECT_EQ(model.selected_peer, -1);
    EXPECT_EQ(model.tcp_connected, 0);
    EXPECT_EQ(place(dialog), kNoPlace);
    // Still listening: 切断 stays available to stop it.
    EXPECT_TRUE(link.tcp().listening());
    EXPECT_TRUE(dialog.disconnect_button()->isEnabled());
    EXPECT_FALSE(dialog.connect_button()->isEnabled());
}

TEST_F(ServerDialog, HostIndexFromTheClientRoleIsNotShownAsAPeer) {
    model.selected_peer = 200;
    set_slot_text(model.port_number, "09004");
    TcpServerDialog dialog(context, nullptr);
    EXPECT_EQ(place(dialog), kNoPlace);
    // A double click with no device connected chooses nothing.
    dialog.choose_peer(0);
    EXPECT_EQ(model.selected_peer, -1);
    EXPECT_EQ(model.tcp_connected, 0);
    dialog.close_button()->click();
    EXPECT_EQ(ini("port_number"), "09004");
}

}  // namespace
}  // namespace tqv::test
