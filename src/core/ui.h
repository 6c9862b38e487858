// Message boxes and questions go through this interface, so that tests record them
// instead of blocking. Texts and captions are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tqv {

enum class Box {
    error_owned,  // error icon, owned by message_owner (network-event errors)
    error,        // error icon, no owner
    warning,      // warning icon
    success,      // no icon, caption "Success"
    plain,        // no icon, own caption ("Success" / "設定完了", "２重に起動はできません")
    information,  // information icon, own caption (a run the operator stopped)
};

class Ui {
public:
    virtual ~Ui() = default;
    // Shows one modal box (after the beep that precedes every box).
    virtual void box(Box kind, std::string_view text, std::string_view caption) = 0;
    // Yes/No question; true for Yes.
    virtual bool ask(std::string_view text, std::string_view caption) = 0;
    // A glyph answer asks the open dialog to repaint its glyphs.
    virtual void repaint_notify() {}
    // What a box still open with this text says holds no longer (the lost port is back):
    // the box is closed as if the operator had pressed OK.
    virtual void withdraw(std::string_view text) { (void)text; }
    // Answer lines are handled from answers_begin() until answers_end() (the calls nest):
    // a Ui whose boxes run their own event loop keeps the boxes raised in between until
    // the end (BoxQueue), so that no box opens inside the dispatch.
    virtual void answers_begin() {}
    virtual void answers_end() {}
};

// Hands everything on to another Ui: the base of a Ui that changes one thing about it.
class ForwardingUi : public Ui {
public:
    explicit ForwardingUi(Ui& inner) : inner_(inner) {}
    void box(Box kind, std::string_view text, std::string_view caption) override {
        inner_.box(kind, text, caption);
    }
    bool ask(std::string_view text, std::string_view caption) override {
        return inner_.ask(text, caption);
    }
    void repaint_notify() override { inner_.repaint_notify(); }
    void withdraw(std::string_view text) override { inner_.withdraw(text); }
    void answers_begin() override { inner_.answers_begin(); }
    void answers_end() override { inner_.answers_end(); }

protected:
    Ui& inner_;
};

inline void error_box(Ui& ui, std::string_view text) { ui.box(Box::error, text, "Error"); }
inline void error_box_owned(Ui& ui, std::string_view text) {
    ui.box(Box::error_owned, text, "Error");
}
inline void warning_box(Ui& ui, std::string_view text) { ui.box(Box::warning, text, "Error"); }
inline void success_box(Ui& ui, std::string_view text) { ui.box(Box::success, text, "Success"); }

}  // namespace tqv
