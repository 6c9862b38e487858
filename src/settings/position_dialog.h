// "表示位置微調整": the display position of each title line, 16 steps, one "設定" per line.
#pragma once

#include "dialogs/page_list_dialog.h"

namespace tqv {

class PositionDialog : public PageListDialog {
    Q_OBJECT
  public:
    PositionDialog(AppContext& context, QWidget* parent);

    // The list of a title line shows position_offset, not a page.
    QComboBox* offset_list(int line) const { return page_list(line); }
};

}  // namespace tqv
