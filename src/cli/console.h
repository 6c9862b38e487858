// What the tool writes for people: message texts on stderr, and on a terminal a progress bar
// that the messages never get mixed into. Answers and reports go to stdout through report().
#pragma once

#include <string_view>

namespace tqv::cli {

class Console {
  public:
    // The bar is drawn only when `progress` is set (stderr is a terminal and not --quiet).
    explicit Console(bool progress) : progress_enabled_(progress) {}
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One line on stderr.
    void message(std::string_view text);
    // One line on stdout, written at once so that scripts see answers as they come.
    void report(std::string_view text);
    // Redraws the bar: `fraction` 0..1 fills it, `label` follows it ("45%", " 03.5%").
    void progress(double fraction, std::string_view label);
    // Removes the bar from the terminal.
    void end_progress();

    static bool stderr_is_terminal();

  private:
    void erase_bar();

    bool progress_enabled_;
    bool bar_shown_ = false;
};

}  // namespace tqv::cli
