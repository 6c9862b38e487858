// The TCP transport in both roles against simulated devices.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <map>

#include "core/commands.h"
#include "core/texts.h"
#include "link/device_link.h"
#include "recording_ui.h"
#include "sim_process.h"

namespace tqv {
namespace {

using test::Sim;
using test::wait_until;

class TcpLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not built";
        model.interface_kind = 1;
        model.host_list[0] = {127, 0, 0, 1};
        model.host_count = 1;
        model.selected_peer = 0;
    }
    void set_port(quint16 port) { set_slot_text(model.port_number, std::to_string(port)); }
    // Client role: a device listening, connected as the client dialog does it.
    bool connect_to(QStringList extra = {}) {
        sim = std::make_unique<Sim>(QStringList{"--listen", "0"} + extra, "listening");
        if (!sim->ready()) return false;
        set_port(quint16(sim->value().toUInt()));
        QSignalSpy connected(&tcp(), &TcpLink::connected);
        if (tcp().socket_connect() != 1 || !connected.wait(5000)) return false;
        model.tcp_connected = 1;
        return true;
    }
    // Server role, listening on a free port.
    bool listen() {
        model.tcp_role = 1;
        set_slot_text(model.port_number, "0");
        return tcp().socket_listen() == 1;
    }
    QStringList connect_args(int count, const char* address = "00") {
        return {"--connect", QStringLiteral("127.0.0.1:%1").arg(tcp().server_port()),
                "--count",   QString::number(count),
                "--address", address};
    }
    bool wait_peers(int n) {
        return wait_until([&] { return tcp().count_peers() == n; });
    }
    bool wait_answers(int n) {
        return wait_until([&] { return answers.count() >= n; });
    }
    void send(std::string_view body) { link.send_path().send_command(body); }
    TcpLink& tcp() { return link.tcp(); }

    Model model;
    RecordingUi ui;
    DeviceLink link{model, ui};
    QSignalSpy answers{&link, &DeviceLink::answer_applied};
    std::unique_ptr<Sim> sim;
};

TEST_F(TcpLinkTest, ClientCommandsGoOneAfterTheOtherAndAnswersUpdateTheModel) {
    ASSERT_TRUE(connect_to({"--split"}));  // each answer in two pieces
    EXPECT_TRUE(tcp().link_up());
    model.white_level = 3;
    send_white_level(link.send_path());
    model.white_level = 0;
    send("RCWL\r\n");  // waits for the answer of the first
    EXPECT_EQ(link.send_path().tcp_queued(), 1u);
    ASSERT_TRUE(wait_answers(2));
    EXPECT_EQ(answers.count(), 2);
    EXPECT_EQ(model.white_level, 3);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketOk});
    EXPECT_FALSE(link.send_path().tcp_in_flight());
}

TEST_F(TcpLinkTest, ClientSeesTheDeviceClosingItsConnection) {
    ASSERT_TRUE(connect_to({"--no-answer"}));
    QSignalSpy closed(&tcp(), &TcpLink::link_closed);
    send("RCWL\r\n");
    sim->stop();
    ASSERT_TRUE(wait_until([&] { return closed.count() > 0; }));
    EXPECT_FALSE(tcp().client_socket_open());
    EXPECT_FALSE(link.send_path().tcp_in_flight());
    // The command on its way lost its answer: said once, not left to a time-out.
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketNotConnected});
    send("RCWL\r\n");
    EXPECT_EQ(ui.texts().size(), 2u);
}

TEST_F(TcpLinkTest, RefusedConnectionIsAnEventError) {
    QTcpServer probe;  // a port that nobody listens on once the probe is closed
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    set_port(probe.serverPort());
    probe.close();
    EXPECT_EQ(tcp().socket_connect(), 1);  // the outcome comes as an event
    ASSERT_TRUE(wait_until([&] { return !ui.boxes.empty(); }));
    EXPECT_EQ(ui.boxes[0].text, text::kSocketEventError);
    EXPECT_EQ(ui.boxes[0].kind, Box::error_owned);
    EXPECT_FALSE(tcp().client_socket_open());
    model.tcp_connected = 1;
    EXPECT_FALSE(tcp().link_up());

    ui.clear();
    model.selected_peer = 1;  // beyond the host list
    EXPECT_EQ(tcp().socket_connect(), 0);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kCannotConnect});
    EXPECT_EQ(ui.boxes[0].caption, text::kAppCaption);
}

TEST_F(TcpLinkTest, SilentDeviceTimesOutOnTheTicksAndDropsTheQueue) {
    ASSERT_TRUE(connect_to({"--no-answer"}));
    send("RCWL\r\n");
    send("RCEL\r\n");
    for (int i = 0; i < SendPath::kTimeoutTicks - 1; ++i) link.answer_tick();
    EXPECT_TRUE(ui.boxes.empty());
    link.answer_tick();
    EXPECT_EQ(ui.texts(), std::vector<std::string>{std::string(text::kAnswerTimeout) + "\n" +
                                                   text::kNotSent + " RCEL"});
    EXPECT_FALSE(link.send_path().tcp_in_flight());
    EXPECT_EQ(link.send_path().tcp_queued(), 0u);
}

TEST_F(TcpLinkTest, ErrorAnswerIsShown) {
    ASSERT_TRUE(connect_to({"--error", "E3"}));
    send("CWL3\r\n");
    ASSERT_TRUE(wait_answers(1));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketCommand});
}

TEST_F(TcpLinkTest, ServerTakesDevicesAndSendsToTheChosenOne) {
    ASSERT_TRUE(listen());
    QSignalSpy changed(&tcp(), &TcpLink::peers_changed);
    Sim devices(connect_args(3), "connected");
    ASSERT_EQ(devices.value(), "3");
    ASSERT_TRUE(wait_peers(3));
    EXPECT_GE(changed.count(), 3);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(tcp().peer_address(i), "127.0.0.1");
    EXPECT_EQ(tcp().peer(4).in_use, 0);

    model.tcp_connected = 1;
    for (int entry : {-1, 0, 4, 97}) {
        model.selected_peer = entry;
        EXPECT_FALSE(tcp().link_up()) << entry;
        EXPECT_FALSE(tcp().write("00RCWL\r\n")) << entry;
        EXPECT_EQ(tcp().caption_suffix(), "") << entry;  // nothing read beyond the table
    }
    model.selected_peer = 2;
    EXPECT_EQ(tcp().caption_suffix(), " 127.0.0.1");
    model.white_level = 0;
    send("RCWL\r\n");
    ASSERT_TRUE(wait_answers(1));
    EXPECT_EQ(model.white_level, 1);

    link.shutdown();
    EXPECT_EQ(model.running, 0);
    EXPECT_FALSE(tcp().listening());
    EXPECT_EQ(tcp().count_peers(), 0);
    EXPECT_EQ(tcp().peer_address(2), "");
}

// Device 1 leaves a piece of a line and never finishes it; device 2's answer is its own,
// and its command does not wait for device 1's late answer.
TEST_F(TcpLinkTest, EachDeviceHasItsOwnLineAndPendingState) {
    ASSERT_TRUE(listen());
    QTcpSocket one, two;
    for (QTcpSocket* d : {&one, &two}) {
        d->connectToHost(QHostAddress::LocalHost, tcp().server_port());
        ASSERT_TRUE(d->waitForConnected(5000));
        ASSERT_TRUE(wait_peers(d == &one ? 1 : 2));
    }
    model.tcp_connected = 1;
    model.selected_peer = 1;
    send("RCWL\r\n");
    one.write("00GARB");
    ASSERT_TRUE(one.waitForBytesWritten(5000));
    ASSERT_TRUE(wait_until([&] { return model.tcp_line.pending_bytes() > 0; }));
    for (int i = 0; i < SendPath::kTimeoutTicks; ++i) link.answer_tick();
    ui.clear();

    model.selected_peer = 2;
    send("RCWL\r\n");
    ASSERT_TRUE(wait_until([&] { return two.bytesAvailable() > 0 || two.waitForReadyRead(50); }));
    EXPECT_EQ(two.readAll().toStdString(), "00RCWL\r\n");
    two.write("00CWL3\r\n");
    ASSERT_TRUE(wait_answers(1));
    EXPECT_EQ(model.white_level, 3);
    EXPECT_TRUE(ui.boxes.empty());
}

// With allow_listed_only, only the devices of the host list are taken.
TEST_F(TcpLinkTest, OnlyListedDevicesAreTakenWhenAsked) {
    model.allow_listed_only = 1;
    model.host_list[0] = {127, 0, 0, 2};
    ASSERT_TRUE(listen());
    QSignalSpy rejected(&tcp(), &TcpLink::peer_rejected);
    for (const bool listed : {false, true}) {
        if (listed) model.host_list[1] = {127, 0, 0, 1}, model.host_count = 2;
        QTcpSocket device;
        device.connectToHost(QHostAddress::LocalHost, tcp().server_port());
        ASSERT_TRUE(wait_until([&] { return rejected.count() > int(listed) || tcp().count_peers() > 0; }));
        EXPECT_EQ(tcp().count_peers(), listed ? 1 : 0);
        EXPECT_EQ(rejected.count(), 1);
    }
}

TEST_F(TcpLinkTest, LeavingDeviceFreesItsEntryAndTheNextTakesTheLowestFree) {
    ASSERT_TRUE(listen());
    std::vector<std::unique_ptr<Sim>> devices;
    for (const char* address : {"01", "02", "03"}) {
        devices.push_back(std::make_unique<Sim>(connect_args(1, address), "connected"));
        ASSERT_TRUE(wait_peers(int(devices.size())));
    }
    QSignalSpy changed(&tcp(), &TcpLink::peers_changed);
    devices[1]->stop();
    ASSERT_TRUE(wait_peers(2));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(tcp().peer(2).in_use, 0);
    EXPECT_EQ(tcp().peer_address(2), " ");

    Sim newcomer(connect_args(1, "04"), "connected");
    ASSERT_TRUE(wait_peers(3));
    EXPECT_EQ(tcp().peer(2).in_use, 1);
    // Entry 2 now reaches the device at address 04.
    model.selected_peer = 2;
    model.tcp_connected = 1;
    model.slave_address_index = 4;
    model.white_level = 0;
    send("RCWL\r\n");
    ASSERT_TRUE(wait_answers(1));
    EXPECT_EQ(model.white_level, 1);
}

// The program's devices are told apart by address: each one seen since listening counts,
// up while a connection from it is, until the operator closes the server.
TEST_F(TcpLinkTest, DevicesSeenAreCountedByAddressAndUpWhileConnected) {
    ASSERT_TRUE(listen());
    std::map<QString, std::unique_ptr<QTcpSocket>> devices;
    auto come = [&](const char* from) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(QString::fromLatin1(from)));
        socket->connectToHost(QHostAddress::LocalHost, tcp().server_port());
        devices[QString::fromLatin1(from) + QString::number(devices.size())] = std::move(socket);
    };
    auto down = [&] {
        QStringList out;
        for (const PeerSet::Known& k : link.peers().known())
            if (!k.up) out << k.address;
        return out.join(',');
    };
    for (const char* from : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) come(from);
    ASSERT_TRUE(wait_peers(3));
    EXPECT_EQ(link.peers().known().size(), 3u);
    EXPECT_EQ(link.peers().known_up(), 3);
    devices.begin()->second->abort();  // 127.0.0.2
    ASSERT_TRUE(wait_peers(2));
    EXPECT_EQ(link.peers().known_up(), 2);
    EXPECT_EQ(down(), "127.0.0.2");
    come("127.0.0.2");  // back
    come("127.0.0.3");  // a second connection from one device's address
    ASSERT_TRUE(wait_peers(4));
    EXPECT_EQ(link.peers().known().size(), 3u);
    EXPECT_EQ(link.peers().known_up(), 3);
    EXPECT_EQ(down(), "");
    tcp().socket_shutdown();
    EXPECT_TRUE(link.peers().known().empty());
}

TEST_F(TcpLinkTest, NinetySeventhDeviceIsClosedAtOnceWithoutAMessage) {
    ASSERT_TRUE(listen());
    Sim many(connect_args(96), "connected");
    ASSERT_EQ(many.value(), "96");
    ASSERT_TRUE(wait_peers(96));
    QSignalSpy changed(&tcp(), &TcpLink::peers_changed);
    QSignalSpy refused(&tcp(), &TcpLink::peer_refused);
    Sim one_more(connect_args(1), "connected");
    ASSERT_TRUE(wait_until([&] { return refused.count() > 0; }));
    EXPECT_EQ(tcp().count_peers(), 96);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(TcpLinkTest, ListenPortHasLeadingZerosAndABusyPortCannotBeBound) {
    model.tcp_role = 1;
    QTcpServer busy;  // a free four-digit port, written with a leading zero
    quint16 port = 9004;
    while (port < 9999 && !busy.listen(QHostAddress::AnyIPv4, port)) ++port;
    ASSERT_TRUE(busy.isListening());
    busy.close();
    set_slot_text(model.port_number, "0" + std::to_string(port));
    ASSERT_EQ(tcp().socket_listen(), 1);
    EXPECT_EQ(tcp().server_port(), port);
    EXPECT_EQ(tcp().socket_listen(), 1);  // already listening
    EXPECT_EQ(tcp().server_port(), port);

    DeviceLink second(model, ui);
    EXPECT_EQ(second.tcp().socket_listen(), 0);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kCannotBind});
    EXPECT_EQ(ui.boxes[0].caption, text::kAppCaption);
    EXPECT_FALSE(second.tcp().listening());
}

}  // namespace
}  // namespace tqv
