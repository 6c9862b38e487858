// "通RS-232Cの設定" (the caption the operators know): the COM port opened at the next start.
// Only OK stores the choice.
#pragma once

#include "dialogs/model_dialog.h"

class QComboBox;
class QPushButton;

namespace tqv {

class ComPortDialog : public ModelDialog {
    Q_OBJECT
  public:
    ComPortDialog(AppContext& context, QWidget* parent);

    QComboBox* com_port_list() const { return list_; }
    QPushButton* ok_button() const { return ok_; }
    QPushButton* close_button() const { return close_; }

  private:
    QComboBox* list_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace tqv
