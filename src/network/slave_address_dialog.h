// "機器のスレーブアドレス": the slave address every later command is addressed to, and its
// "設定", which writes that address into the device ("SA", serial, no prefix).
#pragma once

#include "dialogs/model_dialog.h"

class QComboBox;
class QPushButton;

namespace tqv {

class SlaveAddressDialog : public ModelDialog {
    Q_OBJECT
  public:
    SlaveAddressDialog(AppContext& context, QWidget* parent);

    QComboBox* slave_address_list() const { return list_; }
    QPushButton* set_button() const { return set_; }
    QPushButton* close_button() const { return close_; }

  private:
    QComboBox* list_ = nullptr;
    QPushButton* set_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace tqv
