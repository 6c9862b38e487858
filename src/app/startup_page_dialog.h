// "スタートアップの設定": the page each title line shows after the device starts.
#pragma once

#include "dialogs/page_list_dialog.h"

namespace tqv {

class StartupPageDialog : public PageListDialog {
    Q_OBJECT
  public:
    StartupPageDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
