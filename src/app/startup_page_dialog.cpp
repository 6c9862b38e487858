#include "app/startup_page_dialog.h"

#include "core/commands.h"

namespace tqv {

StartupPageDialog::StartupPageDialog(AppContext& context, QWidget* parent)
    : PageListDialog(context, parent, QStringLiteral("スタートアップの設定"),
                     "スタートアップの設定 ", &Model::startup_page, &send_startup_page) {}

}  // namespace tqv
