#include "settings/position_dialog.h"

namespace tqv {

PositionDialog::PositionDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("表示位置微調整")) {}

}  // namespace tqv
