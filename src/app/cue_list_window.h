// The "キューリスト" window: the show's cue list, kept open beside the main window while the
// operator works. Load, edit (cues: add, remove, move, duplicate, rename; steps: add,
// change, remove), save and save-as with the unsaved question; the current and next cue
// marked; GO (Space or the button) fires the next cue, BACK and a double-click choose the
// next one, 中止 stops the cue under way; each step's outcome shows in its row.
//
// The list is the shared CueShow's, which remote panels and vision mixers fire too: the
// window shows their cues as they run, and edits are refused while a cue runs.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "control/cue_show.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tqv {

class FileDialogs;
class Ui;

class CueListWindow : public QWidget {
    Q_OBJECT
  public:
    CueListWindow(CueShow& show, Ui& ui, FileDialogs* files, QWidget* parent = nullptr);

    // The file menu's commands; false when cancelled or the file could not be used.
    bool open_file();
    bool open_path(const std::string& path);
    bool save();
    bool save_as();
    void go();
    bool dirty() const { return dirty_; }
    QTableWidget* cue_table() const { return cues_; }
    QTableWidget* step_table() const { return steps_; }
    QLabel* status() const { return status_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QPushButton* button(const char* text, const char* accessible);
    // True for an edit the list took; else its reason goes to the status line.
    bool reply_ok(const std::string& refused);
    void edit(const std::function<bool(CueList&)>& change, int select_row);
    void refresh_cues();
    void refresh_steps();
    void refresh_caption();
    int selected_cue() const;
    CueStep step_from_editor() const;
    void step_to_editor(const CueStep& step);
    void update_enabled();

    CueShow& show_;
    Ui& ui_;
    FileDialogs* files_;
    std::string path_;
    bool dirty_ = false;
    bool own_edit_ = false;

    QTableWidget* cues_;
    QTableWidget* steps_;
    QLabel* status_;
    QPushButton* go_;
    QPushButton* back_;
    QPushButton* stop_;
    QLineEdit* name_;
    QComboBox* action_;
    QComboBox* line_;
    QComboBox* page_;
    QLineEdit* text_;
    QCheckBox* memory_;
    QSpinBox* seconds_;
    std::vector<QWidget*> edit_controls_;
};

}  // namespace tqv
