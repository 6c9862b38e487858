// "自動切換えの設定": the time, 00 to 99 seconds, each page stays on a title line that is in
// automatic switching.
#pragma once

#include "settings/page_value_dialog.h"

namespace tqv {

class AutoSwitchingDialog : public PageValueDialog {
    Q_OBJECT
  public:
    AutoSwitchingDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
