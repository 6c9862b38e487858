// The "キューリスト" window: the show's cue list, kept open beside the main window while the
// operator works. Load, edit (cues: add, remove, move, duplicate, rename; steps: add,
// change, remove), save and save-as with the unsaved question; the current and next cue
// marked; GO (Space or the button) fires the next cue, BACK and a double-click choose the
// next one, 中止 stops the cue under way. While a cue runs the step table shows its steps,
// each one's outcome as soon as the device has answered, and a wait counts down.
//
// The list is the shared CueShow's, which remote panels and vision mixers fire too: the
// window shows their cues as they run, and edits are refused while a cue runs.
//
// Under the buttons, what GO will change before it is pressed: both channels as they are on
// air now (program) beside both as they will be once the next cue's steps are taken
// (preview), drawn as the on-air window draws them.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "control/cue_show.h"
#include "core/model.h"
#include "core/observers.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tqv {

class ChannelView;
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
    // GO: the next cue, once the operator has agreed to the titles it blanks.
    void go();
    // True when the list holds no unsaved edits or the operator lets them go (`question`
    // answered Yes); nothing closes.
    bool may_discard(const char* question);
    // Closes without asking again: the question was asked with the others (the exit).
    void close_discarding();
    QTableWidget* cue_table() const { return cues_; }
    QTableWidget* step_table() const { return steps_; }
    QLabel* status() const { return status_; }
    // The picture of channel 0 or 1 on air now, and after the next cue.
    ChannelView* program_view(int channel) const { return program_[channel]; }
    ChannelView* preview_view(int channel) const { return preview_[channel]; }
    QLabel* preview_caption() const { return preview_caption_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QPushButton* button(const char* text, const char* accessible);
    // True for an edit the list took; else its reason goes to the status line.
    bool reply_ok(const std::string& refused);
    void edit(const std::function<bool(CueList&)>& change, int select_row);
    void refresh_cues();
    void refresh_running();
    // The row whose steps the step table shows: the cue under way, else the selected one.
    int shown_cue() const;
    // A GO that would send a title step without text from a list not saved with it asks
    // first; false when the operator said no.
    bool blanking_confirmed();
    void refresh_steps();
    void refresh_caption();
    int selected_cue() const;
    CueStep step_from_editor() const;
    void step_to_editor(const CueStep& step);
    void update_enabled();
    // The model after the next cue's steps, on a copy of what is on air; both pictures anew.
    void refresh_preview();

    CueShow& show_;
    Ui& ui_;
    FileDialogs* files_;
    std::string path_;
    bool dirty_ = false;
    bool own_edit_ = false;
    bool discarding_ = false;
    std::vector<Cue> saved_;      // the list as last loaded or saved
    std::vector<Cue> confirmed_;  // cues whose blank titles the operator agreed to
    QString running_name_;
    QTimer countdown_;

    QTableWidget* cues_;
    QTableWidget* steps_;
    QGroupBox* steps_caption_;
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
    Model preview_model_;
    ChannelView* program_[2] = {nullptr, nullptr};
    ChannelView* preview_[2] = {nullptr, nullptr};
    QLabel* preview_caption_ = nullptr;
    Subscription answered_;
};

}  // namespace tqv
