#include "settings/set_all_dialog.h"

namespace tqv {

SetAllDialog::SetAllDialog(AppContext& context, QWidget* parent)
    : DeviceRunDialog(context, parent,
                      {.caption = QStringLiteral("全項目の設定"),
                       .button = QStringLiteral("設定"),
                       .what = QStringLiteral("全項目"),
                       .notice = {},
                       .kind = BulkKind::set_all,
                       .to_all_devices = true}) {}

}  // namespace tqv
