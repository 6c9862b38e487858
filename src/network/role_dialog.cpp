#include "network/role_dialog.h"

namespace tqv {

RoleDialog::RoleDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("クライアント/サーバー")) {}

}  // namespace tqv
