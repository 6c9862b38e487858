#include "network/tcp_client_dialog.h"

namespace tqv {

TcpClientDialog::TcpClientDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("TCP/IPの設定（Client）")) {}

}  // namespace tqv
