#include "network/interface_dialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/config.h"
#include "network/network_widgets.h"

namespace tqv {

InterfaceDialog::InterfaceDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("インターフェイスの設定")) {
    auto choice = lay_out_choice(this, QStringLiteral("Interface"),
                                 {QStringLiteral("RS-232C"), QStringLiteral("TCP/IP")},
                                 model_.interface_kind);
    list_ = choice.list;
    lock_note_ = lock_while_connected(choice, model_);
    ok_ = make_button(QStringLiteral("OK"), this, true);
    close_ = make_button(QStringLiteral("Close"), this);
    choice.buttons->addWidget(ok_);
    choice.buttons->addWidget(close_);
    choice.buttons->addStretch(1);

    connect(list_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        model_.interface_kind = index;
        if (context_.config != nullptr) write_interface(model_, *context_.config);
        context_.link.link_settings_changed();
    });
    // The choice is already stored; both buttons only end the dialog.
    connect(ok_, &QPushButton::clicked, this, &QDialog::reject);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    run_opening_steps({.receives_answers = true});
}

}  // namespace tqv
