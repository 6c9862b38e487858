#include "settings/read_settings_dialog.h"

#include "core/texts.h"

namespace tqv {

ReadSettingsDialog::ReadSettingsDialog(AppContext& context, QWidget* parent)
    : DeviceRunDialog(context, parent,
                      {.caption = QStringLiteral("設定項目の読み込み"),
                       .button = QStringLiteral("読み込み"),
                       .what = QStringLiteral("設定項目"),
                       .notice = QString::fromUtf8(text::kReadMaintenanceOnly),
                       .kind = BulkKind::read_settings}) {}

}  // namespace tqv
