#include "app/page_switch_dialog.h"

#include "core/commands.h"

namespace tqv {

PageSwitchDialog::PageSwitchDialog(AppContext& context, QWidget* parent)
    : PageListDialog(context, parent, QStringLiteral("表示ページ切換え"), "表示ページの切換え ",
                     &Model::current_page, &send_page_switch) {}

}  // namespace tqv
