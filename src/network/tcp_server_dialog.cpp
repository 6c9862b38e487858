#include "network/tcp_server_dialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/config.h"
#include "network/network_widgets.h"

namespace tqv {

namespace {

// What the transmission place shows with no device chosen.
const QString kNoPlace(16, QLatin1Char(' '));

}  // namespace

TcpServerDialog::TcpServerDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("TCP/IPの設定（Server）")) {
    auto* port_group = new QGroupBox(QStringLiteral("Port No."), this);
    port_ = make_port_field(port_group->title(), port_group);
    (new QVBoxLayout(port_group))->addWidget(port_);

    auto* place_group = new QGroupBox(QStringLiteral("Transmission place "), this);
    place_ = new QLineEdit(place_group);
    place_->setAccessibleName(place_group->title().trimmed());
    place_->setReadOnly(true);
    place_->setAlignment(Qt::AlignCenter);
    place_->setMinimumWidth(place_->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 18);
    (new QVBoxLayout(place_group))->addWidget(place_);

    auto* list_group = new QGroupBox(QStringLiteral("Client List"), this);
    clients_ = new QListWidget(list_group);
    clients_->setAccessibleName(list_group->title());
    clients_->setSelectionMode(QAbstractItemView::SingleSelection);
    clients_->setMinimumHeight(clients_->fontMetrics().height() * 10);
    (new QVBoxLayout(list_group))->addWidget(clients_);

    connect_ = make_button(QString::fromUtf8("接続"), this, true);
    disconnect_ = make_button(QString::fromUtf8("切断"), this);
    close_ = make_button(QStringLiteral("Close"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(port_group);
    top->addWidget(place_group, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(connect_);
    buttons->addWidget(disconnect_);
    buttons->addStretch(1);
    buttons->addWidget(close_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(list_group, 1);
    bottom->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    port_->setText(QString::fromLatin1(slot_text(model_.port_number).c_str()));
    place_->setText(kNoPlace);

    connect(port_, &QLineEdit::textChanged, this, [this](const QString& text) {
        take_port_text(model_, text);
    });
    connect(clients_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { choose_peer(clients_->row(item)); });
    connect(connect_, &QPushButton::clicked, this, &TcpServerDialog::start_listening);
    connect(disconnect_, &QPushButton::clicked, this, &TcpServerDialog::stop_listening);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    TcpLink& tcp = context_.link.tcp();
    connect(&tcp, &TcpLink::peers_changed, this, &TcpServerDialog::refresh_peers);
    connect(&tcp, &TcpLink::link_closed, this, &TcpServerDialog::target_closed);

    run_opening_steps({.receives_answers = true});
    refresh_peers();
}

void TcpServerDialog::refresh_peers() {
    const TcpLink& tcp = context_.link.tcp();
    // Rows list the entries in use in entry order, and each row remembers its entry: a
    // device leaving from the middle frees an entry among them, and the rows below must
    // still name their own devices.
    row_entries_.clear();
    clients_->clear();
    for (int entry = 1; entry <= TcpLink::kMaxPeers; ++entry) {
        if (tcp.peer(entry).in_use != 1) continue;
        row_entries_.push_back(entry);
        clients_->addItem(QString::fromStdString(tcp.peer_address(entry)));
    }
    show_target();
    show_listening_state();
    if (QWidget* active = QApplication::activeWindow()) {
        context_.windows.message_owner = active;
    }
}

void TcpServerDialog::show_target() {
    // Only an entry that holds a device is shown: in the client role selected_peer is a
    // host index, and a chosen device may have left since.
    const int entry = model_.selected_peer;
    const bool held =
        entry >= 1 && entry <= TcpLink::kMaxPeers && context_.link.tcp().peer(entry).in_use == 1;
    place_->setText(held ? QString::fromStdString(context_.link.tcp().peer_address(entry))
                         : kNoPlace);
}

void TcpServerDialog::show_listening_state() {
    // From the link itself: 切断 stays available while the program listens, even after
    // the last device has gone, and the port can change only while nothing is open.
    const TcpLink& tcp = context_.link.tcp();
    const bool open = tcp.listening() || tcp.count_peers() > 0;
    connect_->setEnabled(!open);
    disconnect_->setEnabled(open);
    port_->setEnabled(!open);
}

void TcpServerDialog::choose_peer(int row) {
    if (context_.link.tcp().count_peers() == 0) {
        model_.selected_peer = -1;
        return;
    }
    if (row < 0 || row >= int(row_entries_.size())) return;
    model_.selected_peer = row_entries_[std::size_t(row)];
    model_.tcp_connected = 1;
    show_target();
}

void TcpServerDialog::start_listening() {
    if (!read_port(port_, context_.ui())) return;
    // On failure the link has already told the operator why.
    if (context_.link.tcp().socket_listen() == 1) show_listening_state();
}

void TcpServerDialog::stop_listening() {
    context_.link.tcp().socket_shutdown();
    row_entries_.clear();
    clients_->clear();
    model_.selected_peer = -1;
    model_.tcp_connected = 0;
    place_->setText(kNoPlace);
    show_listening_state();
}

void TcpServerDialog::target_closed() {
    // The chosen device went away: the commands have nowhere to go until another is chosen.
    if (model_.tcp_role != 1) return;
    model_.selected_peer = -1;
    model_.tcp_connected = 0;
    place_->setText(kNoPlace);
}

void TcpServerDialog::done(int result) {
    // OK, Close, Escape and the close box all end here: the port is kept for the next
    // start, and a port that is none keeps the dialog open.
    if (port_may_close(port_, context_)) ModelDialog::done(result);
}

}  // namespace tqv
