// "外字挿入": tells the device to place a registered glyph at one of the 14 character
// positions of a title (title line and page). The program's own copy of the titles is left
// as it is; only the device changes.
#pragma once

#include "dialogs/model_dialog.h"

class QComboBox;
class QPushButton;

namespace tqv {

class GlyphInsertDialog : public ModelDialog {
    Q_OBJECT
  public:
    // Glyph numbers a title can carry, and the character positions of a title.
    static constexpr int kInsertableGlyphs = 28;
    static constexpr int kPositions = 14;

    GlyphInsertDialog(AppContext& context, QWidget* parent);

    QComboBox* line_list() const { return line_list_; }
    QComboBox* page_list() const { return page_list_; }
    QComboBox* glyph_list() const { return glyph_list_; }
    QComboBox* position_list() const { return position_list_; }
    QPushButton* set_button() const { return set_button_; }

  private:
    // A captioned group holding one list that edits `member`.
    QGroupBox* choice_group(const QString& caption, const QStringList& items, int Model::*member,
                            QComboBox*& list);
    void update_set_button();

    QComboBox* line_list_ = nullptr;
    QComboBox* page_list_ = nullptr;
    QComboBox* glyph_list_ = nullptr;
    QComboBox* position_list_ = nullptr;
    QPushButton* set_button_ = nullptr;
};

}  // namespace tqv
