// The operator's message boxes on Qt: every box and question the core or a window shows
// goes through here, so that tests can put a recording Ui in its place.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <vector>

#include "core/ui.h"
#include "dialogs/app_context.h"

class QWidget;

namespace tqv {

class MessageBoxUi : public Ui {
  public:
    // The windows the boxes of answers sit over, once the dialogs' context exists; before
    // that every box has no owner.
    void show_over(const AnswerWindows* windows) { windows_ = windows; }

    // A beep, then a modal box: error and warning boxes with their icons, success and
    // plain boxes without one. Owned error boxes and the plain and information boxes sit
    // over `message_owner`; all others have no owner.
    void box(Box kind, std::string_view text, std::string_view caption) override;
    // A beep, then a Yes/No question with no owner; true for Yes.
    bool ask(std::string_view text, std::string_view caption) override;
    // A glyph answer: the open dialog (`notify_window`) repaints.
    void repaint_notify() override;
    void withdraw(std::string_view text) override;

    // The window a box of this kind sits over; nullptr for none (also when the window that
    // was named has gone away since).
    QWidget* owner(Box kind) const;

  private:
    const AnswerWindows* windows_ = nullptr;
    // The boxes open now, innermost last; each runs its own event loop.
    std::vector<QPointer<QMessageBox>> open_;
};

}  // namespace tqv
