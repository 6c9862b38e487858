// The serial transport over a pseudo-terminal of the simulated device.
#include <gtest/gtest.h>

#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "core/commands.h"
#include "core/texts.h"
#include "link/device_link.h"
#include "recording_ui.h"
#include "sim_process.h"
#include "termios_probe.h"

namespace tqv {
namespace {

using test::Sim;
using test::wait_until;

class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not built";
        model.slave_address_index = 5;
        link.send_path().frame_written.add([this](std::string_view f, bool) { frames.emplace_back(f); });
    }
    // A device at address 05 on a pseudo-terminal, with the port open.
    bool start(QStringList extra = {}) {
        sim = std::make_unique<Sim>(QStringList{"--serial", "--address", "05"} + extra, "serial");
        return sim->ready() && link.open_serial(sim->value());
    }
    bool wait_answers(int n) {
        return wait_until([&] { return answers.count() >= n; });
    }
    void send(std::string_view body) { link.send_path().send_command(body); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) link.answer_tick();
    }

    // Tells the test what the link showed when a box came.
    struct ProbingUi : RecordingUi {
        void box(Box kind, std::string_view text, std::string_view caption) override {
            RecordingUi::box(kind, text, caption);
            if (on_box) on_box();
        }
        std::function<void()> on_box;
    };
    Model model;
    ProbingUi ui;
    DeviceLink link{model, ui};
    QSignalSpy answers{&link, &DeviceLink::answer_applied};
    std::vector<std::string> frames;
    std::unique_ptr<Sim> sim;
};

TEST_F(SerialLinkTest, AddressedCommandGoesOutWithAddressAndItsAnswersUpdateTheModel) {
    QTemporaryDir dir;
    const QString log = dir.filePath("sim.log");
    ASSERT_TRUE(start({"--log", log}));
    model.white_level = 3;
    send_white_level(link.send_path());
    EXPECT_EQ(model.answer_pending, 1);
    ASSERT_TRUE(wait_answers(1));
    EXPECT_EQ(model.answer_pending, 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, text::kSuccess);
    EXPECT_EQ(ui.boxes[0].caption, text::kDoneCaption);

    model.white_level = 0;
    send("RCWL\r\n");
    ASSERT_TRUE(wait_answers(2));
    EXPECT_EQ(model.white_level, 3);  // reported by the device that took "05CWL3"
    EXPECT_EQ(frames, (std::vector<std::string>{"05CWL3\r\n", "05RCWL\r\n"}));
    sim->stop();
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("05CWL3"));
}

TEST_F(SerialLinkTest, BroadcastIsCarriedOutAndAwaitsNoAnswer) {
    ASSERT_TRUE(start());
    model.slave_address_index = kBroadcastIndex;
    model.white_level = 2;
    send_white_level(link.send_path());
    EXPECT_EQ(model.answer_pending, 0);
    ticks(7);
    EXPECT_TRUE(ui.boxes.empty());  // no "No Connect"

    model.slave_address_index = 5;
    model.white_level = 0;
    send("RCWL\r\n");
    ASSERT_TRUE(wait_answers(1));
    EXPECT_EQ(model.white_level, 2);
    EXPECT_EQ(answers.count(), 1);  // the broadcast, sent first, was not answered
    EXPECT_EQ(frames.front(), "FFCWL2\r\n");
}

TEST_F(SerialLinkTest, SilentDeviceGivesNoConnectOnTheSeventhTickOnly) {
    ASSERT_TRUE(start({"--no-answer"}));
    QSignalSpy written(link.serial().port(), &QSerialPort::bytesWritten);
    send("RCWL\r\n");
    ASSERT_TRUE(wait_until([&] { return written.count() > 0; }));
    ticks(6);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(model.pending_ticks, 6);
    ticks(1);
    ASSERT_EQ(ui.texts(), std::vector<std::string>{text::kNoConnect});
    EXPECT_EQ(ui.boxes[0].kind, Box::error);
    EXPECT_EQ(model.answer_pending, 0);
    ticks(7);
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(SerialLinkTest, AnswerInTwoPiecesIsDispatchedOnce) {
    ASSERT_TRUE(start({"--split"}));
    send("RCWL\r\n");
    model.white_level = 0;
    send("CWL3\r\n");
    ASSERT_TRUE(wait_answers(2));
    EXPECT_EQ(model.white_level, 1);  // the report of a fresh device
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSuccess});
    EXPECT_FALSE(wait_until([&] { return answers.count() > 2; }, 300));
}

TEST_F(SerialLinkTest, ErrorAnswerSetsAnswerError) {
    ASSERT_TRUE(start({"--error", "E3"}));
    send("CWL3\r\n");
    ASSERT_TRUE(wait_answers(1));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kCommandError});
}

TEST_F(SerialLinkTest, LineSettingsReachTheDriver) {
    ASSERT_TRUE(start());
    const int fd = link.serial().port()->handle();
    termios now{};
    ASSERT_EQ(::tcgetattr(fd, &now), 0);
    // What the pseudo-terminal keeps.
    EXPECT_EQ(now.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(now.c_cflag & CSTOPB, 0u);
    EXPECT_NE(now.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(now.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(now.c_cc[VSTART], 0x11);
    EXPECT_EQ(now.c_cc[VSTOP], 0x13);
    EXPECT_EQ(cfgetospeed(&now), speed_t(B9600));
    // Parity, which a pseudo-terminal drops: generated even, not checked on input.
    const auto handed = test::last_settings(fd);
    ASSERT_TRUE(handed.has_value());
    EXPECT_NE(handed->c_cflag & PARENB, 0u);
    EXPECT_EQ(handed->c_cflag & PARODD, 0u);
    EXPECT_EQ(handed->c_iflag & INPCK, 0u);
    EXPECT_EQ(handed->c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    EXPECT_NE(handed->c_cflag & CRTSCTS, 0u);
}

// A port that cannot be opened fails once: its one box, nothing more tried on it, the
// state closed before the box shows, not up for show control; and the port that worked is
// taken again afterwards.
TEST_F(SerialLinkTest, PortThatCannotBeOpenedFailsOnceAndThePortBeforeCanBeTakenAgain) {
    ASSERT_TRUE(start());
    const QString good = sim->value();
    QSignalSpy events(&link, &DeviceLink::link_event);
    const struct {
        QString path;  // empty: com_port_index 6, beyond COM6
        QString named;
    } cases[] = {{"/nonexistent/ttyTQV", "/nonexistent/ttyTQV"}, {"", ""}};
    for (const auto& c : cases) {
        ASSERT_TRUE(link.open_serial(good)) << "the port that worked opens again";
        EXPECT_TRUE(link.serial().link_up());
        EXPECT_EQ(link.serial().opened_paths().front(), good);
        ui.clear();
        events.clear();
        model.com_port_index = 6;
        QSignalSpy state(&link, &DeviceLink::state_changed);
        int state_at_box = -1;
        ui.on_box = [&] { state_at_box = int(state.count()); };
        EXPECT_FALSE(link.open_serial(c.path));
        ui.on_box = nullptr;
        EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kMissFileOpen}) << c.named.toStdString();
        EXPECT_EQ(ui.boxes[0].kind, Box::warning);
        EXPECT_GE(state_at_box, 1) << "the state was told before the box";
        EXPECT_EQ(link.serial_state(), DeviceLink::SerialState::closed);
        EXPECT_FALSE(link.serial().link_up());
        EXPECT_EQ(link.serial().last_path(), c.named);
        ASSERT_EQ(events.count(), 1);
        EXPECT_EQ(events[0][0].toString(), c.named);
        EXPECT_TRUE(events[0][1].toString().startsWith(QStringLiteral("オープンできません: Miss! File Open (")))
            << events[0][1].toString().toStdString();

        ui.clear();
        send("RCWL\r\n");  // fails without a message
        EXPECT_TRUE(ui.boxes.empty());
        ticks(7);
        EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kNoConnect});
    }
    ui.clear();
    ASSERT_TRUE(link.open_serial(good));
    send("RCWL\r\n");
    EXPECT_TRUE(wait_answers(1));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(events.back(), (QVariantList{good, QStringLiteral("オープンしました")}));
}

TEST_F(SerialLinkTest, DeviceThatGoesAwayIsReportedOnceAndThePortClosed) {
    ASSERT_TRUE(start());
    QSignalSpy lost(&link.serial(), &SerialLink::port_lost);
    QSignalSpy events(&link, &DeviceLink::link_event);
    sim->stop();
    ASSERT_TRUE(wait_until([&] { return lost.count() > 0; }));
    EXPECT_FALSE(link.serial().is_open());
    QTest::qWait(200);  // the error flood would arrive here
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSerialPortLost});
    ASSERT_EQ(events.count(), 1);
    EXPECT_EQ(events[0][0].toString(), sim->value());
    EXPECT_EQ(events[0][1].toString(), QStringLiteral("切断されました"));
}

TEST_F(SerialLinkTest, DeviceThatGoesAwayAfterTheExitIsNotReported) {
    ASSERT_TRUE(start());
    link.shutdown();
    EXPECT_FALSE(link.serial().is_open());
    EXPECT_EQ(model.running, 0);
    sim->stop();
    QTest::qWait(200);  // a lost-port report would arrive here
    EXPECT_TRUE(ui.texts().empty());
}

}  // namespace
}  // namespace tqv
