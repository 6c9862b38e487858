// "クライアント/サーバー": whether the program connects to a device (client) or devices
// connect to it (server). Stored at once; locked while a TCP connection is up. The main
// window takes its caption from the role when this dialog closes.
#pragma once

#include "dialogs/model_dialog.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tqv {

class RoleDialog : public ModelDialog {
    Q_OBJECT
  public:
    RoleDialog(AppContext& context, QWidget* parent);

    QComboBox* role_list() const { return list_; }
    QPushButton* ok_button() const { return ok_; }
    // "TCP/IP接続中は変更できません。…" while the list is locked; null while it is free.
    QLabel* lock_note() const { return lock_note_; }

  private:
    QComboBox* list_ = nullptr;
    QLabel* lock_note_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace tqv
