#include "network/dialogs.h"

#include "app/menu_commands.h"
#include "network/interface_dialog.h"
#include "network/com_port_dialog.h"
#include "network/role_dialog.h"
#include "network/slave_address_dialog.h"
#include "network/tcp_client_dialog.h"
#include "network/tcp_server_dialog.h"
#include "network/device_network_dialog.h"

namespace tqv::network {

bool has_dialog(int command) {
    switch (command) {
        case command::kInterface:
            return InterfaceDialog::kBuilt;
        case command::kComPort:
            return ComPortDialog::kBuilt;
        case command::kClientServer:
            return RoleDialog::kBuilt;
        case command::kSlaveAddress:
            return SlaveAddressDialog::kBuilt;
        case command::kProtocol:
            return DeviceNetworkDialog::kBuilt;
        case command::kTcpSettings:
            return TcpClientDialog::kBuilt && TcpServerDialog::kBuilt;
        default:
            return false;
    }
}

std::unique_ptr<QDialog> make_dialog(int command, AppContext& context, QWidget* parent) {
    if (!has_dialog(command)) return nullptr;
    switch (command) {
        case command::kInterface:
            return std::make_unique<InterfaceDialog>(context, parent);
        case command::kComPort:
            return std::make_unique<ComPortDialog>(context, parent);
        case command::kClientServer:
            return std::make_unique<RoleDialog>(context, parent);
        case command::kSlaveAddress:
            return std::make_unique<SlaveAddressDialog>(context, parent);
        case command::kProtocol:
            return std::make_unique<DeviceNetworkDialog>(context, parent);
        case command::kTcpSettings:
            // The role chooses the dialog: devices connect to the server, the client connects.
            if (context.model.tcp_role == 1) return std::make_unique<TcpServerDialog>(context, parent);
            return std::make_unique<TcpClientDialog>(context, parent);
        default:
            return nullptr;
    }
}

}  // namespace tqv::network
