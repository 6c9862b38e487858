#include "network/device_network_dialog.h"

namespace tqv {

DeviceNetworkDialog::DeviceNetworkDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("プロトコル")) {}

}  // namespace tqv
