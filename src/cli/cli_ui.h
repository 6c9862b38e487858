// The message boxes of the system, as a command-line tool shows them: each text on one
// line of stderr. Every error or warning box (and the device's "mode difference" answer,
// which the TCP link reports as a success box) counts as a failure and makes the exit
// status 1. Questions are answered Yes: whoever runs the tool has asked for the action.
#pragma once

#include <functional>
#include <string>

#include "cli/console.h"
#include "core/ui.h"

namespace tqv::cli {

class CliUi : public Ui {
  public:
    CliUi(Console& console, bool quiet) : console_(console), quiet_(quiet) {}

    void box(Box kind, std::string_view text, std::string_view caption) override;
    bool ask(std::string_view text, std::string_view caption) override;

    int failures() const { return failures_; }
    // Put in front of every line, so that the messages of several devices running side by
    // side say whose they are ("device 2: ").
    void set_prefix(std::string prefix) { prefix_ = std::move(prefix); }

    // Told after every box; `failure` as counted above. Called from inside the core, so a
    // listener must not send from here.
    std::function<void(bool failure)> on_box;

  private:
    Console& console_;
    bool quiet_;
    int failures_ = 0;
    std::string prefix_;
};

}  // namespace tqv::cli
