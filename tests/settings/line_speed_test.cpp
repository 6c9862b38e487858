// How close the answer-paced runs of the dialogs come to the speed of the line: set all
// items, read settings, glyph register and glyph read against the simulated device paced
// like a real 9600 baud 8E1 line (--wire). Not part of the suite (it takes minutes); run
// by scripts/bench_dialogs.sh.
#include <QFile>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/simulator_process.h"
#include "glyphs/glyph_list_dialog.h"
#include "settings/read_settings_dialog.h"
#include "settings/set_all_dialog.h"
#include <QComboBox>
#include <QElapsedTimer>
#include "settings_fixture.h"
#include "sim_process.h"

namespace tqv::test {
namespace {

using LineSpeed = AppTest;

TEST_F(LineSpeed, DISABLED_AnswerPacedRunsAgainstA9600BaudLine) {
#ifdef TQV_SIM_PATH
    SimulatorProcess sim;
    const QString pty = sim.start_serial(QStringLiteral(TQV_SIM_PATH), {QStringLiteral("--wire")}, 10000);
    ASSERT_FALSE(pty.isEmpty());
    ASSERT_TRUE(link.open_serial(pty));
    window->show();
    model.fast_transfer = 1;
    std::uint64_t bytes = 0;
    QObject::connect(&link, &DeviceLink::traffic, window.get(),
                     [&](bool, const QString&, const QByteArray& b) { bytes += b.size(); });

    std::printf("%-16s %8s %9s %9s %7s\n", "run", "bytes", "wall_s", "wire_s", "ratio");
    auto measure = [&](const char* name, const std::function<void()>& start,
                       const std::function<bool()>& running) {
        bytes = 0;
        ui.clear();
        QElapsedTimer clock;
        clock.start();
        start();
        ASSERT_TRUE(wait_until([&] { return !running(); }, 120000)) << name;
        const double wall = clock.elapsed() / 1000.0;
        const double wire = bytes * 11.0 / 9600.0;
        std::printf("%-16s %8llu %9.2f %9.2f %7.3f\n", name, (unsigned long long)bytes, wall, wire,
                    wall / wire);
        EXPECT_TRUE(ui.boxes.size() <= 1) << name << ": " << (ui.boxes.empty() ? "" : ui.texts()[0]);
        EXPECT_LE(wall / wire, 1.10) << name;
    };
    window->run_command(command::kSetAllItems);
    auto* set_all = opener.last<SetAllDialog>();
    measure("set all items", [&] { set_all->start_button()->click(); },
            [&] { return set_all->bulk().running(); });
    window->run_command(command::kReadSettings);
    auto* read = opener.last<ReadSettingsDialog>();
    measure("read settings", [&] { read->start_button()->click(); },
            [&] { return read->bulk().running(); });
    window->run_command(command::kGlyphList);
    auto* list = opener.last<GlyphListDialog>();
    measure("glyph register", [&] { list->register_button()->click(); },
            [&] { return list->stop_button()->isEnabled(); });
    measure("glyph read", [&] { list->read_button()->click(); },
            [&] { return list->stop_button()->isEnabled(); });
#else
    GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
#endif
}

// Set all items on every connected device at once from the dialog, with the traffic log
// window open: 96 devices that each answer 20 ms late against one such device. The two
// sides take turns (1, 96, 1, 96, ...) so that the machine's load drifting during the run
// lands on both sides of each pair rather than in the ratio. TQV_BENCH_PAIRS sets the
// number of pairs (default 5). Run by scripts/bench_push.sh.
TEST_F(LineSpeed, DISABLED_PushToEveryDeviceAgainstOne) {
    model.interface_kind = 1;
    model.tcp_role = 1;
    model.fast_transfer = 1;
    set_slot_text(model.port_number, "00000");
    ASSERT_EQ(link.tcp().socket_listen(), 1);
    window->show();
    window->run_command(command::kTrafficLog);
    const int pair_count = qEnvironmentVariableIsSet("TQV_BENCH_PAIRS")
                               ? std::max(1, qEnvironmentVariableIntValue("TQV_BENCH_PAIRS"))
                               : 5;
    auto push = [&](int count) -> double {
        Sim devices({"--connect", QStringLiteral("127.0.0.1:%1").arg(link.tcp().server_port()),
                     "--count", QString::number(count), "--delay", "20"},
                    "connected");
        EXPECT_TRUE(wait_until([&] { return link.tcp().count_peers() == count; }, 30000));
        model.tcp_connected = 1;
        model.selected_peer = link.peers().entries().front();
        window->run_command(command::kSetAllItems);
        auto* d = opener.last<SetAllDialog>();
        d->target_list()->setCurrentIndex(1);
        ui.clear();
        QElapsedTimer clock;
        clock.start();
        d->start_button()->click();
        EXPECT_TRUE(wait_until([&] { return !d->push_to_all()->running(); }, 300000));
        const double wall = clock.elapsed() / 1000.0;
        EXPECT_EQ(ui.texts(), std::vector<std::string>{"接続中の全機器: " + std::to_string(count) +
                                                       " 台とも完了しました"});
        d->close();
        devices.stop();
        EXPECT_TRUE(wait_until([&] { return link.tcp().count_peers() == 0; }, 30000));
        return wall;
    };
    std::printf("%-5s %9s %9s %7s\n", "pair", "1_dev_s", "96_dev_s", "ratio");
    std::vector<double> ratios;
    for (int pair = 1; pair <= pair_count && !HasFailure(); ++pair) {
        const double one = push(1);
        const double all = push(96);
        ratios.push_back(all / one);
        std::printf("%-5d %9.2f %9.2f %7.3f\n", pair, one, all, all / one);
        std::fflush(stdout);
    }
    ASSERT_FALSE(ratios.empty());
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios.size() % 2 ? ratios[ratios.size() / 2]
                                            : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
    std::printf("ratio 96/1 over %zu pairs: min %.3f, median %.3f, max %.3f\n", ratios.size(),
                ratios.front(), median, ratios.back());
    EXPECT_LE(median, 1.10);
}

}  // namespace
}  // namespace tqv::test
