// The request executor on the fleet's lanes, against a device the test plays itself: what
// each way a lane's command can end answers the client, and what a device that is lost, or
// silent on the read of its state, does to the requests waiting behind.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "control/executor.h"
#include "core/commands.h"
#include "held_device.h"
#include "link/device_link.h"
#include "link/sim_process.h"
#include "support/recording_ui.h"

namespace {

using tqv::test::wait_until;

class ExecutorTest : public ::testing::Test {
  protected:
    struct Outcome {
        int status = 0;  // 0: not answered
        QString text;    // the "answer" or the "error"
        QString answer;  // the device's answer to a refused command
    };

    // The link connected as a TCP client to the test's device.
    bool connect_device() {
        model.interface_kind = 1;
        model.host_list[0] = {127, 0, 0, 1};
        model.host_count = 1;
        model.selected_peer = 0;
        tqv::set_slot_text(model.port_number, std::to_string(device.server.serverPort()));
        link.start_answer_timer();
        return link.tcp().socket_connect() == 1 && wait_until([this] {
                   return model.tcp_connected == 1 && device.socket != nullptr;
               });
    }
    // A page switch of 1T for the link's device; its answer lands in outcomes[returned].
    std::size_t page(int page) {
        outcomes.emplace_back();
        const std::size_t slot = outcomes.size() - 1;
        executor->submit(tqv::ControlCommand::Kind::page,
                         tqv::parse_control_command(tqv::ControlCommand::Kind::page, "1T",
                                                    std::to_string(page), nullptr, false),
                         "http", "test", [this, slot](int status, const QJsonObject& json) {
                             Outcome& o = outcomes[slot];
                             o.status = status;
                             o.text = json.contains("error") ? json["error"].toString()
                                                             : json["answer"].toString();
                             o.answer = json["answer"].toString();
                         });
        return slot;
    }
    tqv::FleetDevice own() const { return link.fleet().devices().front(); }
    bool all_answered() const {
        for (const Outcome& o : outcomes)
            if (o.status == 0) return false;
        return true;
    }

    std::string said;
    tqv::ControlLog::Sink sink = [this](const std::string& line) { said += line + "\n"; };
    tqv::ControlLog log{sink, {}};
    tqv::Model model;
    tqv::RecordingUi ui;
    tqv::DeviceLink link{model, ui};
    tqv::test::HeldDevice device;
    std::unique_ptr<tqv::RequestExecutor> executor = std::make_unique<tqv::RequestExecutor>(link, log);
    std::deque<Outcome> outcomes;  // stable while more are added
};

// The box the link raised about the command in flight is that command's error text, and
// only that command's: one raised while nothing of ours was in flight, or about a command
// that was answered, is no other's.
TEST_F(ExecutorTest, ABoxAboutTheCommandInFlightIsItsErrorTextAndNoOtherCommands) {
    ASSERT_TRUE(connect_device());
    struct Case { const char* name; const char* box; QByteArray answer; int status; QString text; };
    const Case cases[] = {
        {"refused, no box", nullptr, "00E3", 502, "E3"},
        {"refused, with a box", "ページ番号が不正です", "00E3", 502, "ページ番号が不正です"},
        {"answered, with a box", "ページ番号が不正です", "00GO", 200, "GO"},
        {"refused after a box that was not used", nullptr, "00E3", 502, "E3"},
    };
    executor->box_shown("nothing is in flight");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = device.lines.size();
        const std::size_t slot = page(5);
        ASSERT_TRUE(wait_until([&] { return device.lines.size() == before + 1; }));
        ASSERT_TRUE(executor->command_in_flight());
        if (c.box != nullptr) executor->box_shown(c.box);
        device.say(c.answer);
        ASSERT_TRUE(wait_until([&] { return outcomes[slot].status != 0; }));
        EXPECT_EQ(outcomes[slot].status, c.status);
        EXPECT_EQ(outcomes[slot].text, c.text);
        EXPECT_EQ(outcomes[slot].answer, c.status == 200 ? c.text : "E3");
        EXPECT_FALSE(executor->command_in_flight());
    }
    EXPECT_EQ(executor->waiting(), 0);
}

// A device holds kMaxWaiting requests besides the one in flight and its reads, which wait
// behind them and are not counted; when it is lost, every one of them ends at once with
// the link's reason, long before the guard would give them up.
TEST_F(ExecutorTest, WaitingRequestsAreCappedAndALostDeviceEndsThemAllAtOnce) {
    device.hold_reads = true;
    ASSERT_TRUE(connect_device());
    ASSERT_EQ(executor->read_device(own(), false).first, 202);
    const int reads = executor->waiting();
    ASSERT_GT(reads, 1);
    for (int i = 0; i < tqv::Fleet::kMaxWaiting; ++i) page(1 + i % 64);
    EXPECT_TRUE(std::none_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.status != 0; }));
    const std::size_t refused = page(9);
    EXPECT_EQ(outcomes[refused].status, 503);
    EXPECT_EQ(outcomes[refused].text, "too many requests waiting");
    EXPECT_EQ(executor->waiting(), reads + tqv::Fleet::kMaxWaiting);
    outcomes.pop_back();

    ASSERT_TRUE(wait_until([&] { return device.lines.size() == 1; }));
    QElapsedTimer clock;
    clock.start();
    device.socket->abort();
    ASSERT_TRUE(wait_until([&] { return all_answered() && executor->waiting() == 0; }));
    EXPECT_LT(clock.elapsed(), tqv::Fleet::kGuardMs / 3);
    for (const Outcome& o : outcomes) {
        EXPECT_EQ(o.status, 503);
        EXPECT_EQ(o.text, outcomes.front().text);
    }
    EXPECT_FALSE(outcomes.front().text.isEmpty());
    EXPECT_EQ(device.lines.size(), 1u) << "only the first read went out";
    EXPECT_NE(said.find("pages read, 0/"), std::string::npos) << said;
}

// A device silent on the read of its state would hold every request behind it as long
// again: they are answered 504 when the read times out, the other reads are not sent, and
// the lane serves the next request as before.
TEST_F(ExecutorTest, AReadTheDeviceDoesNotAnswerEndsTheRequestsBehindIt) {
    device.hold_reads = true;
    ASSERT_TRUE(connect_device());
    ASSERT_EQ(executor->read_device(own(), true).first, 202);
    page(3);
    page(4);
    ASSERT_TRUE(wait_until([&] { return all_answered(); }, 3 * tqv::SendPath::kTimeoutTicks * tqv::SendPath::kTickMs));
    for (const Outcome& o : outcomes) {
        EXPECT_EQ(o.status, 504);
        EXPECT_EQ(o.text, "the device did not answer the read of its state");
    }
    EXPECT_EQ(executor->waiting(), 0);
    EXPECT_NE(said.find("titles read, 0/"), std::string::npos) << said;
    ASSERT_EQ(device.lines.size(), 1u);

    const std::size_t next = page(6);
    ASSERT_TRUE(wait_until([&] { return device.lines.size() == 2; }));
    EXPECT_EQ(device.lines[1], "00P01T06");
    device.say("00GO");
    ASSERT_TRUE(wait_until([&] { return outcomes[next].status != 0; }));
    EXPECT_EQ(outcomes[next].status, 200);
}

// Devices that never came are absent, whatever the link: a read of one says so.
TEST_F(ExecutorTest, ALinkThatNeverOpenedIsAnAbsentDevice) {
    for (const int kind : {0, 1}) {
        SCOPED_TRACE(kind == 0 ? "serial" : "tcp client");
        model.interface_kind = kind;
        const tqv::FleetDevice d = own();
        EXPECT_EQ(tqv::status_name(d.status), "absent");
        const auto [status, text] = executor->read_device(d, false);
        EXPECT_EQ(status, 503);
        EXPECT_EQ(text, "device 1 is absent");
    }
}

// Requests still on a lane when the executor goes are neither sent nor answered.
TEST_F(ExecutorTest, RequestsOnALaneWhenTheExecutorGoesAreNotSent) {
    ASSERT_TRUE(connect_device());
    for (int p : {1, 2, 3}) page(p);
    ASSERT_TRUE(wait_until([&] { return device.lines.size() == 1; }));
    int sent = 0;
    QObject::connect(&link, &tqv::DeviceLink::traffic, [&sent](bool out) { sent += out; });
    executor.reset();
    device.say("00GO");
    ASSERT_TRUE(wait_until([&] { return link.fleet().waiting(1) == 0 && link.fleet().in_flight_on(link) == 0; }));
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(all_answered());
}

}  // namespace
