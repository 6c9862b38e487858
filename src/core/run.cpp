#include "run.h"

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

void Run::begin(int id, int total_steps, std::string completion_text,
                std::string completion_caption) {
    state_ = State::running;
    end_ = RunEnd::none;
    id_ = id;
    total_ = total_steps;
    step_ = 0;
    answered_ = 0;
    outstanding_ = 0;
    all_out_ = false;
    completion_text_ = std::move(completion_text);
    completion_caption_ = std::move(completion_caption);
    end_step_ = 0;
    end_label_.clear();
    end_text_.clear();
}

void Run::step_without_command() {
    if (running()) ++answered_;
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

void Run::all_steps_out() {
    if (!running()) return;
    all_out_ = true;
    check_complete();
}

void Run::check_complete() {
    if (all_out_ && outstanding_ <= 0) finish(RunEnd::completed, 0, {}, {});
}

void Run::stop() {
    if (running()) finish(RunEnd::stopped, step_ + (step_ < total_ ? 1 : 0), {}, {});
}

void Run::refuse(std::string_view label, std::string_view text) {
    if (running()) finish(RunEnd::refused, step_, std::string(label), std::string(text));
}

void Run::fault(RunEnd why, int step, std::string_view label, std::string_view text) {
    if (running()) finish(why, step > 0 ? step : step_, std::string(label), std::string(text));
}

std::string Run::closing_text() const {
    if (end_ == RunEnd::completed || end_ == RunEnd::none) return {};
    std::string s = std::string(text::kRunStep) + " " + std::to_string(end_step_) + "/" +
                    std::to_string(total_);
    if (!end_label_.empty()) s += " (" + end_label_ + ")";
    s += " で";
    s += end_ == RunEnd::stopped ? text::kRunStoppedAt : text::kRunFaultAt;
    s += "。";
    if (!end_text_.empty()) s += "\n" + end_text_;
    s += "\n" + std::string(text::kRunAnswered) + " " + std::to_string(answered_) + "/" +
         std::to_string(total_);
    return s;
}

void Run::finish(RunEnd why, int step, std::string label, std::string text) {
    state_ = State::ended;
    end_ = why;
    end_step_ = step;
    end_label_ = std::move(label);
    end_text_ = std::move(text);
    if (on_detach) on_detach();
    if (on_end) on_end(why);
    if (why == RunEnd::completed) {
        if (completion_text_.empty()) {
            // Nothing to say: the dialog shows the end.
        } else if (completion_caption_.empty()) {
            success_box(ui_, completion_text_);
        } else {
            ui_.box(Box::plain, completion_text_, completion_caption_);
        }
    } else {
        warning_box(ui_, closing_text());
    }
}

}  // namespace tqv
