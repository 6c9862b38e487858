#include "network/com_port_dialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/config.h"
#include "network/network_widgets.h"

namespace tqv {

ComPortDialog::ComPortDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("通RS-232Cの設定")) {
    QStringList items;
    for (int port = 1; port <= 6; ++port) items << QStringLiteral("COM %1").arg(port);
    auto choice = lay_out_choice(this, QStringLiteral("COM Port"), items, model_.com_port_index);
    list_ = choice.list;
    ok_ = make_button(QStringLiteral("OK"), this, true);
    close_ = make_button(QStringLiteral("Close"), this);
    choice.buttons->addWidget(ok_);
    choice.buttons->addWidget(close_);
    choice.buttons->addStretch(1);

    connect(ok_, &QPushButton::clicked, this, [this] {
        if (list_->currentIndex() >= 0) {
            model_.com_port_index = list_->currentIndex();
            if (context_.config != nullptr) write_com_port(model_, *context_.config);
        }
        accept();
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    run_opening_steps({.receives_answers = true, .sets_address_prefix = true});
}

}  // namespace tqv
