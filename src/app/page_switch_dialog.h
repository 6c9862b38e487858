// "表示ページ切換え": the page each title line shows now, or automatic switching.
#pragma once

#include "dialogs/page_list_dialog.h"

namespace tqv {

class PageSwitchDialog : public PageListDialog {
    Q_OBJECT
  public:
    PageSwitchDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
