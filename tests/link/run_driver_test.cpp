// The run driver over a channel whose device the test plays: both paces, the wait for the
// device, stop, and each way a run ends, told once.
#include "link/run_driver.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "core/answers.h"
#include "core/bulk.h"
#include "core/texts.h"
#include "fake_transport.h"
#include "recording_ui.h"

namespace tqv {
namespace {

class FakeChannel : public Channel {
  public:
    FakeChannel() {
        path.set_serial_transport(&wire);
        path.set_tcp_transport(&wire);
        m.tcp_connected = 1;
    }
    Model& model() override { return m; }
    SendPath& send_path() override { return path; }
    bool bytes_pending() const override { return false; }

    Model m;
    RecordingUi ui;
    FakeTransport wire;
    SendPath path{m, ui};
    AnswerDispatcher dispatcher{path};
};

struct RunDriverTest : ::testing::Test {
    FakeChannel channel;
    RunDriver driver{channel};
    std::vector<std::pair<RunEnd, QString>> ends;
    std::vector<int> steps;

    void SetUp() override {
        QObject::connect(&driver, &RunDriver::ended,
                         [this](RunEnd why, const QString& text) { ends.emplace_back(why, text); });
        QObject::connect(&driver, &RunDriver::stepped, [this](int step) { steps.push_back(step); });
    }
    void answer(const std::string& text) {
        const std::string line = "00" + text + "\r\n";
        if (channel.m.interface_kind == 0) {
            channel.dispatcher.serial_receive(line);
        } else {
            channel.dispatcher.tcp_receive(line);
        }
    }
    void settle() { QCoreApplication::processEvents(); }
};

TEST_F(RunDriverTest, TheFixedPaceStepsOnItsTimerAndTheAnswerPaceOnEachAnswer) {
    // Fixed pace, serial: a step each time the pace runs out; answers change nothing.
    ASSERT_TRUE(driver.start(std::make_unique<BulkTransfer>(BulkKind::display_lines), false));
    EXPECT_TRUE(driver.pace_timer().isActive());
    EXPECT_EQ(driver.pace_timer().interval(), 500);
    for (int i = 0; i < 4; ++i) driver.pace_elapsed();
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(ends.empty()) << "the last answers are still owed";
    for (int i = 0; i < 4; ++i) answer("GO");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, RunEnd::completed);

    // Paced by the answers: the next step as soon as the answer before is in, never sooner.
    steps.clear();
    ASSERT_TRUE(driver.start(std::make_unique<BulkTransfer>(BulkKind::display_lines), true));
    EXPECT_FALSE(driver.pace_timer().isActive());
    for (int i = 0; i < 4; ++i) {
        settle();
        settle();
        EXPECT_EQ(int(steps.size()), i + 1);
        answer("GO");
    }
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[1].first, RunEnd::completed);
    EXPECT_EQ(channel.wire.frames.size(), 8u);
}

TEST_F(RunDriverTest, EachWayARunEndsIsToldOnce) {
    struct Case {
        const char* name;
        RunEnd end;
        std::function<void(RunDriverTest&)> act;
        const char* text;
    };
    const Case cases[] = {
        {"stop", RunEnd::stopped, [](RunDriverTest& t) { t.driver.stop(); },
         "ステップ 2/4 (CTD01B) で中止しました。\n応答済み 1/4"},
        {"error", RunEnd::error_answer, [](RunDriverTest& t) { t.answer("E3"); },
         "ステップ 1/4 (CTD01T) で中断しました。\nCommand Error\n応答済み 0/4"},
        {"time-out", RunEnd::timeout,
         [](RunDriverTest& t) {
             for (int i = 0; i < SendPath::kTimeoutTicks; ++i) t.channel.path.answer_timeout_tick();
         },
         "ステップ 1/4 (CTD01T) で中断しました。\nNo Connect\n応答済み 0/4"},
        {"lost", RunEnd::link_lost,
         [](RunDriverTest& t) { t.channel.path.link_lost(false, text::kSerialPortLost); },
         "ステップ 1/4 (CTD01T) で中断しました。\nCOM port が切断されました\n応答済み 0/4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ends.clear();
        channel.ui.clear();
        ASSERT_TRUE(driver.start(std::make_unique<BulkTransfer>(BulkKind::display_lines), false));
        driver.pace_elapsed();
        if (c.end == RunEnd::stopped) answer("GO");
        c.act(*this);
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].first, c.end);
        EXPECT_EQ(ends[0].second.toStdString(), c.text);
        EXPECT_EQ(channel.ui.texts(), std::vector<std::string>{c.text});
        EXPECT_FALSE(driver.running());
        EXPECT_FALSE(run_under_way(channel.m));
        driver.pace_elapsed();  // a tick left over does nothing
        EXPECT_EQ(ends.size(), 1u);
        // Whatever the device still owed is given up before the next case.
        for (int i = 0; i < 2 * SendPath::kTimeoutTicks; ++i) channel.path.answer_timeout_tick();
        channel.ui.clear();
    }
}

// On TCP at the fixed pace a device slower than the pace holds the steps back: what went
// out is what the progress counts, and nothing waits in a queue.
TEST_F(RunDriverTest, OnTcpTheFixedPaceWaitsForTheAnswerBefore) {
    channel.m.interface_kind = 1;
    ASSERT_TRUE(driver.start(std::make_unique<BulkTransfer>(BulkKind::set_all), false));
    for (int i = 0; i < 5; ++i) driver.pace_elapsed();
    EXPECT_EQ(steps, std::vector<int>{1});
    EXPECT_EQ(channel.path.tcp_queued(), 0u);
    answer("GO");
    settle();
    EXPECT_EQ(steps, (std::vector<int>{1, 2})) << "due already: the answer lets it go";
    EXPECT_EQ(channel.wire.frames.size(), 2u);
    driver.stop();
    EXPECT_EQ(ends.at(0).second.toStdString(),
              "ステップ 2/280 (CT01T02) で中止しました。\n応答済み 1/280");
}

}  // namespace
}  // namespace tqv
