// The layout and behaviour the title display and automatic switching dialogs share: one
// value per title line and page (display on/off, switching time), a list for the chosen
// page's value and one that gives all 64 pages of the line the same value, 32 page cells,
// "設定" for the chosen page and "全設定" for all four lines in a timed run.
//
// A choice goes into the model at once and is part of the settings document, so a real
// change marks the document changed; nothing is sent until a button is pressed.
#pragma once

#include <array>

#include "dialogs/bulk_runner.h"

class QComboBox;
class QPushButton;

namespace tqv {

class PageCells;

class PageValueDialog : public BulkDialog {
    Q_OBJECT
  public:
    QComboBox* line_list() const { return line_list_; }
    QComboBox* page_list() const { return page_list_; }
    QComboBox* value_list() const { return value_list_; }
    QComboBox* same_list() const { return same_list_; }
    PageCells* cells() const { return cells_; }
    QPushButton* set_button() const { return set_button_; }
    QPushButton* set_all_button() const { return set_all_button_; }

  protected:
    using Values = std::array<std::array<int, kPages>, kTitleLines>;

    struct Setup {
        QString caption;
        const char* peer_caption;
        QString value_group;  // "Display", "Time(second)"
        QString same_group;   // "Same Display", "Same Time"
        QStringList items;    // list item i is value i
        Values Model::*values;
        int Model::*same_choice;
        // The cell text after "PageNN": " = ON ", " = 02 秒".
        QString (*cell_tail)(int value);
        void (*send_one)(SendPath&);
        BulkKind bulk_kind;
    };
    PageValueDialog(AppContext& context, QWidget* parent, const Setup& setup);

  private:
    int& value(int line, int page) { return (model_.*values_)[line][page]; }
    void show_page();

    Values Model::*values_;
    int Model::*same_choice_;
    QComboBox* line_list_ = nullptr;
    QComboBox* page_list_ = nullptr;
    QComboBox* value_list_ = nullptr;
    QComboBox* same_list_ = nullptr;
    PageCells* cells_ = nullptr;
    QPushButton* set_button_ = nullptr;
    QPushButton* set_all_button_ = nullptr;
};

}  // namespace tqv
