// One bulk run's life, shared by every paced transfer (titles, display, switching, set all,
// read settings, glyph register and read, device network read): idle -> running -> ended.
//
// A run ends exactly one way: completed (its last step is out and every answer it awaited
// has been handled), stopped by the operator, or ended by a fault (an error answer, a
// refused step, a time-out, a lost link). It then shows one message: the completion
// message where the run has one, or one warning that names the step, its command and how
// many steps were answered. The per-command boxes for the same fault are not shown on top.
//
// The send path tags every command written during a run with the run and its step, and
// reports back what becomes of it (answered, error answer, timed out, lost), so that a late
// answer is never taken for another command's.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tqv {

class Ui;

enum class RunEnd { none, completed, stopped, error_answer, refused, timeout, link_lost };

class Run {
public:
    explicit Run(Ui& ui) : ui_(ui) {}
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // Starts counting `total_steps`; `completion_text` (may be empty) is the success box of
    // a completed run, shown under `completion_caption` when one is given.
    void begin(int id, int total_steps, std::string completion_text,
               std::string completion_caption = {});

    bool running() const { return state_ == State::running; }
    bool ended() const { return state_ == State::ended; }
    RunEnd end() const { return end_; }
    int id() const { return id_; }
    int total() const { return total_; }
    int answered() const { return answered_; }
    int step() const { return step_; }
    int outstanding() const { return outstanding_; }

    // --- the steps ---
    // The step about to run (1..total); commands written from now on belong to it.
    void at_step(int step) { step_ = step; }
    // A step that sends nothing (an idle step, a pause) is done at once.
    void step_without_command();
    // The last step has run: the run completes when its last awaited answer is in.
    void all_steps_out();
    // The operator's "中止".
    void stop();
    // The step cannot be sent (a title the device cannot show): `label` names its command.
    void refuse(std::string_view label, std::string_view text);

    // --- reports of the send path ---
    void command_written(bool expects_answer);
    void answer_handled();
    void fault(RunEnd why, int step, std::string_view label, std::string_view text);
    // A command of this run that was queued and will never go out.
    void command_dropped() { --outstanding_; }

    // Called once the run has ended, before its message is shown, so that the front end
    // shows the ended state (Close enabled, stop disabled) under the box.
    std::function<void(RunEnd)> on_end;
    // Called right after the end, once the send path must forget the run's queued commands.
    std::function<void()> on_detach;

    // The warning text of a run that ended early (empty for a completed one).
    std::string closing_text() const;

private:
    enum class State { idle, running, ended };
    void check_complete();
    void finish(RunEnd why, int step, std::string label, std::string text);

    Ui& ui_;
    State state_ = State::idle;
    RunEnd end_ = RunEnd::none;
    int id_ = 0;
    int total_ = 0;
    int step_ = 0;
    int answered_ = 0;
    int outstanding_ = 0;
    bool all_out_ = false;
    std::string completion_text_;
    std::string completion_caption_;
    int end_step_ = 0;
    std::string end_label_;
    std::string end_text_;
};

// The head of a command that names it in messages: "CT01B02" for a title, "AST01T" for a
// line of switching times, "GR05" for a glyph; short commands whole. No CR LF.
std::string command_label(std::string_view body);

}  // namespace tqv
