#include "network/device_network_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/commands.h"
#include "network/network_widgets.h"

namespace tqv {

namespace {

constexpr const char* kAddressCaptions[] = {"IP Address", "Gateway Address", "Active Address"};
Ipv4 Model::*const kAddressValues[] = {&Model::ip_address, &Model::gateway_address,
                                       &Model::active_address};
std::string (*const kAddressBodies[])(const Model&) = {&body_ip_address, &body_gateway_address,
                                                       &body_active_address};

QLineEdit* make_shown_field(const QString& accessible_name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setAccessibleName(accessible_name);
    field->setReadOnly(true);
    field->setAlignment(Qt::AlignCenter);
    return field;
}

}  // namespace

DeviceNetworkDialog::DeviceNetworkDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("プロトコル")),
      bulk_(*this, context, BulkKind::network_read) {
    auto* grid = new QGridLayout;
    int grid_row = 0;
    // One captioned row per value: the control, then its 設定 when the value can be
    // written. Rows fill the left column first.
    auto add_row = [&](const QString& caption, QWidget* control, bool settable) {
        auto* group = new QGroupBox(caption, this);
        auto* row = new QHBoxLayout(group);
        row->addWidget(control, 1);
        QPushButton* button = nullptr;
        if (settable) {
            button = make_set_button(caption, QStringLiteral("設定"), group);
            row->addWidget(button);
        }
        grid->addWidget(group, grid_row % 5, grid_row / 5);
        ++grid_row;
        return button;
    };
    auto list = [this](const QString& caption, const QStringList& items) {
        return make_list(caption, items, -1, this);
    };

    for (int row = 0; row < kAddressRows; ++row) {
        const QString caption = QString::fromUtf8(kAddressCaptions[row]);
        address_fields_[row] = make_address_field(caption, this);
        address_buttons_[row] = add_row(caption, address_fields_[row], true);
    }
    const QString subnet = QStringLiteral("Subnet Mask");
    subnet_ = list(
        subnet, {QStringLiteral("Class A"), QStringLiteral("Class B"), QStringLiteral("Class C")});
    subnet_set_ = add_row(subnet, subnet_, true);
    const QString port = QStringLiteral("Port Number");
    port_ = make_port_field(port, this);
    port_set_ = add_row(port, port_, true);
    // Four characters each, as the device's own menu shows them.
    const QString keep_alive = QStringLiteral("Keep Alive");
    keep_alive_ = list(keep_alive, {QStringLiteral("OFF "), QStringLiteral("ON  ")});
    keep_alive_set_ = add_row(keep_alive, keep_alive_, true);
    const QString time_register = QStringLiteral("Time Register");
    time_register_ =
        list(time_register, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                             QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6")});
    time_register_set_ = add_row(time_register, time_register_, true);
    const QString mac = QStringLiteral("MAC Address");
    mac_ = make_shown_field(mac, this);
    add_row(mac, mac_, false);
    const QString version = QStringLiteral("Version Number");
    version_ = make_shown_field(version, this);
    add_row(version, version_, false);

    read_ = make_button(QString::fromUtf8("読み込み"), this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(bulk_.progress_bar(), 1);
    bottom->addWidget(bulk_.fast_box());
    bottom->addWidget(bulk_.stop_button());
    bottom->addWidget(read_);
    bottom->addWidget(bulk_.close_button());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    show_model();

    for (int row = 0; row < kAddressRows; ++row) {
        connect(address_buttons_[row], &QPushButton::clicked, this,
                [this, row] { set_address(row); });
    }
    connect(subnet_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) model_.subnet_class = index;
    });
    connect(keep_alive_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) model_.keep_alive = index;
    });
    connect(time_register_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) model_.time_register = index;
    });
    connect(subnet_set_, &QPushButton::clicked, this, [this] { send(body_subnet(model_)); });
    connect(keep_alive_set_, &QPushButton::clicked, this,
            [this] { send(body_keep_alive(model_)); });
    connect(time_register_set_, &QPushButton::clicked, this,
            [this] { send(body_time_register(model_)); });
    connect(port_set_, &QPushButton::clicked, this, [this] {
        if (!read_port(port_, context_.ui())) return;
        const std::string text = port_->text().toStdString();
        set_slot_text(model_.device_port_number, text);
        send(body_device_port(text));
    });
    connect(read_, &QPushButton::clicked, this, [this] { bulk_.start(); });
    // The fields show what the device answered, also when some answers did not come.
    connect(&bulk_, &BulkRunner::ended, this, [this] { show_model(); });

    // The network values are written to whichever device is on the line, so they carry no
    // address (send_network_command).
    run_opening_steps({.receives_answers = true, .peer_caption = "プロトコルの設定 "});
}

DeviceNetworkDialog::~DeviceNetworkDialog() = default;

void DeviceNetworkDialog::show_model() {
    for (int row = 0; row < kAddressRows; ++row) {
        address_fields_[row]->setText(
            QString::fromStdString(address_text(model_.*kAddressValues[row])));
    }
    auto select = [](QComboBox* list, int index) {
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    };
    select(subnet_, model_.subnet_class);
    select(keep_alive_, model_.keep_alive);
    select(time_register_, model_.time_register);
    port_->setText(QString::fromLatin1(slot_text(model_.device_port_number).c_str()));
    mac_->setText(QString::fromLatin1(slot_text(model_.mac_address).c_str()));
    version_->setText(QString::fromLatin1(slot_text(model_.version_number).c_str()));
}

void DeviceNetworkDialog::set_address(int row) {
    // An incomplete field would otherwise become a malformed "IA" command.
    const auto address = read_address(address_fields_[row], context_.ui());
    if (!address) return;
    model_.*kAddressValues[row] = *address;
    send(kAddressBodies[row](model_));
}

void DeviceNetworkDialog::send(const std::string& body) {
    send_network_command(context_.link.send_path(), body);
}

void DeviceNetworkDialog::reject() {
    if (bulk_.running()) return;
    ModelDialog::reject();
}

}  // namespace tqv
