#include "network/tcp_server_dialog.h"

namespace tqv {

TcpServerDialog::TcpServerDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("TCP/IPの設定（Server）")) {}

}  // namespace tqv
