// "タイトル設定": the 256 titles, 14 double-byte characters each, one per title line and
// page. The chosen title is edited here and sent alone ("設定" stores it in the device,
// "Not Memory" does not) or all 256 go out in a timed run ("全設定", "NM全設定").
#pragma once

#include "dialogs/bulk_runner.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tqv {

class PageCells;

class TitleDialog : public BulkDialog {
    Q_OBJECT
  public:
    TitleDialog(AppContext& context, QWidget* parent);

    QComboBox* line_list() const { return line_list_; }
    QComboBox* page_list() const { return page_list_; }
    QLineEdit* title_edit() const { return title_edit_; }
    QLabel* title_note() const { return title_note_; }
    PageCells* cells() const { return cells_; }
    QPushButton* set_button() const { return set_button_; }
    QPushButton* not_memory_button() const { return not_memory_button_; }
    QPushButton* set_all_button() const { return set_all_button_; }
    QPushButton* not_memory_all_button() const { return not_memory_all_button_; }

    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TitleSlot& current_slot();
    void show_title();
    void title_changed(const QString& text);

    QComboBox* line_list_ = nullptr;
    QComboBox* page_list_ = nullptr;
    QLineEdit* title_edit_ = nullptr;
    QLabel* title_note_ = nullptr;
    QString shown_title_;  // the field's text as last stored into the slot
    PageCells* cells_ = nullptr;
    QPushButton* set_button_ = nullptr;
    QPushButton* not_memory_button_ = nullptr;
    QPushButton* set_all_button_ = nullptr;
    QPushButton* not_memory_all_button_ = nullptr;
    // Whether the input method was showing when the dialog opened; it is put back on close.
    bool saved_ime_open_ = false;
    bool ime_saved_ = false;
};

}  // namespace tqv
