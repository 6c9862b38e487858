// "TQV7310NXのﾊﾞｰｼﾞｮﾝ情報": the program's version.
#pragma once

#include "dialogs/model_dialog.h"

namespace tqv {

class VersionDialog : public ModelDialog {
    Q_OBJECT
  public:
    VersionDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
