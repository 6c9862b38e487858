// The operator's message boxes on Qt: every box and question the core or a window shows
// goes through here, so that tests can put a recording Ui in its place.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <vector>

#include "core/model.h"
#include "core/ui.h"

class QWidget;

namespace tqv {

class MessageBoxUi : public Ui {
  public:
    explicit MessageBoxUi(Model& model) : model_(model) {}

    // A beep, then a modal box: error and warning boxes with their icons, success and
    // plain boxes without one. Owned error boxes and the plain boxes of answers sit over
    // `message_owner`; all others have no owner.
    void box(Box kind, std::string_view text, std::string_view caption) override;
    // A beep, then a Yes/No question with no owner; true for Yes.
    bool ask(std::string_view text, std::string_view caption) override;
    // A glyph answer: the open dialog (`notify_window`) repaints.
    void repaint_notify() override;
    void withdraw(std::string_view text) override;

    // The widget a model handle names, or nullptr when it is not a live widget any more
    // (a dialog that set it may have closed since).
    static QWidget* live_widget(const void* handle);

  private:
    Model& model_;
    // The boxes open now, innermost last; each runs its own event loop.
    std::vector<QPointer<QMessageBox>> open_;
};

}  // namespace tqv
