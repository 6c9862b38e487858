// What the operator sees of the link when it fails: a port that cannot be opened says so
// once, the status bar and the log tell the state as it is, and the port that worked can be
// chosen again (from the list, or typed) without a restart. A TCP connection that cannot be
// made is the same. The remote lock stays in sight.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include "app/link_status.h"
#include "app/traffic_log.h"
#include "app_fixture.h"
#include "core/codec.h"
#include "core/commands.h"
#include "core/texts.h"
#include "network/com_port_dialog.h"
#include "serial_simulator.h"

namespace tqv::test {
namespace {

class LinkStateTest : public AppTest {
  protected:
    LinkStatusBar& bar() { return *window->link_status(); }
    // The link events the log holds, "where what" each.
    std::vector<std::string> logged_events() const {
        std::vector<std::string> out;
        for (const TrafficLine& line : window->traffic_log().ring().lines())
            if (line.event) out.push_back(line.peer + " " + cp932_to_utf8(line.bytes));
        return out;
    }
    // Chooses `path` in the COM dialog as the operator does, by its item or by typing it,
    // and presses OK; what the bar said when a box came is kept.
    void choose_port(const QString& path, bool typed) {
        ComPortDialog dialog(context, window.get(), {});
        QComboBox* list = dialog.com_port_list();
        if (typed) {
            list->lineEdit()->selectAll();
            QTest::keyClicks(list->lineEdit(), path);
        } else {
            int item = -1;
            for (int i = 0; i < list->count(); ++i)
                if (dialog.path_of(i) == path) item = i;
            ASSERT_GE(item, 0) << path.toStdString() << " is offered";
            list->setCurrentIndex(item);
        }
        EXPECT_EQ(dialog.chosen_path(), path);
        dialog.ok_button()->click();
    }
};

TEST_F(LinkStateTest, AFailedPortSaysSoOnceAndThePortBeforeIsChosenAgain) {
#ifndef TQV_SIM_PATH
    GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
#else
    SerialSimulator sim;
    ASSERT_TRUE(sim.open(link)) << sim.error;
    const QString pty = link.serial().path();
    ASSERT_TRUE(pty.startsWith(QStringLiteral("/dev/"))) << pty.toStdString();
    link.set_simulated_port(pty);
    bar().refresh();
    EXPECT_EQ(bar().link_text(), QStringLiteral("RS-232C %1 9600 8E1 シミュレーター").arg(pty));
    // One exchange answered, for the last-exchange line.
    QSignalSpy answered(&link, &DeviceLink::answer_applied);
    send_page_switch(link.send_path(), 0);
    ASSERT_TRUE(answered.wait(5000));
    const QString exchange = bar().exchange_text();
    ASSERT_FALSE(exchange.contains(QStringLiteral("…"))) << exchange.toStdString();

    // The missing port typed; the simulator's offered again, then typed.
    const QString missing = QStringLiteral("/nonexistent/ttyTQV");
    const std::pair<QString, bool> steps[] = {{missing, true}, {pty, false}, {missing, true}, {pty, true}};
    for (const auto& [path, typed] : steps) {
        SCOPED_TRACE(path.toStdString());
        const bool opens = path == pty;
        ui.clear();
        QString at_box;
        ui.on_box = [&] { at_box = bar().link_text() + QLatin1Char('|') + bar().state_text(); };
        choose_port(path, typed);
        ui.on_box = nullptr;
        const QString link_text =
            QStringLiteral("RS-232C %1 9600 8E1").arg(path) + (opens ? QStringLiteral(" シミュレーター") : QString());
        EXPECT_EQ(bar().link_text(), link_text);
        EXPECT_EQ(bar().state_text(), opens ? QStringLiteral("オープン") : QStringLiteral("未接続"));
        EXPECT_EQ(link.serial().is_open(), opens);
        const std::string event =
            path.toStdString() + (opens ? " オープンしました" : " オープンできません: Miss! File Open (");
        EXPECT_EQ(logged_events().back().substr(0, event.size()), event);
        if (opens) {
            EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
            continue;
        }
        EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kMissFileOpen});
        EXPECT_EQ(at_box, link_text + QStringLiteral("|未接続")) << "the bar tells it while the box is up";
        // A command meanwhile times out on a port that is not there: said by its box, not
        // blamed on the exchange that was answered.
        ui.clear();
        send_page_switch(link.send_path(), 0);
        for (int i = 0; i < SendPath::kTimeoutTicks + 1; ++i) link.answer_tick();
        EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kNoConnect});
        EXPECT_EQ(bar().exchange_text(), exchange);
    }
#endif
}

TEST_F(LinkStateTest, ATcpConnectionThatCannotBeMadeSaysSoOnceAndIsNotTriedAgain) {
    QTcpServer probe;  // a port nobody listens on once the probe is closed
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    model.interface_kind = 1;
    model.tcp_role = 0;
    model.host_list[0] = {127, 0, 0, 1};
    model.host_count = 1;
    model.selected_peer = 0;
    set_slot_text(model.port_number, std::to_string(port));
    link.set_auto_reconnect(true);
    link.set_reconnect_backoff(10, 10);
    QSignalSpy closed(&link.tcp(), &TcpLink::link_closed);
    ASSERT_TRUE(link.reconnect_tcp());
    ASSERT_TRUE(closed.wait(5000));
    EXPECT_FALSE(closed.wait(100)) << "tried again by itself";  // its retry would come by then
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketEventError});
    EXPECT_FALSE(link.tcp_connecting());
    EXPECT_EQ(model.tcp_connected, 0);
    EXPECT_EQ(bar().state_text(), QStringLiteral("未接続"));
    EXPECT_EQ(logged_events(),
              std::vector<std::string>{"127.0.0.1:" + std::to_string(port) +
                                       " 接続できません: 接続を拒否されました"});
}

// A burst of exchanges (a push to every device) is not laid out frame by frame: the
// last-exchange line shows the last of them once, within a tenth of a second.
TEST_F(LinkStateTest, ABurstOfExchangesShowsItsLastOnce) {
    QLabel* shown = nullptr;
    for (auto* l : bar().findChildren<QLabel*>())
        if (l->accessibleDescription() == QStringLiteral("Last exchange")) shown = l;
    ASSERT_NE(shown, nullptr);
    const QString port = QStringLiteral("/dev/ttyS0");
    int changes = 0;
    for (int i = 0; i < 300; ++i) {
        emit link.traffic(true, port, QStringLiteral("00P01T%1\r\n").arg(i % 64 + 1, 2, 10, QLatin1Char('0')).toLatin1());
        emit link.traffic(false, port, i + 1 < 300 ? QByteArray("00GO\r\n") : QByteArray("00E3\r\n"));
        changes += shown->text() != QStringLiteral("最終: なし");
    }
    EXPECT_EQ(changes, 0) << "set while the burst came";
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown->text() == bar().exchange_text(); }, 1000));
    EXPECT_TRUE(shown->text().endsWith(QStringLiteral(" 00P01T44 → 00E3"))) << shown->text().toStdString();
}

TEST_F(LinkStateTest, TheRemoteLockStaysInTheStatusBar) {
    QAction lock;
    lock.setCheckable(true);
    lock.setChecked(true);
    window->show();
    bar().follow_remote_lock(&lock);
    QLabel* shown = bar().remote_lock_label();
    for (bool locked : {true, false, true}) {
        lock.setChecked(locked);
        EXPECT_EQ(shown->isVisible(), locked);
        EXPECT_EQ(shown->text(), QStringLiteral("リモート禁止"));
    }
}

}  // namespace
}  // namespace tqv::test
