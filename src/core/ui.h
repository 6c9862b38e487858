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
};

inline void error_box(Ui& ui, std::string_view text) { ui.box(Box::error, text, "Error"); }
inline void error_box_owned(Ui& ui, std::string_view text) {
    ui.box(Box::error_owned, text, "Error");
}
inline void warning_box(Ui& ui, std::string_view text) { ui.box(Box::warning, text, "Error"); }
inline void success_box(Ui& ui, std::string_view text) { ui.box(Box::success, text, "Success"); }

}  // namespace tqv
