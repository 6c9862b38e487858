// How the main window opens its dialogs. The program runs each one modally; tests put an
// opener in its place that shows the dialog without blocking and lets them drive it.
#pragma once

#include <memory>

class QDialog;

namespace tqv {

class DialogOpener {
  public:
    virtual ~DialogOpener() = default;
    // Takes the dialog over. The modal opener returns when the dialog has closed.
    virtual void open(std::unique_ptr<QDialog> dialog) = 0;
};

class ModalDialogOpener : public DialogOpener {
  public:
    void open(std::unique_ptr<QDialog> dialog) override;
};

}  // namespace tqv
