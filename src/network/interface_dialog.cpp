#include "network/interface_dialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/config.h"
#include "network/network_widgets.h"

namespace tqv {

InterfaceDialog::InterfaceDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("インターフェイスの設定")) {
    // Switching the interface under a live connection would strand it: the list is shown
    // empty and cannot be changed until the operator disconnects.
    const bool locked = model_.tcp_connected == 1;
    auto choice = lay_out_choice(this, QStringLiteral("Interface"),
                                 {QStringLiteral("RS-232C"), QStringLiteral("TCP/IP")},
                                 locked ? -1 : model_.interface_kind);
    list_ = choice.list;
    list_->setEnabled(!locked);
    ok_ = make_button(QStringLiteral("OK"), this, true);
    close_ = make_button(QStringLiteral("Close"), this);
    choice.buttons->addWidget(ok_);
    choice.buttons->addWidget(close_);
    choice.buttons->addStretch(1);

    connect(list_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        model_.interface_kind = index;
        if (context_.config != nullptr) write_interface(model_, *context_.config);
    });
    // The choice is already stored; both buttons only end the dialog.
    connect(ok_, &QPushButton::clicked, this, &QDialog::reject);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    run_opening_steps({.receives_answers = true});
}

}  // namespace tqv
