// The fleet: a lane per device for single commands (on channels whose wire the test
// holds), and runs on many devices at once (on peers connected over 127.0.0.1).
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <array>
#include <map>
#include <random>
#include <set>

#include "core/answers.h"
#include "core/texts.h"
#include "fake_transport.h"
#include "link/device_link.h"
#include "link/fleet_run.h"
#include "recording_ui.h"
#include "sim_process.h"

namespace tqv {
namespace {

using test::wait_until;
using Kind = LaneEnd::Kind;

// A device on TCP whose frames the test reads and whose answers it writes.
class WireChannel : public Channel {
  public:
    WireChannel() {
        model_.interface_kind = 1;
        model_.tcp_connected = 1;
        path_.set_tcp_transport(&wire);
    }
    Model& model() override { return model_; }
    SendPath& send_path() override { return path_; }
    bool bytes_pending() const override { return false; }
    void answer(const std::string& text) { dispatcher_.dispatch_tcp("00" + text + "\r\n"); }

    FakeTransport wire;

  private:
    Model model_;
    RecordingUi ui_;
    SendPath path_{model_, ui_};
    AnswerDispatcher dispatcher_{path_};
};

class FleetLaneTest : public ::testing::Test {
  protected:
    FleetLaneTest() {
        fleet().set_locate([this](int number, std::string* why) -> Channel* {
            auto it = devices.find(number);
            if (it == devices.end() || away.count(number) != 0) {
                *why = "device " + std::to_string(number) + " is away";
                return nullptr;
            }
            return it->second.get();
        });
    }
    Fleet& fleet() { return link.fleet(); }
    WireChannel& device(int number) {
        auto& d = devices[number];
        if (!d) d = std::make_unique<WireChannel>();
        return *d;
    }
    // Queues `body` on device `number`; its end is logged as "<body> <kind> <text>".
    Fleet::Submitted submit(int number, const std::string& body, bool behind = false) {
        device(number);
        return fleet().submit(
            number, {[body](Channel& c) { return c.send_path().send_command(body + "\r\n"); },
                     [this, body](const LaneEnd& e) {
                         ends.push_back(body + " " + std::to_string(int(e.kind)) + " " + e.text);
                     },
                     behind});
    }
    std::string end(const std::string& body, Kind kind, const std::string& text) {
        return body + " " + std::to_string(int(kind)) + " " + text;
    }
    std::vector<std::string> frames(int number) {
        std::vector<std::string> out;
        for (const std::string& f : device(number).wire.frames)
            out.push_back(f.substr(2, f.size() - 4));
        return out;
    }

    Model model;
    RecordingUi ui;
    DeviceLink link{model, ui};
    std::map<int, std::unique_ptr<WireChannel>> devices;
    std::set<int> away;
    std::vector<std::string> ends;
};

// Each lane keeps one command in flight and sends the rest in the order they came; lanes
// of different devices do not wait for each other, and each command learns its own end.
TEST_F(FleetLaneTest, OneInFlightPerDeviceTheRestInOrder) {
    for (const char* body : {"P01T01", "P01T02", "P01T03"}) submit(1, body);
    submit(2, "P02T01");
    EXPECT_EQ(frames(1), std::vector<std::string>{"P01T01"});
    EXPECT_EQ(frames(2), std::vector<std::string>{"P02T01"});
    EXPECT_EQ(fleet().waiting(1), 2u);
    EXPECT_EQ(fleet().in_flight_on(device(1)), device(1).send_path().next_ticket() - 1);
    device(2).answer("GO");
    device(1).answer("GO");
    ASSERT_TRUE(wait_until([&] { return frames(1).size() == 2; }));
    device(1).answer("E3");
    ASSERT_TRUE(wait_until([&] { return frames(1).size() == 3; }));
    device(1).answer("GO");
    EXPECT_EQ(ends,
              (std::vector<std::string>{
                  end("P02T01", Kind::answered, "GO"), end("P01T01", Kind::answered, "GO"),
                  end("P01T02", Kind::error_answer, "E3"), end("P01T03", Kind::answered, "GO")}));
    EXPECT_EQ(fleet().in_flight_on(device(1)), Ticket{0});
}

// Every way a lane's command can end, each told once with its reason.
TEST_F(FleetLaneTest, EveryEndIsToldOnceWithItsReason) {
    fleet().set_guard_ms(50);
    struct Case {
        const char* what;
        std::function<void(WireChannel&)> before;  // the device before the command
        std::string body;
        std::function<void(WireChannel&)> after;  // what the device does then
        Kind kind;
        std::string text;
    };
    const std::string not_connected = text::kSocketNotConnected;
    const std::vector<Case> cases = {
        {"answered", {}, "RCWL", [](WireChannel& d) { d.answer("CWL1"); }, Kind::answered, "CWL1"},
        {"error answer",
         {},
         "CWL9",
         [](WireChannel& d) { d.answer("E3"); },
         Kind::error_answer,
         "E3"},
        {"no answer",
         {},
         "RCEL",
         [](WireChannel& d) {
             for (int i = 0; i < SendPath::kTimeoutTicks; ++i) d.send_path().answer_timeout_tick();
         },
         Kind::timeout,
         text::kAnswerTimeout},
        {"link down",
         [](WireChannel& d) { d.model().tcp_connected = 0; },
         "RCEL",
         {},
         Kind::not_sent,
         not_connected},
        {"lost",
         {},
         "RCEL",
         [](WireChannel& d) { d.send_path().link_lost(true, "cut"); },
         Kind::lost,
         "cut"},
        {"too long",
         {},
         std::string(SendPath::kMaxBody + 1, 'A'),
         {},
         Kind::unframed,
         "the command does not fit a frame"},
        {"no end told", {}, "", {}, Kind::guard, "no end of the exchange was told in time"},
        {"away", {}, "RCEL", {}, Kind::away, "device 9 is away"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int number = c.kind == Kind::away ? 9 : int(&c - cases.data()) + 1;
        if (c.kind == Kind::away) away.insert(9);
        WireChannel& d = device(number);
        if (c.before) c.before(d);
        ends.clear();
        if (c.body.empty()) {
            // A front end whose send takes a ticket but sends nothing of it.
            fleet().submit(number,
                           {[](Channel&) { return Ticket{77}; },
                            [this](const LaneEnd& e) {
                                ends.push_back(" " + std::to_string(int(e.kind)) + " " + e.text);
                            }});
        } else {
            submit(number, c.body);
        }
        if (c.after) c.after(d);
        ASSERT_TRUE(wait_until([&] { return !ends.empty(); }, 2000));
        EXPECT_EQ(ends, std::vector<std::string>{end(c.body, c.kind, c.text)});
        EXPECT_EQ(fleet().in_flight_on(d), Ticket{0});
    }
}

// Somebody else's command on the same channel, even with the same body, is not the lane's:
// the lane's command gets its own answer.
TEST_F(FleetLaneTest, AnotherSendersCommandIsNotTheLanes) {
    WireChannel& d = device(1);
    d.send_path().send_command("RCWL\r\n");  // a dialog's, in flight first
    submit(1, "RCWL");
    d.answer("CWL1");
    EXPECT_TRUE(ends.empty());
    d.answer("CWL2");
    EXPECT_EQ(ends, std::vector<std::string>{end("RCWL", Kind::answered, "CWL2")});
}

// The lane holds kMaxWaiting requests; the program's own reads wait behind them all and do
// not count. A lost device ends what waits with the link's reason; clear_lane drops the rest.
TEST_F(FleetLaneTest, BoundedOrderedAndEndedWithTheDevice) {
    submit(1, "R1", true);
    submit(1, "R2", true);
    for (int i = 0; i < Fleet::kMaxWaiting; ++i)
        EXPECT_EQ(submit(1, "C" + std::to_string(i)), Fleet::Submitted::queued);
    EXPECT_EQ(submit(1, "X"), Fleet::Submitted::full);
    EXPECT_EQ(submit(1, "R3", true), Fleet::Submitted::queued);
    EXPECT_EQ(frames(1), std::vector<std::string>{"R1"});
    device(1).answer("GO");
    ASSERT_TRUE(wait_until([&] { return frames(1).size() == 2; }));
    EXPECT_EQ(frames(1).back(), "C0");  // the requests went ahead of the waiting reads
    fleet().clear_lane(1, "cleared");
    EXPECT_EQ(ends.size(), 1u + Fleet::kMaxWaiting + 1);
    EXPECT_EQ(ends.back(), end("R3", Kind::dropped, "cleared"));
    EXPECT_EQ(ends[ends.size() - 2], end("R2", Kind::dropped, "cleared"));

    ends.clear();
    submit(1, "A");
    submit(1, "B");
    device(1).send_path().link_lost(true, "gone");  // C0 and A were in flight and waiting
    EXPECT_EQ(ends,
              (std::vector<std::string>{end("C0", Kind::lost, "gone"), end("A", Kind::away, "gone"),
                                        end("B", Kind::away, "gone")}));
    EXPECT_EQ(fleet().waiting(1), 0u);
}

// Randomized: commands on several devices, answered in any interleaving, each end exactly
// once, in order per device, with the answer meant for it.
TEST_F(FleetLaneTest, RandomInterleavingsKeepEachDevicesOrder) {
    std::mt19937 random(7310);
    std::map<int, int> submitted;
    std::map<int, int> answered;
    for (int round = 0; round < 200; ++round) {
        const int number = 1 + int(random() % 4);
        if (random() % 2 == 0) {
            submit(number,
                   "P" + std::to_string(number) + "T" + std::to_string(submitted[number]++));
        } else if (fleet().in_flight_on(device(number)) != 0) {
            device(number).answer("N" + std::to_string(answered[number]++));
        }
        QCoreApplication::processEvents();
    }
    std::map<int, int> seen;
    for (const std::string& e : ends) {
        const int number = e[1] - '0';
        const int k = seen[number]++;
        EXPECT_EQ(e, end("P" + std::to_string(number) + "T" + std::to_string(k), Kind::answered,
                         "N" + std::to_string(k)));
    }
    for (auto [number, n] : answered) EXPECT_EQ(seen[number], n);
}

// ---- Runs on many devices at once.

// A part the test steps and ends by hand.
class HandPart : public FleetPart {
  public:
    explicit HandPart(std::map<int, HandPart*>& parts, int number)
        : parts_(parts), number_(number) {
        parts_[number_] = this;
    }
    ~HandPart() override { parts_.erase(number_); }
    void start() override { step(0, 10); }
    void stop() override { end(false, "stopped"); }
    std::optional<int> remaining_ms() const override { return remaining; }
    void step(int step, int total) { report_step(step, total); }
    void end(bool ok, const QString& text) { report_end(ok, text); }
    std::optional<int> remaining = 0;

  private:
    std::map<int, HandPart*>& parts_;
    int number_;
};

class FleetRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        model.interface_kind = 1;
        model.tcp_role = 1;
        model.selected_peer = -1;
        set_slot_text(model.port_number, "0");
        ASSERT_EQ(link.tcp().socket_listen(), 1);
        for (auto& s : sockets) {
            s = std::make_unique<QTcpSocket>();
            s->connectToHost(QStringLiteral("127.0.0.1"), link.tcp().server_port());
        }
        ASSERT_TRUE(wait_until([&] { return link.fleet().connected().size() == sockets.size(); }));
        QObject::connect(&run, &FleetRun::finished,
                         [this](int ok, int failed) { finished.emplace_back(ok, failed); });
    }
    void start(int refused = 0) {
        run.set_devices(link.fleet().connected());
        ASSERT_TRUE(
            run.start([&](const FleetRun::Member& m, Channel&) -> std::unique_ptr<FleetPart> {
                if (m.number == refused) return nullptr;
                return std::make_unique<HandPart>(parts, m.number);
            }));
    }
    QTcpSocket& socket_of(int entry) {
        for (auto& s : sockets)
            if (s->localPort() == link.tcp().peer_port(entry)) return *s;
        throw std::logic_error("no such peer");
    }
    std::vector<std::string> outcomes() {
        std::vector<std::string> out;
        for (const auto& m : run.members())
            out.push_back(std::to_string(m.step) + "/" + std::to_string(m.total) + " " +
                          m.outcome.toStdString());
        return out;
    }

    Model model;
    RecordingUi ui;
    DeviceLink link{model, ui};
    std::array<std::unique_ptr<QTcpSocket>, 3> sockets;
    std::map<int, HandPart*> parts;  // before the run, which deletes them
    FleetRun run{link.fleet(), {QStringLiteral("running"), QStringLiteral("done")}};
    std::vector<std::pair<int, int>> finished;
};

// Every member runs at its own pace; the end comes once, when the last has ended, with
// how many completed and failed; a report after a member's end changes nothing.
TEST_F(FleetRunTest, EachDeviceAtItsOwnPaceAndOneEnd) {
    start();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(outcomes(),
              (std::vector<std::string>{"0/10 running", "0/10 running", "0/10 running"}));
    parts.at(1)->step(4, 10);
    parts.at(2)->step(9, 10);
    parts.at(1)->remaining = 300;
    parts.at(3)->remaining = 900;
    EXPECT_EQ(run.steps_out(), 13);
    EXPECT_EQ(run.steps_total(), 30);
    EXPECT_EQ(run.remaining_ms(), 900);
    parts.at(3)->remaining.reset();
    EXPECT_EQ(run.remaining_ms(), std::nullopt);
    parts.at(2)->end(true, {});
    parts.at(2)->step(1, 10);
    parts.at(1)->end(false, "E3 at step 4");
    EXPECT_TRUE(finished.empty());
    EXPECT_TRUE(run.running());
    parts.at(3)->end(true, {});
    EXPECT_EQ(outcomes(),
              (std::vector<std::string>{"4/10 E3 at step 4", "9/10 done", "0/10 done"}));
    EXPECT_EQ(finished, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_FALSE(run.running());
}

// A device that goes away ends its own part only (deleted with its channel); a device
// without a part fails at once; the stop reaches every part still running.
TEST_F(FleetRunTest, AGoneDeviceEndsOnlyItsOwnPart) {
    start(3);
    EXPECT_EQ(parts.size(), 2u);
    EXPECT_EQ(run.members()[2].outcome.toStdString(), text::kSocketNotConnected);
    socket_of(1).abort();
    ASSERT_TRUE(wait_until([&] { return run.members()[0].done; }));
    EXPECT_EQ(parts.count(1), 0u);
    EXPECT_FALSE(run.members()[1].done);
    EXPECT_TRUE(finished.empty());
    run.stop();
    EXPECT_EQ(outcomes(), (std::vector<std::string>{
                              "0/10 " + std::string(text::kSocketNotConnected), "0/10 stopped",
                              "0/0 " + std::string(text::kSocketNotConnected)}));
    EXPECT_EQ(finished, (std::vector<std::pair<int, int>>{{0, 3}}));
}

}  // namespace
}  // namespace tqv
