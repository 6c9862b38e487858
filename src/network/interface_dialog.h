// "インターフェイスの設定": RS-232C or TCP/IP. The choice is stored at once (model and
// configuration file); it cannot be changed while a TCP connection is up, and the dialog
// says so.
#pragma once

#include "dialogs/model_dialog.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tqv {

class InterfaceDialog : public ModelDialog {
    Q_OBJECT
  public:
    InterfaceDialog(AppContext& context, QWidget* parent);

    QComboBox* interface_list() const { return list_; }
    QPushButton* ok_button() const { return ok_; }
    QPushButton* close_button() const { return close_; }
    // "TCP/IP接続中は変更できません。…" while the list is locked; null while it is free.
    QLabel* lock_note() const { return lock_note_; }

  private:
    QComboBox* list_ = nullptr;
    QLabel* lock_note_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace tqv
