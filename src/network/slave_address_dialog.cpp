#include "network/slave_address_dialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/commands.h"
#include "network/network_widgets.h"

namespace tqv {

SlaveAddressDialog::SlaveAddressDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("機器のスレーブアドレス")) {
    // A device cannot be given the broadcast address: "00".."31" only. A broadcast choice
    // made in another dialog shows as no selection here.
    const QStringList items = slave_address_items().mid(0, kBroadcastIndex);
    auto choice =
        lay_out_choice(this, QStringLiteral("Slave Address"), items, model_.slave_address_index);
    list_ = choice.list;
    set_ = make_set_button(QStringLiteral("スレーブアドレス"), QStringLiteral("設定"), this);
    close_ = make_button(QStringLiteral("Close"), this);
    choice.buttons->addWidget(set_);
    choice.buttons->addWidget(close_);
    choice.buttons->addStretch(1);

    connect(list_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) model_.slave_address_index = index;
    });
    connect(set_, &QPushButton::clicked, this, [this] {
        send_network_command(context_.link.send_path(),
                             body_slave_address(model_.slave_address_index));
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    // The "SA" command goes to whichever device is on the line, so it carries no address
    // (send_network_command).
    run_opening_steps({.receives_answers = true});
}

}  // namespace tqv
