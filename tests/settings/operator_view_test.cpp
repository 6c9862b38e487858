// The operator's view of the link: the status bar, the traffic log, the serial port that
// comes back, and the comparison of a document with the simulated device.
#include <QElapsedTimer>
#include <algorithm>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>

#include "app/simulator_process.h"
#include "core/codec.h"
#include "core/commands.h"
#include "core/texts.h"
#include "settings/compare_dialog.h"
#include "settings_fixture.h"
#include "sim_process.h"

namespace tqv::test {
namespace {

class OperatorViewTest : public AppTest {
  protected:
    // The TCP client role, its one host the loopback address.
    void client_of_localhost() {
        model.interface_kind = 1;
        model.tcp_role = 0;
        model.host_list[0] = {127, 0, 0, 1};
        model.host_count = 1;
        model.selected_peer = 0;
    }
    void SetUp() override {
        AppTest::SetUp();
        model.selected_peer = -1;
        window->show();
    }
    // The device on a pseudo-terminal, reached through a link in the test's directory that
    // a restarted device makes again.
    bool start_device() {
#ifdef TQV_SIM_PATH
        tty_ = dir.filePath(QStringLiteral("tty"));
        QString why;
        const bool ok = !sim_.start_serial(QStringLiteral(TQV_SIM_PATH),
                                           {QStringLiteral("--log"), dir.filePath(QStringLiteral("sim.log")),
                                            QStringLiteral("--link"), tty_},
                                           10000, &why)
                             .isEmpty();
        if (!ok) ADD_FAILURE() << why.toStdString();
        return ok;
#else
        return false;
#endif
    }
    // The command bodies the device received so far, without address and line end.
    std::vector<std::string> received() const {
        QFile f(dir.filePath(QStringLiteral("sim.log")));
        std::vector<std::string> out;
        if (!f.open(QIODevice::ReadOnly)) return out;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const int at = line.indexOf(" < ");
            if (at < 0) continue;
            const std::string bytes = line.mid(at + 3).toStdString();
            out.push_back(bytes.substr(0, bytes.find('\\')));  // up to the escaped CR
        }
        return out;
    }
    // Runs the dialog's run to its end, each step once the answer before it is in.
    void run(CompareDialog& d) {
        while (d.bulk().running()) {
            d.tick();
            ASSERT_TRUE(wait_until([&] { return model.answer_pending == 0; }, 3000));
        }
    }
    // The traffic log's event lines (time-outs, lost and regained links) saying `what`.
    int events(const char* what) const {
        int n = 0;
        for (const TrafficLine& line : window->traffic_log().ring().lines())
            n += line.event && cp932_to_utf8(line.bytes) == what;
        return n;
    }
    QString status() const {
        const LinkStatusBar* bar = window->link_status();
        return bar->link_text() + " | " + bar->state_text() + " | " + bar->exchange_text();
    }

    SimulatorProcess sim_;
    QString tty_;
};

TEST_F(OperatorViewTest, StatusBarNamesTheLinkAndItsState) {
    struct Case {
        int kind, role, peers_listening;
        const char* link;
        const char* state;
    };
    model.com_device = "/dev/ttyUSB0";
    model.host_list[0] = {192, 168, 1, 3};
    model.host_count = 1;
    set_slot_text(model.port_number, "09004");
    const Case cases[] = {
        {0, 0, 0, "RS-232C /dev/ttyUSB0 9600 8E1", "未接続"},
        {1, 0, 0, "TCP クライアント 192.168.1.3:9004", "未接続"},
        {1, 1, 0, "TCP サーバー :9004, 機器 0/0 接続", "未接続"},
    };
    for (const Case& c : cases) {
        model.interface_kind = c.kind;
        model.tcp_role = c.role;
        model.selected_peer = c.role == 0 ? 0 : -1;
        window->update_menu_state();
        EXPECT_EQ(window->link_status()->link_text().toStdString(), c.link);
        EXPECT_EQ(window->link_status()->state_text().toStdString(), c.state);
        // Re-connecting is the client's, while it has no connection.
        EXPECT_EQ(window->action(command::kReconnect)->isEnabled(), c.kind == 1 && c.role == 0);
    }
}

// Every line in the window and the --log file, control bytes visible, the last 10 000
// kept; appending a line stalls the event loop far less than a frame (16 ms).
TEST_F(OperatorViewTest, TrafficLogKeepsTheLastLinesCheaply) {
    const QString file = dir.filePath(QStringLiteral("traffic.log"));
    {
        QFile earlier(file);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("an earlier run\n");
    }
    ASSERT_TRUE(window->traffic_log().write_to(file));
    window->run_command(command::kTrafficLog);
    TrafficLogWindow* log = window->traffic_window();
    ASSERT_NE(log, nullptr);
    ASSERT_TRUE(log->isVisible());
    const int total = int(TrafficRing::kCapacity) + 20;
    std::vector<qint64> ns;
    QElapsedTimer clock;
    for (int i = 0; i < total; ++i) {
        clock.start();
        emit link.traffic(i % 2 == 0, QStringLiteral("/dev/ttyS0"),
                          i % 2 == 0 ? QByteArray("00RCEL\r\n") : QByteArray("00CEL2\r\n"));
        ns.push_back(clock.nsecsElapsed());
    }
    // A scheduler's pause on a busy machine is no cost of the log: the 99th percentile.
    std::sort(ns.begin(), ns.end());
    const qint64 p99 = ns[ns.size() * 99 / 100];
    EXPECT_LT(p99, 16'000'000) << "stall " << p99 / 1000 << " us";
    RecordProperty("traffic_line_p99_us", int(p99 / 1000));
    RecordProperty("traffic_line_worst_us", int(ns.back() / 1000));
    log->flush();
    EXPECT_EQ(log->line_count(), int(TrafficRing::kCapacity));
    EXPECT_TRUE(log->line(-1).endsWith(QStringLiteral(" RX /dev/ttyS0 00CEL2<CR><LF>")));
    emit link.answer_timed_out();
    log->flush();
    EXPECT_TRUE(log->line(-1).endsWith(QStringLiteral(" 応答なし (タイムアウト)")));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = written.readAll().split('\n');
    EXPECT_EQ(lines.size(), total + 4) << "kept, marker, lines, time-out, end";
    EXPECT_EQ(lines[0], "an earlier run");
    EXPECT_TRUE(lines[1].contains(" -- ") && lines[1].contains("開始")) << lines[1].toStdString();

    log->set_paused(true);
    emit link.traffic(true, QStringLiteral("/dev/ttyS0"), "00RP01T\r\n");
    EXPECT_FALSE(log->line(-1).endsWith(QStringLiteral("00RP01T<CR><LF>")));
    log->set_paused(false);
    log->flush();
    EXPECT_TRUE(log->line(-1).endsWith(QStringLiteral("00RP01T<CR><LF>")));
    const QString saved = dir.filePath(QStringLiteral("saved.txt"));
    ASSERT_TRUE(log->save_as(saved));
    QFile s(saved);
    ASSERT_TRUE(s.open(QIODevice::ReadOnly));
    EXPECT_EQ(s.readAll().count('\n'), int(TrafficRing::kCapacity));
    log->clear();
    EXPECT_TRUE(window->traffic_log().ring().lines().empty());
}

// The port goes away with its device: the status says so, once; when the device path is
// back the port is open again, and the status says that too. Nothing is resent.
TEST_F(OperatorViewTest, LostSerialPortIsReopenedWhenItComesBack) {
    if (!sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
    ASSERT_TRUE(start_device());
    ASSERT_TRUE(link.open_serial(tty_));
    link.set_reconnect_interval(50);
    send_white_level(link.send_path());
    ASSERT_TRUE(wait_until([&] { return !ui.boxes.empty(); }));
    EXPECT_NE(status().indexOf(QStringLiteral("オープン | 最終: ")), -1) << status().toStdString();
    EXPECT_TRUE(status().endsWith(QStringLiteral("00CWL1 → 00GO"))) << status().toStdString();

    ui.clear();
    sim_.stop();
    ASSERT_TRUE(wait_until([&] { return link.serial_state() == DeviceLink::SerialState::lost; }));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSerialPortLost});
    EXPECT_NE(status().indexOf(QStringLiteral("切断")), -1) << status().toStdString();
    EXPECT_EQ(events("切断されました"), 1);
    EXPECT_TRUE(ui.withdrawn.empty());

    ASSERT_TRUE(start_device());
    ASSERT_TRUE(wait_until([&] { return link.serial_state() == DeviceLink::SerialState::open; }));
    EXPECT_NE(status().indexOf(QStringLiteral("オープン ・ 再接続しました")), -1) << status().toStdString();
    EXPECT_TRUE(received().empty());  // a fresh device log: nothing was resent
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.withdrawn, std::vector<std::string>{text::kSerialPortLost}) << "its box closes";
    EXPECT_EQ(events("再接続しました"), 1);
}

// The client's connection goes away: "再接続" makes it again to the last host, from the
// status bar as from the menu.
TEST_F(OperatorViewTest, ClientReconnectsToTheLastHost) {
    if (!sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
    client_of_localhost();
    for (int round = 0; round < 2; ++round) {
        Sim device({QStringLiteral("--listen"), QStringLiteral("0")}, "listening");
        ASSERT_TRUE(device.ready());
        set_slot_text(model.port_number, device.value().rightJustified(5, QLatin1Char('0')).toStdString());
        window->update_menu_state();
        ASSERT_TRUE(window->action(command::kReconnect)->isEnabled());
        if (round == 0) {
            window->run_command(command::kReconnect);
        } else {
            window->link_status()->reconnect_action()->trigger();
        }
        ASSERT_TRUE(wait_until([&] { return link.tcp().link_up(); }));
        EXPECT_EQ(window->link_status()->state_text(), QStringLiteral("接続中"));
        EXPECT_FALSE(window->link_status()->reconnect_action()->isEnabled());
        device.stop();
        ASSERT_TRUE(wait_until([&] { return link.tcp_lost(); }));
        EXPECT_EQ(window->link_status()->state_text(), QStringLiteral("切断"));
    }
    EXPECT_EQ(events("切断されました"), 2);
    EXPECT_EQ(events("再接続しました"), 1);
}

// With the link's own attempts, a lost client connection says 再接続中 at once, comes back
// when the device does, and the read after it is reported where the operator looks.
TEST_F(OperatorViewTest, ClientComesBackByItselfAndTheCheckIsShown) {
    if (!sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
    client_of_localhost();
    link.set_auto_reconnect(true);
    link.set_reconnect_backoff(100, 400);
    link.set_reconnect_check(true);
    link.start_answer_timer();
    auto device = std::make_unique<Sim>(QStringList{"--listen", "0"}, "listening");
    ASSERT_TRUE(device->ready());
    const QString port = device->value();
    set_slot_text(model.port_number, port.rightJustified(5, QLatin1Char('0')).toStdString());
    ASSERT_TRUE(link.reconnect_tcp());
    ASSERT_TRUE(wait_until([&] { return link.tcp().link_up(); }));
    device.reset();
    EXPECT_TRUE(wait_until([&] { return window->link_status()->state_text() == QStringLiteral("再接続中"); }, 1000));
    device = std::make_unique<Sim>(QStringList{"--listen", port}, "listening");
    ASSERT_TRUE(device->ready());
    ASSERT_TRUE(wait_until([&] { return window->link_status()->state_text().contains(QStringLiteral("再接続後の確認")); }, 30000));
    int reported = 0;
    for (const TrafficLine& line : window->traffic_log().ring().lines())
        reported += line.event && cp932_to_utf8(line.bytes).find("再接続後の確認") == 0;
    EXPECT_EQ(reported, 1);
}

// Three items changed in the document: the comparison lists exactly those, and sending
// the differences sends exactly their three commands; then the device equals the document.
TEST_F(OperatorViewTest, CompareSendsOnlyTheDifferences) {
    if (!sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
    ASSERT_TRUE(start_device());
    ASSERT_TRUE(link.open_serial(tty_));

    window->run_command(command::kCompare);
    auto* d = opener.last<CompareDialog>();
    ASSERT_NE(d, nullptr);
    // Make the device equal to the document first, whatever it held.
    ASSERT_TRUE(d->start_read());
    run(*d);
    if (!d->differences().empty()) {
        ASSERT_TRUE(d->send_differences());
        run(*d);
    }
    model.white_level = model.white_level == 2 ? 3 : 2;
    model.current_page[2] = 9;
    if (auto t = utf8_to_cp932("比較")) set_slot_text(model.title(3, 10), *t);
    const auto document_titles = model.titles;
    const std::size_t mark = received().size();
    ASSERT_TRUE(d->start_read());
    run(*d);
    ASSERT_EQ(d->table()->rowCount(), 3);
    EXPECT_EQ(d->table()->item(0, 0)->text(), QStringLiteral("ch.2 Bottom 11 タイトル"));
    EXPECT_EQ(d->table()->item(0, 1)->text(), QStringLiteral("\"比較\""));
    // Every item's whole name is in sight.
    for (int row = 0; row < 3; ++row) {
        const QTableWidgetItem* item = d->table()->item(row, 0);
        EXPECT_GE(d->table()->columnWidth(0), d->table()->fontMetrics().horizontalAdvance(item->text()))
            << item->text().toStdString();
    }
    const int white = model.white_level;
    EXPECT_EQ(model.titles, document_titles);  // the document stays as it was

    const std::size_t after_read = received().size();
    EXPECT_EQ(after_read - mark, 278u);  // the read's steps
    ASSERT_TRUE(d->send_differences());
    run(*d);
    const std::vector<std::string> got = received();
    ASSERT_EQ(got.size() - after_read, 3u);
    EXPECT_EQ(got[after_read].substr(2, 7), "CT02B11");
    EXPECT_EQ(got[after_read + 1], "00P02T10");
    EXPECT_EQ(got[after_read + 2], "00CWL" + std::to_string(white));

    ASSERT_TRUE(d->start_read());
    run(*d);
    EXPECT_EQ(d->table()->rowCount(), 0);
    EXPECT_FALSE(d->send_button()->isEnabled());
    EXPECT_EQ(d->summary()->text(), QStringLiteral("文書と機器の設定は同じです。送るものはありません。"));
    EXPECT_TRUE(ui.texts().empty()) << ui.texts().front();
}

}  // namespace
}  // namespace tqv::test
