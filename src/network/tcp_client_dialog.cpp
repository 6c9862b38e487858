#include "network/tcp_client_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/config.h"
#include "core/digits.h"
#include "core/texts.h"
#include "network/network_widgets.h"

namespace tqv {

namespace {

QString dotted(const Ipv4& a) {
    return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}

}  // namespace

QString TcpClientDialog::host_row_text(const Ipv4& a) {
    return QString::fromStdString(three_digits(a[0]) + " ." + three_digits(a[1]) + " ." +
                                  three_digits(a[2]) + " ." + three_digits(a[3]));
}

TcpClientDialog::TcpClientDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("TCP/IPの設定（Client）")) {
    auto* address_group = new QGroupBox(QStringLiteral("Host IP Address"), this);
    address_ = make_address_field(address_group->title(), address_group);
    (new QVBoxLayout(address_group))->addWidget(address_);

    auto* list_group = new QGroupBox(QStringLiteral("Host List"), this);
    hosts_ = new QListWidget(list_group);
    hosts_->setAccessibleName(list_group->title());
    hosts_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Fixed-pitch rows keep the octets of every host under one another.
    QFont rows = hosts_->font();
    rows.setStyleHint(QFont::TypeWriter);
    rows.setFamily(QStringLiteral("monospace"));
    hosts_->setFont(rows);
    hosts_->setMinimumWidth(hosts_->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 24);
    hosts_->setMinimumHeight(hosts_->fontMetrics().height() * 8);
    (new QVBoxLayout(list_group))->addWidget(hosts_);

    auto* port_group = new QGroupBox(QStringLiteral("Port No."), this);
    port_ = make_port_field(port_group->title(), port_group);
    (new QVBoxLayout(port_group))->addWidget(port_);

    add_ = make_button(QString::fromUtf8("追加"), this);
    delete_ = make_button(QString::fromUtf8("削除"), this);
    connect_ = make_button(QString::fromUtf8("接続"), this);
    disconnect_ = make_button(QString::fromUtf8("切断"), this);
    ok_ = make_button(QStringLiteral("OK"), this, true);

    // Left: what to connect to; right: what to do with it.
    auto* left = new QVBoxLayout;
    left->addWidget(address_group);
    left->addWidget(list_group, 1);
    left->addWidget(port_group);
    auto* right = new QVBoxLayout;
    right->addSpacing(address_group->sizeHint().height() / 3);
    right->addWidget(add_);
    right->addWidget(delete_);
    right->addSpacing(16);
    right->addWidget(connect_);
    right->addWidget(disconnect_);
    right->addStretch(1);
    right->addWidget(ok_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Opening: hosts in host order, never sorted.
    for (int host = 0; host < model_.host_count && host < kHostListSize; ++host) {
        hosts_->addItem(host_row_text(model_.host_list[std::size_t(host)]));
    }
    if (model_.host_count != 0) show_host(model_.selected_peer);
    port_->setText(QString::fromLatin1(slot_text(model_.port_number).c_str()));
    show_connection_state();

    connect(add_, &QPushButton::clicked, this, &TcpClientDialog::add_host);
    connect(delete_, &QPushButton::clicked, this, &TcpClientDialog::delete_host);
    connect(hosts_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { choose_host(hosts_->row(item)); });
    connect(port_, &QLineEdit::textChanged, this, [this](const QString& text) {
        take_port_text(model_, text);
    });
    connect(connect_, &QPushButton::clicked, this, &TcpClientDialog::start_connection);
    connect(disconnect_, &QPushButton::clicked, this, &TcpClientDialog::disconnect_link);
    connect(ok_, &QPushButton::clicked, this, &QDialog::reject);

    TcpLink& tcp = context_.link.tcp();
    connect(&tcp, &TcpLink::connected, this, &TcpClientDialog::connected_notice);
    connect(&tcp, &TcpLink::link_closed, this, &TcpClientDialog::connection_closed);

    run_opening_steps({.receives_answers = true});
}

void TcpClientDialog::show_host(int host) {
    // selected_peer may be -1 (left by the server role) or name a host deleted since:
    // then no host is chosen and the field stays empty.
    if (host < 0 || host >= model_.host_count || host >= kHostListSize) {
        address_->clear();
        return;
    }
    address_->setText(dotted(model_.host_list[std::size_t(host)]));
}

void TcpClientDialog::show_connection_state() {
    connect_->setEnabled(model_.tcp_connected == 0);
    // While a lost connection is being sought again, 切断 ends the attempts.
    disconnect_->setEnabled(model_.tcp_connected == 1 || context_.link.tcp_connecting());
}

void TcpClientDialog::add_host() {
    if (model_.host_count >= kHostListSize) {
        // The configuration file has keys for 256 hosts; a 257th would be lost.
        warning_box(context_.ui(), text::kHostListFull);
        return;
    }
    const auto address = read_address(address_, context_.ui());
    if (!address) return;
    const int host = std::max(model_.host_count, 0);
    model_.host_list[std::size_t(host)] = *address;
    hosts_->insertItem(host, host_row_text(*address));
    model_.host_count = host + 1;
    if (context_.config != nullptr) {
        write_host_count(model_, *context_.config);
        write_host(model_, *context_.config, host);
    }
}

void TcpClientDialog::delete_host() {
    const int row = hosts_->currentRow();
    // Without a chosen row there is nothing to delete; guessing one would lose a host.
    if (model_.host_count <= 0 || row < 0 || row >= model_.host_count) return;
    delete hosts_->takeItem(row);
    model_.host_count -= 1;
    for (int k = row; k < model_.host_count; ++k) {
        model_.host_list[std::size_t(k)] = model_.host_list[std::size_t(k) + 1];
    }
    if (context_.config != nullptr) {
        write_host_count(model_, *context_.config);
        // The keys of the former last host stay in the file; list_count hides them.
        for (int k = row; k < model_.host_count; ++k) write_host(model_, *context_.config, k);
    }
}

void TcpClientDialog::choose_host(int row) {
    if (model_.host_count == 0 || row < 0 || row >= model_.host_count) return;
    model_.selected_peer = row;
    if (context_.config != nullptr) write_selected_peer(model_, *context_.config);
    show_host(row);
}

void TcpClientDialog::start_connection() {
    if (!read_port(port_, context_.ui())) return;
    // The link connects to host selected_peer (not to the text in the address field) and
    // refuses, with its own box, when that names no host of the list.
    if (context_.link.tcp().socket_connect() != 1) model_.tcp_connected = 0;
}

void TcpClientDialog::connected_notice() {
    model_.tcp_connected = 1;
    show_connection_state();
    success_box(context_.ui(), text::kSocketConnectOk);
}

void TcpClientDialog::connection_closed() {
    // The device closed the connection (or it failed): commands can no longer reach it,
    // so the dialog offers 接続 again instead of a 切断 of nothing.
    model_.tcp_connected = 0;
    show_connection_state();
}

void TcpClientDialog::disconnect_link() {
    if (model_.tcp_connected != 1 && !context_.link.tcp_connecting()) return;
    context_.link.tcp().socket_shutdown();
    model_.tcp_connected = 0;
    show_connection_state();
    success_box(context_.ui(), text::kSocketDisconnectOk);
}

void TcpClientDialog::done(int result) {
    // OK, Close, Escape and the close box all end here: the port is kept for the next
    // start, and a port that is none keeps the dialog open.
    if (port_may_close(port_, context_)) ModelDialog::done(result);
}

}  // namespace tqv
