#include "network/com_port_dialog.h"

namespace tqv {

ComPortDialog::ComPortDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("通RS-232Cの設定")) {}

}  // namespace tqv
