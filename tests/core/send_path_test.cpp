#include "core/send_path.h"

#include <gtest/gtest.h>

#include "core/answers.h"
#include "core/texts.h"
#include "core_fixture.h"

namespace tqv {
namespace {

using SendPathTest = CoreFixture;

TEST_F(SendPathTest, SlaveAddressFieldIsPutInFrontOfTheBody) {
    path.send_command("RCEL\r\n");
    model.slave_address_index = 12;
    path.send_command("RCEL\r\n");
    model.slave_address_index = 32;
    path.send_command("RCEL\r\n");
    ASSERT_EQ(serial.frames.size(), 3u);
    EXPECT_EQ(serial.frames[0], "00RCEL\r\n");
    EXPECT_EQ(serial.frames[1], "12RCEL\r\n");
    EXPECT_EQ(serial.frames[2], "FFRCEL\r\n");
}

TEST_F(SendPathTest, SerialBareCommandSendsTheBodyAloneAndStillAwaitsAnAnswer) {
    model.slave_address_index = 32;
    path.send_command("RCEL\r\n", Addressing::bare);
    EXPECT_EQ(serial.frames.at(0), "RCEL\r\n");
    EXPECT_EQ(model.answer_pending, 1);
}

TEST_F(SendPathTest, SerialBroadcastNeverReportsNoConnect) {
    model.slave_address_index = 32;
    path.send_command("P01T01\r\n");
    EXPECT_EQ(model.answer_pending, 0);
    for (int i = 0; i < 20; ++i) path.answer_timeout_tick();
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(SendPathTest, NoConnectOnTheSeventhTickOnlyOnce) {
    path.send_command("P01T01\r\n");
    for (int i = 0; i < 6; ++i) path.answer_timeout_tick();
    EXPECT_TRUE(ui.boxes.empty());
    path.answer_timeout_tick();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "No Connect");
    EXPECT_EQ(ui.boxes[0].kind, Box::error);
    EXPECT_EQ(model.answer_pending, 0);
    for (int i = 0; i < 10; ++i) path.answer_timeout_tick();
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(SendPathTest, OversizedBodyIsNeverSent) {
    path.send_command(std::string(598, 'A'));
    EXPECT_TRUE(serial.frames.empty());
    EXPECT_EQ(model.answer_pending, 0);
    path.send_command(std::string(597, 'A'));
    EXPECT_EQ(serial.frames.size(), 1u);
}

TEST_F(SendPathTest, TcpAlwaysPrefixesAndRefusesWithoutConnection) {
    model.interface_kind = 1;
    path.send_command("RCEL\r\n", Addressing::bare);
    EXPECT_TRUE(tcp.frames.empty());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Socket が接続されていません");
    EXPECT_EQ(ui.boxes[0].kind, Box::warning);

    model.tcp_connected = 1;
    path.send_command("RCEL\r\n", Addressing::bare);
    EXPECT_EQ(tcp.frames.at(0), "00RCEL\r\n");
    EXPECT_TRUE(serial.frames.empty());
}

TEST_F(SendPathTest, TcpPeerThatIsNotUsableIsRefusedLikeNoConnection) {
    use_tcp();
    tcp.up = false;  // e.g. selected_peer -1 in the server role
    path.send_command("RCEL\r\n");
    EXPECT_TRUE(tcp.frames.empty());
    EXPECT_EQ(ui.texts().at(0), "Socket が接続されていません");
}

TEST_F(SendPathTest, TcpKeepsOneCommandInFlightAndSendsTheRestInOrder) {
    use_tcp();
    path.send_command("A1\r\n");
    path.send_command("A2\r\n");
    path.send_command("A3\r\n");
    EXPECT_EQ(tcp.frames.size(), 1u);
    EXPECT_EQ(path.tcp_queued(), 2u);
    path.line_arrived(true);
    ASSERT_EQ(tcp.frames.size(), 2u);
    EXPECT_EQ(tcp.frames[1], "00A2\r\n");
    path.line_arrived(true);
    path.line_arrived(true);
    ASSERT_EQ(tcp.frames.size(), 3u);
    EXPECT_EQ(tcp.frames[2], "00A3\r\n");
    EXPECT_FALSE(path.tcp_in_flight());
}

TEST_F(SendPathTest, TcpAnswerTimeOutDropsWaitingCommandsAndNamesThem) {
    use_tcp();
    path.send_command("A1\r\n");
    path.send_command("A2\r\n");
    for (int i = 0; i < 6; ++i) path.answer_timeout_tick();
    EXPECT_TRUE(ui.boxes.empty());
    path.answer_timeout_tick();
    ASSERT_EQ(ui.boxes.size(), 1u);
    // The command that never went out is named, never dropped silently.
    EXPECT_EQ(ui.boxes[0].text, "Answer が､きません\n送信されなかったコマンド: A2");
    EXPECT_EQ(path.tcp_queued(), 0u);
    path.line_arrived(true);  // a late answer sends nothing more
    EXPECT_EQ(tcp.frames.size(), 1u);
}

TEST_F(SendPathTest, TcpSendFailureIsReported) {
    use_tcp();
    tcp.write_ok = false;
    path.send_command("A1\r\n");
    EXPECT_EQ(ui.texts().at(0), "Socket 送信");
    EXPECT_FALSE(path.tcp_in_flight());
}

TEST_F(SendPathTest, SerialBranchIsUsedDirectlyWhateverTheInterface) {
    use_tcp();
    path.serial_send("SA05\r\n", Addressing::bare);
    EXPECT_EQ(serial.frames.at(0), "SA05\r\n");
    EXPECT_TRUE(tcp.frames.empty());
}

TEST_F(SendPathTest, LinkReadyFollowsInterfaceAndConnection) {
    EXPECT_TRUE(path.link_ready());
    model.interface_kind = 1;
    EXPECT_FALSE(path.link_ready());
    model.tcp_connected = 1;
    EXPECT_TRUE(path.link_ready());
}

// Each single command ends one way, told to whoever answers for it.
TEST_F(SendPathTest, EverySingleCommandEndsOnceWithItsOutcome) {
    AnswerDispatcher dispatcher(path);
    std::vector<std::string> ends;
    path.exchange_ended.add([&](const ExchangeEnd& e) {
        ends.push_back(std::to_string(int(e.kind)) + " " + e.frame.substr(0, 6) + " " + e.answer);
    });
    use_tcp();
    path.send_command("RCWL\r\n");
    path.send_command("CWL3\r\n");
    dispatcher.dispatch_tcp("00CWL1\r\n");
    dispatcher.dispatch_tcp("00E3\r\n");
    path.send_command("RCEL\r\n");
    path.send_command("CEL2\r\n");
    for (int i = 0; i < SendPath::kTimeoutTicks; ++i) path.answer_timeout_tick();
    model.tcp_connected = 0;
    path.send_command("P01T05\r\n");
    EXPECT_EQ(ends, (std::vector<std::string>{
                        "0 00RCWL CWL1", "1 00CWL3 E3", "2 00RCEL Answer が､きません",
                        "3 00CEL2 Answer が､きません", "3 00P01T Socket が接続されていません"}));
}

}  // namespace
}  // namespace tqv
