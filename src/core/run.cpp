#include "run.h"

#include <algorithm>

#include "digits.h"
#include "model.h"
#include "send_path.h"
#include "texts.h"
#include "ui.h"

namespace tqv {

std::string command_label(std::string_view body) {
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.remove_suffix(1);
    auto head = [&](std::size_t n) { return std::string(body.substr(0, n)); };
    auto starts = [&](std::string_view p) { return body.substr(0, p.size()) == p; };
    // Commands with a long data part: their head names line and page (or glyph number).
    if (starts("CTDPO")) return head(10);
    if (starts("CTD") || starts("AST")) return head(6);
    if (starts("CT") || starts("CN")) return head(7);
    if (starts("GR")) return head(4);
    return head(16);
}

bool answer_paced(const Model& m, Addressing addressing) {
    const bool unanswered = m.interface_kind == 0 && addressing == Addressing::addressed &&
                            m.slave_address_index >= kBroadcastIndex;
    return m.fast_transfer == 1 && !unanswered;
}

std::string remaining_text(std::optional<int> ms) {
    if (!ms) return "残り -:--";
    const int s = std::max(0, (*ms + 999) / 1000);
    return "残り " + std::to_string(s / 60) + ":" + two_digits(s % 60);
}

Run::Run(SendPath& path, RunSteps& steps) : path_(path), steps_(steps) {}

Run::~Run() {
    if (!running()) return;
    // Quietly: whoever destroys a running run has gone away with it.
    state_ = State::ended;
    end_ = RunEnd::stopped;
    clear_flags();
    steps_.end(path_.model(), end_);
    path_.detach_run(*this);
}

bool Run::start(bool answer_paced, bool quiet) {
    Model& m = path_.model();
    if (!steps_.serial_only() && !path_.link_ready()) {
        warning_box(path_.ui(), text::kSocketNotConnected);
        return false;
    }
    // One run at a time on a device.
    if (running() || run_under_way(m) || path_.run() != nullptr) return false;
    state_ = State::running;
    end_ = RunEnd::none;
    answer_paced_ = answer_paced;
    quiet_ = quiet;
    id_ = path_.next_run_id();
    total_ = steps_.total();
    step_ = 0;
    answered_ = 0;
    outstanding_ = 0;
    all_out_ = false;
    end_step_ = 0;
    end_label_.clear();
    end_text_.clear();
    write_flags(1);
    steps_.begin(m);
    path_.attach_run(*this);
    // Nothing to send: done at once.
    if (total_ <= 0) {
        all_out_ = true;
        check_complete();
    }
    return true;
}

void Run::write_flags(int next_step) {
    Model& m = path_.model();
    if (steps_.glyph_run()) {
        m.glyph_bulk_active = 1;
        // The slot of the step under way: a glyph read stores its answer there.
        m.glyph_index = std::max(0, next_step - 1);
        if (next_step == 1) m.glyph_request_pending = 0;
    } else {
        m.bulk_active = next_step;
    }
}

void Run::clear_flags() {
    Model& m = path_.model();
    if (steps_.glyph_run()) {
        m.glyph_bulk_active = 0;
        m.glyph_index = 0;
        m.glyph_request_pending = 0;
    } else {
        m.bulk_active = 0;
    }
}

int Run::next_period_ms() const { return steps_.period_ms(std::min(step_ + 1, std::max(total_, 1))); }

int Run::next_hold_ms() const { return step_ < total_ ? steps_.hold_ms(step_ + 1) : 0; }

bool Run::may_step() const {
    if (!running() || all_out_) return false;
    const bool after_answer = step_ == 0 || answer_paced_ || steps_.each_waits_for_answer() ||
                              path_.model().interface_kind != 0;
    return !after_answer || path_.idle();
}

Run::Tick Run::tick() {
    Tick t;
    if (!may_step()) return t;
    const int n = step_ + 1;
    step_ = n;
    t.stepped = true;
    if (steps_.glyph_run()) write_flags(n);
    sending_ = true;
    const StepResult r = steps_.send(path_, n);
    sending_ = false;
    t.sent = r.sent;
    t.percent = steps_.percent(n);
    if (r.refused) {
        finish(RunEnd::refused, n, steps_.label(path_.model(), n), r.refused_text);
        return t;
    }
    // The send itself may have ended the run (the link is gone).
    if (!running()) return t;
    if (!r.sent) ++answered_;  // an idle step is done at once
    if (!steps_.glyph_run()) write_flags(n + 1);
    if (n >= total_) {
        all_out_ = true;
        check_complete();
    }
    return t;
}

std::optional<int> Run::remaining_ms(long long elapsed_ms) const {
    if (!answer_paced_) {
        int ms = 0;
        for (int n = step_ + 1; n <= total_; ++n) ms += steps_.period_ms(n);
        return ms;
    }
    if (answered_ <= 0) return std::nullopt;
    return int(elapsed_ms * (total_ - answered_) / answered_);
}

void Run::command_written(bool expects_answer) {
    if (!running()) return;
    if (expects_answer) {
        ++outstanding_;
    } else {
        ++answered_;  // a broadcast on the serial line: nobody answers it
    }
}

void Run::answer_handled() {
    if (!running()) return;
    if (outstanding_ > 0) --outstanding_;
    ++answered_;
    check_complete();
}

void Run::check_complete() {
    if (running() && all_out_ && outstanding_ <= 0) finish(RunEnd::completed, 0, {}, {});
}

void Run::stop() {
    if (!running()) return;
    // The step under way if its answer is still awaited, else the one that will not run.
    const int at = outstanding_ > 0 || step_ >= total_ ? std::max(step_, 1) : step_ + 1;
    finish(RunEnd::stopped, at, steps_.label(path_.model(), at), {});
}

void Run::fault(RunEnd why, int step, std::string_view label, std::string_view text) {
    if (!running()) return;
    if (step > 0) {
        finish(why, step, std::string(label), std::string(text));
        return;
    }
    // No command of the run was awaiting its answer: the step that will not be sent.
    const int at = outstanding_ > 0 || step_ >= total_ ? std::max(step_, 1) : step_ + 1;
    finish(why, at, steps_.label(path_.model(), at), std::string(text));
}

std::string Run::closing_text() const {
    if (end_ == RunEnd::completed || end_ == RunEnd::none) return {};
    std::string s = steps_.closing_prefix() + text::kRunStep + " " + std::to_string(end_step_) + "/" +
                    std::to_string(total_);
    if (!end_label_.empty()) s += " (" + end_label_ + ")";
    s += " で";
    s += end_ == RunEnd::stopped ? text::kRunStoppedAt : text::kRunFaultAt;
    s += "。";
    if (!end_text_.empty()) s += "\n" + end_text_;
    s += "\n" + std::string(text::kRunAnswered) + " " + std::to_string(answered_) + "/" +
         std::to_string(total_);
    return s + steps_.closing_suffix(first_not_sent());
}

void Run::finish(RunEnd why, int step, std::string label, std::string text) {
    state_ = State::ended;
    end_ = why;
    end_step_ = step;
    end_label_ = std::move(label);
    end_text_ = std::move(text);
    Model& m = path_.model();
    clear_flags();
    steps_.end(m, why);
    path_.detach_run(*this);
    ended_observers(why);
    if (quiet_) return;
    Ui& ui = path_.ui();
    if (why == RunEnd::completed) {
        const std::string done = steps_.completion_text();
        const std::string caption = steps_.completion_caption();
        if (done.empty()) {
            // Nothing to say: the front end shows the end.
        } else if (caption.empty()) {
            success_box(ui, done);
        } else {
            ui.box(Box::plain, done, caption);
        }
    } else if (why == RunEnd::stopped) {
        // The operator's own stop is no fault.
        ui.box(Box::information, closing_text(), text::kRunStoppedCaption);
    } else {
        warning_box(ui, closing_text());
    }
}

}  // namespace tqv
