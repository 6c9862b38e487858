#include "settings/title_display_dialog.h"

#include "core/commands.h"

namespace tqv {

namespace {

// The list items and the cells carry the device's own spelling, "ON " with its blank.
const QString kOff = QStringLiteral("OFF");
const QString kOn = QStringLiteral("ON ");

QString display_tail(int value) { return QStringLiteral(" = ") + (value != 0 ? kOn : kOff); }

}  // namespace

TitleDisplayDialog::TitleDisplayDialog(AppContext& context, QWidget* parent)
    : PageValueDialog(context, parent,
                      {.caption = QStringLiteral("タイトル表示の設定"),
                       .peer_caption = "タイトル表示の設定 ",
                       .value_group = QStringLiteral("Display"),
                       .same_group = QStringLiteral("Same Display"),
                       .items = {kOff, kOn},
                       .values = &Model::title_display,
                       .same_choice = &Model::same_display_choice,
                       .cell_tail = &display_tail,
                       .send_one = &send_display_one,
                       .bulk_kind = BulkKind::display_lines}) {}

}  // namespace tqv
