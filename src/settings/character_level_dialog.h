// "文字レベルの設定": the character white and edge levels, four steps each, each level with
// its own "設定" that sends it at once.
#pragma once

#include "dialogs/model_dialog.h"

class QComboBox;
class QPushButton;

namespace tqv {

class CharacterLevelDialog : public ModelDialog {
    Q_OBJECT
  public:
    CharacterLevelDialog(AppContext& context, QWidget* parent);

    QComboBox* white_list() const { return white_list_; }
    QComboBox* edge_list() const { return edge_list_; }
    QPushButton* white_button() const { return white_button_; }
    QPushButton* edge_button() const { return edge_button_; }

  private:
    // One captioned group with the level's list and its "設定"; `level` is the model member
    // the list edits, `send` the builder the button calls.
    QGroupBox* level_group(const QString& caption, int Model::*level,
                           void (*send)(SendPath&), QComboBox*& list, QPushButton*& button);

    QComboBox* white_list_ = nullptr;
    QComboBox* edge_list_ = nullptr;
    QPushButton* white_button_ = nullptr;
    QPushButton* edge_button_ = nullptr;
};

}  // namespace tqv
