#include "settings/auto_switching_dialog.h"

#include "core/commands.h"
#include "core/digits.h"

namespace tqv {

namespace {

QStringList second_items() {
    QStringList items;
    for (int s = 0; s <= 99; ++s) items << QString::fromStdString(two_digits(s));
    return items;
}

QString time_tail(int seconds) {
    return QStringLiteral(" = ") + QString::fromStdString(two_digits(seconds)) +
           QStringLiteral(" 秒");
}

}  // namespace

AutoSwitchingDialog::AutoSwitchingDialog(AppContext& context, QWidget* parent)
    : PageValueDialog(context, parent,
                      {.caption = QStringLiteral("自動切換えの設定"),
                       .peer_caption = "自動切換えの設定 ",
                       .value_group = QStringLiteral("Time(second)"),
                       .same_group = QStringLiteral("Same Time"),
                       .items = second_items(),
                       .values = &Model::switch_time,
                       .same_choice = &Model::same_time_choice,
                       .cell_tail = &time_tail,
                       .send_one = &send_switch_time_one,
                       .bulk_kind = BulkKind::switch_time_lines}) {}

}  // namespace tqv
