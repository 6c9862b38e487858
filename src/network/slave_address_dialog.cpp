#include "network/slave_address_dialog.h"

namespace tqv {

SlaveAddressDialog::SlaveAddressDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("機器のスレーブアドレス")) {}

}  // namespace tqv
