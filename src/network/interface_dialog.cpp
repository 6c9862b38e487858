#include "network/interface_dialog.h"

namespace tqv {

InterfaceDialog::InterfaceDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("インターフェイスの設定")) {}

}  // namespace tqv
