#include "network/role_dialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/config.h"
#include "network/network_widgets.h"

namespace tqv {

RoleDialog::RoleDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("クライアント/サーバー")) {
    auto choice = lay_out_choice(this, QString::fromUtf8("選択"),
                                 {QStringLiteral("Client"), QStringLiteral("Server")},
                                 model_.tcp_role);
    list_ = choice.list;
    lock_note_ = lock_while_connected(choice, model_);
    ok_ = make_button(QStringLiteral("OK"), this, true);
    choice.buttons->addWidget(ok_);
    choice.buttons->addStretch(1);

    connect(list_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        model_.tcp_role = index;
        if (context_.config != nullptr) write_tcp_role(model_, *context_.config);
        context_.link.link_settings_changed();
    });
    connect(ok_, &QPushButton::clicked, this, &QDialog::reject);

    // The role sends nothing to a device, so the address prefix is left as it is.
    run_opening_steps({.receives_answers = true});
}

}  // namespace tqv
