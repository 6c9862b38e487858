// The client dialog: the host list as the operator edits it and as the configuration file
// keeps it, the choice of host, and a real connection to a simulated device.
#include "network/tcp_client_dialog.h"

#include <QLineEdit>
#include <QPushButton>

#include "core/texts.h"
#include "network_fixture.h"
#include "sim_process.h"

namespace tqv::test {
namespace {

class ClientDialog : public NetworkTest {
  protected:
    void add_hosts(std::initializer_list<Ipv4> hosts) {
        for (const Ipv4& h : hosts) {
            model.host_list[std::size_t(model.host_count)] = h;
            write_host(model, config, model.host_count);
            ++model.host_count;
        }
        write_host_count(model, config);
    }
    std::vector<std::string> host_keys(int host) const {
        std::vector<std::string> out;
        for (int j = 0; j < 4; ++j)
            out.push_back(config.get(kConfigSection, host_key(host, j), "-"));
        return out;
    }
    static void type(QLineEdit* field, const char* text) {
        field->clear();
        QTest::keyClicks(field, QString::fromLatin1(text));
    }
};

using Keys = std::vector<std::string>;

TEST_F(ClientDialog, AddingAHostShowsItsRowAndWritesItsKeys) {
    TcpClientDialog dialog(context, nullptr);
    type(dialog.address_field(), "192.168.1.3");
    dialog.add_button()->click();

    EXPECT_EQ(rows(dialog.host_list()), std::vector<std::string>{"192 .168 .001 .003"});
    EXPECT_EQ(model.host_count, 1);
    EXPECT_EQ(ini("list_count"), "1");
    EXPECT_EQ(host_keys(0), (Keys{"192", "168", "1", "3"}));
}

TEST_F(ClientDialog, AddingRefusesAnIncompleteAddressAndAFullList) {
    TcpClientDialog dialog(context, nullptr);
    type(dialog.address_field(), "10.1.1");
    dialog.add_button()->click();
    ASSERT_EQ(ui.texts(), std::vector<std::string>{text::kAddressInvalid});
    EXPECT_EQ(model.host_count, 0);
    EXPECT_EQ(dialog.host_list()->count(), 0);
    EXPECT_EQ(ini("list_count"), "-");

    // 256 hosts fill the list and the file's keys.
    ui.clear();
    model.host_count = kHostListSize;
    type(dialog.address_field(), "10.0.0.1");
    dialog.add_button()->click();
    ASSERT_EQ(ui.texts(), std::vector<std::string>{text::kHostListFull});
    EXPECT_EQ(model.host_count, kHostListSize);
    EXPECT_EQ(ini("list_count"), "-");
}

TEST_F(ClientDialog, DeletingMovesTheLaterHostsDown) {
    add_hosts({{10, 0, 0, 1}, {10, 0, 0, 2}, {10, 0, 0, 3}});
    model.selected_peer = 1;
    TcpClientDialog dialog(context, nullptr);
    ASSERT_EQ(dialog.host_list()->count(), 3);

    // Without a chosen row nothing is deleted.
    ASSERT_EQ(dialog.host_list()->currentRow(), -1);
    dialog.delete_button()->click();
    EXPECT_EQ(model.host_count, 3);

    dialog.host_list()->setCurrentRow(0);
    dialog.delete_button()->click();
    EXPECT_EQ(rows(dialog.host_list()),
              (std::vector<std::string>{"010 .000 .000 .002", "010 .000 .000 .003"}));
    EXPECT_EQ(model.host_count, 2);
    EXPECT_EQ(model.host_list[0], (Ipv4{10, 0, 0, 2}));
    EXPECT_EQ(model.host_list[1], (Ipv4{10, 0, 0, 3}));
    EXPECT_EQ(ini("list_count"), "2");
    EXPECT_EQ(host_keys(0), (Keys{"10", "0", "0", "2"}));
    EXPECT_EQ(host_keys(1), (Keys{"10", "0", "0", "3"}));
    // The former last host's keys stay; list_count hides them.
    EXPECT_EQ(host_keys(2), (Keys{"10", "0", "0", "3"}));
    EXPECT_EQ(model.selected_peer, 1);
}

TEST_F(ClientDialog, NoHostChosenShowsNothingAndConnectsNowhere) {
    add_hosts({{10, 0, 0, 1}, {10, 0, 0, 2}});
    for (int chosen : {-1, 2, 255}) {
        SCOPED_TRACE(chosen);
        ui.clear();
        model.selected_peer = chosen;
        model.tcp_connected = 0;
        TcpClientDialog dialog(context, nullptr);
        EXPECT_TRUE(dialog.address_field()->text().isEmpty());
        dialog.connect_button()->click();
        EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kCannotConnect});
        EXPECT_EQ(model.tcp_connected, 0);
        EXPECT_FALSE(link.tcp().client_socket_open());
    }
}

TEST_F(ClientDialog, ClosingWritesThePortAsTyped) {
    set_slot_text(model.port_number, "1");
    TcpClientDialog dialog(context, nullptr);
    dialog.show();
    type(dialog.port_field(), "090041");
    EXPECT_EQ(dialog.port_field()->text().toStdString(), "09004");
    EXPECT_EQ(slot_text(model.port_number), "09004");
    dialog.ok_button()->click();
    EXPECT_EQ(ini("port_number"), "09004");
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ClientDialog, DoubleClickedHostIsTheOneConnectedTo) {
    if (!sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
    Sim sim({QStringLiteral("--listen"), QStringLiteral("0")}, "listening");
    ASSERT_TRUE(sim.ready());
    // Only the third host answers; the others are documentation addresses nobody owns.
    add_hosts({{192, 0, 2, 1}, {192, 0, 2, 2}, {127, 0, 0, 1}});
    model.selected_peer = 0;

    TcpClientDialog dialog(context, nullptr);
    dialog.show();
    EXPECT_EQ(dialog.address_field()->text().toStdString(), "192.0.2.1");
    double_click_row(dialog.host_list(), 2);
    EXPECT_EQ(model.selected_peer, 2);
    EXPECT_EQ(ini("select_number"), "2");
    EXPECT_EQ(dialog.address_field()->text().toStdString(), "127.0.0.1");

    // The field's text is only the address to add; 接続 takes the chosen host.
    type(dialog.address_field(), "192.0.2.9");
    type(dialog.port_field(), sim.value().toLatin1().constData());
    dialog.connect_button()->click();
    ASSERT_TRUE(wait_until([&] { return !ui.boxes.empty(); }));
    EXPECT_EQ(ui.boxes[0].text, text::kSocketConnectOk);
    EXPECT_EQ(ui.boxes[0].caption, "Success");
    EXPECT_EQ(model.tcp_connected, 1);
    EXPECT_FALSE(dialog.connect_button()->isEnabled());
    EXPECT_TRUE(dialog.disconnect_button()->isEnabled());

    ui.clear();
    dialog.disconnect_button()->click();
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketDisconnectOk});
    EXPECT_EQ(model.tcp_connected, 0);
    EXPECT_FALSE(link.tcp().client_socket_open());
    EXPECT_TRUE(dialog.connect_button()->isEnabled());
    EXPECT_FALSE(dialog.disconnect_button()->isEnabled());

    // The device closing the connection offers 接続 again.
    dialog.connect_button()->click();
    ASSERT_TRUE(wait_until([&] { return model.tcp_connected == 1; }));
    sim.stop();
    ASSERT_TRUE(wait_until([&] { return model.tcp_connected == 0; }));
    EXPECT_TRUE(dialog.connect_button()->isEnabled());
    EXPECT_FALSE(dialog.disconnect_button()->isEnabled());
}

}  // namespace
}  // namespace tqv::test
