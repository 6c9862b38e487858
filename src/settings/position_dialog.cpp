#include "settings/position_dialog.h"

#include "core/commands.h"
#include "core/digits.h"

namespace tqv {

namespace {

constexpr int kPositionSteps = 16;

QStringList offset_items() {
    QStringList items;
    for (int step = 0; step < kPositionSteps; ++step)
        items << QString::fromStdString(two_digits(step));
    return items;
}

}  // namespace

PositionDialog::PositionDialog(AppContext& context, QWidget* parent)
    : PageListDialog(context, parent, QStringLiteral("表示位置微調整"), "表示位置の微調整 ",
                     &Model::position_offset, &send_position, offset_items()) {}

}  // namespace tqv
