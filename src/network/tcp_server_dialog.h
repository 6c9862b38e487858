// Not built yet: a placeholder that keeps the menu command greyed.
#pragma once

#include "app/model_dialog.h"

namespace tqv {

class TcpServerDialog : public ModelDialog {
    Q_OBJECT
  public:
    // False until the dialog is built; the menu greys its command meanwhile.
    static constexpr bool kBuilt = false;
    TcpServerDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
