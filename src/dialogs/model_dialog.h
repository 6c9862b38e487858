// The base of every dialog over the settings model: the steps a dialog runs when it opens,
// and the controls several dialogs share (the slave address list, page lists).
#pragma once

#include <functional>

#include <QDialog>
#include <QString>
#include <QStringList>

#include "dialogs/app_context.h"

class QComboBox;
class QPushButton;
class QGroupBox;
class QHBoxLayout;

namespace tqv {

struct OpeningSteps {
    // notify_window := the dialog, message_owner := the active window. Dialogs that never
    // talk to the device leave both alone.
    bool receives_answers = true;
    // With a selected peer, the caption becomes this text (it ends in a blank) followed by
    // the peer's address, so the operator sees which device the commands go to.
    const char* peer_caption = nullptr;
};

class ModelDialog : public QDialog {
    Q_OBJECT
  public:
    ~ModelDialog() override;

    AppContext& context() { return context_; }
    // The "Slave Address" list, once slave_address_group() has made it.
    QComboBox* slave_address_list() const { return slave_address_list_; }

  signals:
    // A value of the settings document changed here: the main window's title marks it.
    void document_edited();

  protected:
    ModelDialog(AppContext& context, QWidget* parent, const QString& caption);

    // Run at the end of the constructor, once the lists show the model's values.
    void run_opening_steps(const OpeningSteps& steps);
    // document_dirty := 1, and document_edited().
    void mark_document_edited();

    // The "Slave Address" group: "00".."31" and "Bloadcast", showing slave_address_index
    // and writing it on every change, so the choice carries over to every later command.
    QGroupBox* slave_address_group();
    // The line and page lists of a dialog that shows one title slot: each choice is the
    // model's selected line or page, and `show` draws the slot chosen.
    void follow_line_and_page(QComboBox* lines, QComboBox* pages, std::function<void()> show);
    // The bottom row most dialogs share: the "Slave Address" group left, "Close" right.
    // Close is Enter's button only when asked.
    QHBoxLayout* address_and_close_row(bool close_is_default = false);

    AppContext& context_;
    Model& model_;

  private:
    void forget_handles();

    QComboBox* slave_address_list_ = nullptr;
};

// A drop-down list named for assistive technology (and GUI tests) by its group caption,
// showing item `selected`; a value that is no item leaves the list without a selection.
QComboBox* make_list(const QString& accessible_name, const QStringList& items, int selected,
                     QWidget* parent);
QStringList slave_address_items();   // "00".."31", "Bloadcast"
// A push button that is the dialog's default (Enter) only when asked, so that Enter in an
// edit box or a list never sends a command by accident.
QPushButton* make_button(const QString& text, QWidget* parent, bool is_default = false);
// A button named for assistive technology by what it sets and its text ("タイトル 設定"):
// many buttons read "設定", several of them in one dialog.
QPushButton* make_set_button(const QString& what, const QString& text, QWidget* parent);
QStringList page_items();            // "01".."64"
QStringList page_items_with_auto();  // "01".."64", "AUTO"

}  // namespace tqv
