#include "app/link_status.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>

#include "core/codec.h"
#include "core/traffic.h"

namespace tqv {

namespace {

// What an exchange shows of a frame or an answer: no line end, titles decoded, at most
// 40 characters.
QString shown(const QByteArray& bytes) {
    QByteArray b = bytes;
    while (b.endsWith('\n') || b.endsWith('\r')) b.chop(1);
    QString text = QString::fromStdString(cp932_to_utf8(visible_bytes(b.toStdString())));
    if (text.size() > 40) text = text.left(39) + QStringLiteral("…");
    return text;
}

}  // namespace

LinkStatusBar::LinkStatusBar(DeviceLink& link, QWidget* parent) : QStatusBar(parent), link_(link) {
    setSizeGripEnabled(false);
    link_label_ = new QLabel(this);
    state_label_ = new QLabel(this);
    exchange_label_ = new QLabel(this);
    // A label's accessible name is its text while no fixed name hides it: screen readers
    // read what the bar shows, and the description says what it is.
    link_label_->setAccessibleDescription(QStringLiteral("Link"));
    state_label_->setAccessibleDescription(QStringLiteral("Link state"));
    exchange_label_->setAccessibleDescription(QStringLiteral("Last exchange"));
    // Two rows: the picture's width holds the link and its state, or the last exchange,
    // but not both.
    auto* rows = new QWidget(this);
    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(2, 0, 2, 0);
    grid->setVerticalSpacing(0);
    grid->addWidget(link_label_, 0, 0);
    grid->addWidget(state_label_, 0, 1);
    grid->addWidget(exchange_label_, 1, 0, 1, 2);
    // Button panels and playout systems may be switching pages: the operator sees that.
    control_label_ = new QLabel(this);
    control_label_->setAccessibleDescription(QStringLiteral("Show control"));
    control_label_->hide();
    grid->addWidget(control_label_, 0, 2);
    // Red on the bar for as long as the lock holds: requests that fail are no surprise then.
    lock_label_ = new QLabel(QStringLiteral("リモート禁止"), this);
    lock_label_->setAccessibleDescription(QStringLiteral("Remote lock"));
    lock_label_->setStyleSheet(QStringLiteral("QLabel { color: white; background: #c62828; padding: 0 4px; }"));
    lock_label_->hide();
    grid->addWidget(lock_label_, 1, 2);
    grid->setColumnStretch(1, 1);
    addWidget(rows, 1);

    reconnect_ = new QAction(QStringLiteral("再接続"), this);
    connect(reconnect_, &QAction::triggered, this, [this] {
        note_.clear();
        link_.reconnect_tcp();
        refresh();
    });

    connect(&link_, &DeviceLink::state_changed, this, [this] {
        note_.clear();
        refresh();
    });
    connect(&link_, &DeviceLink::serial_reconnected, this, [this] {
        note_ = QStringLiteral("再接続しました %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        refresh();
    });
    connect(&link_, &DeviceLink::reconnect_checked, this,
            [this](bool completed, const std::vector<SettingDifference>& differences) {
                note_ = reconnect_check_summary(completed, differences.size());
                refresh();
            });
    connect(&link_, &DeviceLink::traffic, this, &LinkStatusBar::traffic);
    exchange_due_.setSingleShot(true);
    exchange_due_.setInterval(100);
    connect(&exchange_due_, &QTimer::timeout, this, &LinkStatusBar::show_exchange);
    connect(&link_, &DeviceLink::answer_timed_out, this, [this] {
        // Only the exchange still waiting timed out. A command that never left (the port
        // did not open) is no fault of the last frame that was answered.
        if (timed_out_ || !shown(last_answer_).isEmpty()) return;
        timed_out_ = true;
        refresh();
    });
    refresh();
}

void LinkStatusBar::set_control_text(const QString& text) {
    control_text_ = text;
    control_label_->setText(text);
    control_label_->setVisible(!text.isEmpty());
}

void LinkStatusBar::follow_remote_lock(QAction* lock) {
    lock_label_->setVisible(lock->isChecked());
    connect(lock, &QAction::toggled, lock_label_, &QLabel::setVisible);
}

void LinkStatusBar::show_remote(const QString& text) {
    if (remote_timer_ == nullptr) {
        remote_timer_ = new QTimer(this);
        remote_timer_->setSingleShot(true);
        remote_timer_->setInterval(4000);
        connect(remote_timer_, &QTimer::timeout, this, [this] { set_control_text(control_text_); });
    }
    control_label_->setText(text);
    control_label_->setVisible(true);
    remote_timer_->start();
}

QString reconnect_check_summary(bool completed, std::size_t differences) {
    if (!completed) return QStringLiteral("再接続後の確認: 読み込みは終わりませんでした");
    if (differences == 0) return QStringLiteral("再接続後の確認: 文書と機器の設定は同じです");
    return QStringLiteral("再接続後の確認: %1 項目が文書と違います").arg(differences);
}

QString LinkStatusBar::link_text() const {
    const Model& m = link_.model();
    const quint16 port = TcpLink::port_value(m.port_number);
    if (m.interface_kind != 1) {
        QString path = link_.serial().last_path();
        if (path.isEmpty()) path = QString::fromStdString(m.com_device);
        if (path.isEmpty()) path = SerialLink::port_path(m.com_port_index);
        const QString line = QStringLiteral("RS-232C %1 9600 8E1").arg(path);
        // Only the simulated device's own port is called so, not the port chosen after it.
        const bool simulated = !path.isEmpty() && path == link_.simulated_port();
        return simulated ? line + QStringLiteral(" シミュレーター") : line;
    }
    if (m.tcp_role == 1) {
        // How many of the devices seen since listening are there, and which are not.
        const PeerSet& peers = link_.peers();
        QStringList away;
        for (const PeerSet::Known& k : peers.known())
            if (!k.up) away << k.address;
        QString text = QStringLiteral("TCP サーバー :%1, 機器 %2/%3 接続")
                           .arg(port)
                           .arg(peers.known_up())
                           .arg(peers.known().size());
        if (!away.isEmpty()) text += QStringLiteral(" (切断: %1)").arg(away.join(QStringLiteral(", ")));
        return text;
    }
    if (m.selected_peer < 0 || m.selected_peer >= m.host_count) return QStringLiteral("TCP クライアント");
    const Ipv4& a = m.host_list[std::size_t(m.selected_peer)];
    return QStringLiteral("TCP クライアント %1.%2.%3.%4:%5").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]).arg(port);
}

QString LinkStatusBar::state_text() const {
    const Model& m = link_.model();
    QString state;
    if (m.interface_kind != 1) {
        switch (link_.serial_state()) {
            case DeviceLink::SerialState::open: state = QStringLiteral("オープン"); break;
            case DeviceLink::SerialState::lost: state = QStringLiteral("切断 (戻るのを待っています)"); break;
            case DeviceLink::SerialState::closed: state = QStringLiteral("未接続"); break;
        }
    } else if (m.tcp_role == 1) {
        state = link_.tcp().listening() ? QStringLiteral("待ち受け中") : QStringLiteral("未接続");
    } else if (link_.tcp().link_up()) {
        state = QStringLiteral("接続中");
    } else if (link_.tcp_connecting()) {
        state = QStringLiteral("再接続中");
    } else {
        state = link_.tcp_lost() ? QStringLiteral("切断") : QStringLiteral("未接続");
    }
    return note_.isEmpty() ? state : state + QStringLiteral(" ・ ") + note_;
}

QString LinkStatusBar::exchange_text() const {
    if (last_command_.isEmpty()) return QStringLiteral("最終: なし");
    const QString answer = timed_out_ ? QStringLiteral("time-out") : shown(last_answer_);
    return QStringLiteral("最終: %1 %2 → %3")
        .arg(QDateTime::fromMSecsSinceEpoch(last_ms_).toString(QStringLiteral("HH:mm:ss.zzz")),
             shown(last_command_), answer.isEmpty() ? QStringLiteral("…") : answer);
}

void LinkStatusBar::refresh() {
    const Model& m = link_.model();
    reconnect_->setEnabled(m.interface_kind == 1 && m.tcp_role == 0 && !link_.tcp().link_up());
    link_label_->setText(link_text());
    state_label_->setText(state_text());
    show_exchange();
}

void LinkStatusBar::show_exchange() {
    exchange_due_.stop();
    exchange_label_->setText(exchange_text());
}

void LinkStatusBar::traffic(bool sent, const QString&, const QByteArray& bytes) {
    if (sent) {
        last_ms_ = QDateTime::currentMSecsSinceEpoch();
        last_command_ = bytes;
        last_answer_.clear();
    } else {
        last_answer_ = bytes;
    }
    timed_out_ = false;
    // The last exchange shows within a tenth of a second, whatever follows it.
    if (!exchange_due_.isActive()) exchange_due_.start();
}

void LinkStatusBar::contextMenuEvent(QContextMenuEvent* event) {
    refresh();
    QMenu menu(this);
    menu.addAction(reconnect_);
    menu.exec(event->globalPos());
}

}  // namespace tqv
