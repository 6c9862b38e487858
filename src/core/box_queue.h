// The boxes an answer raises wait until the answer dispatch has returned. A box runs a
// nested event loop on the Qt side; a line arriving inside it must find the dispatcher done
// with the line before, not half-way through it, and the model as that line left it.
// Everything else (questions above all: they need their answer at once, and no answer
// asks one) passes straight through to the Ui that shows the boxes. It sits right above
// that Ui, below any Ui that decides where a box goes (the control's log or the operator),
// so that the decision is made when the box is raised.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "ui.h"

namespace tqv {

class BoxQueue : public ForwardingUi {
  public:
    using ForwardingUi::ForwardingUi;

    // Shown now, or queued while held (and while the queued ones are being shown, so that
    // they keep their order and never stack one inside another).
    void box(Box kind, std::string_view text, std::string_view caption) override;
    // A queued box with this text is dropped too: what it says holds no longer.
    void withdraw(std::string_view text) override;

    // Boxes raised from now on wait.
    void answers_begin() override { ++held_; }
    // The outermost end shows the boxes that waited, in the order they were raised.
    void answers_end() override;

  private:
    struct Waiting {
        Box kind;
        std::string text;
        std::string caption;
    };
    std::deque<Waiting> waiting_;
    int held_ = 0;
    bool showing_ = false;
};

}  // namespace tqv
