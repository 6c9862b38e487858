// "タイトル表示の設定": whether the device shows each page's title ("ON ") or not ("OFF"),
// per title line and page.
#pragma once

#include "settings/page_value_dialog.h"

namespace tqv {

class TitleDisplayDialog : public PageValueDialog {
    Q_OBJECT
  public:
    TitleDisplayDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
