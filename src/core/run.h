// One run of paced steps over one send path (titles, display, switching, set all, read
// settings, glyph register and read, device network read, compare, send differences), and
// the one owner of its state: idle -> running -> ended.
//
// The run is the only writer of the model's run flags (`bulk_active`, its step counter,
// `glyph_bulk_active` and the glyph counter `glyph_index`): it sets them when it begins,
// moves them at each step and clears them when it ends. Everybody else asks
// run_under_way().
//
// A run ends exactly one way: completed (its last step is out and every answer it awaited
// has been handled), stopped by the operator, or ended by a fault (an error answer, a
// refused step, a time-out, a lost link, a command of it dropped). It then shows one
// message: the completion message where the run has one, an information box for the
// operator's own stop, or one warning that names the step, its command and how many steps
// were answered. The per-command boxes for the same fault are not shown on top.
//
// Pacing is decided here, so every front end paces alike and a test can drive a run tick
// by tick: at the fixed pace the next step is due one period after the one before; paced
// by the answers it is due at once. Either way a step waits until the send path has
// nothing in flight when the device must have answered first: the first step (a single
// command may still await its answer), every step on TCP (one command in flight at a time,
// so progress counts what went out, not what is queued), every step paced by the answers,
// and every step of a run whose steps each wait for their answer (the glyph read).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "addressing.h"
#include "observers.h"

namespace tqv {

class SendPath;
class Ui;
struct Model;

enum class RunEnd { none, completed, stopped, error_answer, refused, timeout, link_lost };

// What one step did.
struct StepResult {
    bool sent = false;          // a command went out (false: an idle step)
    bool refused = false;       // the step cannot be sent: the run ends here
    std::string refused_text;   // the warning of a refused step
};

// The steps of one kind of run: what each sends and the pace the device has always been
// given. The step tables live in the core (bulk.h); a run only walks them.
class RunSteps {
public:
    virtual ~RunSteps() = default;
    virtual int total() const = 0;
    // Sends step n (1..total) through `path`.
    virtual StepResult send(SendPath& path, int n) = 0;
    // The head of step n's command ("CT01T05"); empty for a step that sends nothing.
    virtual std::string label(const Model& m, int n) const = 0;
    // At the fixed pace: the time from the step before (or from the start) to step n.
    virtual int period_ms(int n) const = 0;
    // The least time from the step before to step n, whatever the pace (a cue's wait).
    virtual int hold_ms(int) const { return 0; }
    // The percentage shown once step n is out; nullopt where the dialog shows none.
    virtual std::optional<int> percent(int n) const { return n * 100 / total(); }
    // The device network values travel on the serial line, which is always ready.
    virtual bool serial_only() const { return false; }
    // How the steps' commands are framed (the device network reads go out bare).
    virtual Addressing addressing() const { return Addressing::addressed; }
    // Each step waits for the answer to the one before (a glyph read asks for the next
    // glyph only once the last one is in).
    virtual bool each_waits_for_answer() const { return false; }
    // Which flags the run writes: glyph runs `glyph_bulk_active` and `glyph_index`, the
    // others `bulk_active`.
    virtual bool glyph_run() const { return false; }
    virtual void begin(Model&) {}
    virtual void end(Model&, RunEnd) {}
    // The box of a completed run (empty: it ends silently), under `completion_caption`
    // when one is given.
    virtual std::string completion_text() const { return {}; }
    virtual std::string completion_caption() const { return {}; }
    // The words around a run's warning: a cue names itself before it, and the steps it
    // never sent (from `first_not_sent` on) after it.
    virtual std::string closing_prefix() const { return {}; }
    virtual std::string closing_suffix(int /*first_not_sent*/) const { return {}; }
};

class Run {
public:
    Run(SendPath& path, RunSteps& steps);
    // A run destroyed while under way (its dialog went away) leaves no flag set and no
    // command of its own behind.
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // The link test (warning when not ready) and the guard against a second run; then the
    // run begins. `answer_paced`: each step as soon as the answer to the one before is in.
    // `quiet`: the run's end shows no box; the front end shows closing_text() where it
    // belongs (a row of the push to every device).
    bool start(bool answer_paced, bool quiet = false);

    bool running() const { return state_ == State::running; }
    bool ended() const { return state_ == State::ended; }
    RunEnd end() const { return end_; }
    int id() const { return id_; }
    int total() const { return total_; }
    int answered() const { return answered_; }
    int step() const { return step_; }  // the last step out (0 before the first)
    int outstanding() const { return outstanding_; }
    bool all_out() const { return all_out_; }
    bool answer_paced() const { return answer_paced_; }
    // True while a step sends: only what is written then is the run's command. A single
    // command written between steps stays the operator's, with its own answer and box.
    bool sending() const { return sending_; }
    SendPath& path() { return path_; }
    RunSteps& steps() { return steps_; }

    // --- pacing ---
    // At the fixed pace: the time from the last step out to the next one.
    int next_period_ms() const;
    // The least time before the next step, also when paced by the answers.
    int next_hold_ms() const;
    // The next step may go now, as far as the device is concerned (its pace is the
    // caller's timer).
    bool may_step() const;
    struct Tick {
        bool stepped = false;  // a step ran (false: not allowed yet, or nothing left)
        bool sent = false;     // it sent a command
        std::optional<int> percent;
    };
    // Runs the next step when may_step().
    Tick tick();
    // The operator's "中止": the run ends at once.
    void stop();
    // The time the steps still to come take: at the fixed pace from the pace, paced by the
    // answers from the time each answered step has taken so far (nullopt before the first
    // answer: nothing to go by yet).
    std::optional<int> remaining_ms(long long elapsed_ms) const;

    // --- reports of the send path ---
    void command_written(bool expects_answer);
    void answer_handled();
    // A command of the run failed (`step` 0: no command of it was awaiting its answer; the
    // run then names the step that will not be sent). `text` says why.
    void fault(RunEnd why, int step, std::string_view label, std::string_view text);
    // A command of this run that was queued and will never go out.
    void command_dropped() { --outstanding_; }

    // Once the run has ended, before its message is shown, so that a front end shows the
    // ended state (Close enabled, stop disabled) under the box.
    Observers<RunEnd> ended_observers;

    // The warning text of a run that ended early (empty for a completed one).
    std::string closing_text() const;
    // Where it ended (the step named in its message).
    int end_step() const { return end_step_; }
    // The first step that never went out (total() + 1 when every one did): a refused step
    // is not out.
    int first_not_sent() const { return end_ == RunEnd::refused ? end_step_ : step_ + 1; }

private:
    enum class State { idle, running, ended };
    void check_complete();
    void finish(RunEnd why, int step, std::string label, std::string text);
    void write_flags(int next_step);
    void clear_flags();

    SendPath& path_;
    RunSteps& steps_;
    State state_ = State::idle;
    RunEnd end_ = RunEnd::none;
    bool answer_paced_ = false;
    bool quiet_ = false;
    bool sending_ = false;
    int id_ = 0;
    int total_ = 0;
    int step_ = 0;
    int answered_ = 0;
    int outstanding_ = 0;
    bool all_out_ = false;
    int end_step_ = 0;
    std::string end_label_;
    std::string end_text_;
};

// The head of a command that names it in messages: "CT01B02" for a title, "AST01T" for a
// line of switching times, "GR05" for a glyph; short commands whole. No CR LF.
std::string command_label(std::string_view body);

// Whether a run starting now goes at the pace of the answers: "高速転送" is on and someone
// answers (nobody answers an addressed broadcast on the serial line, which keeps the fixed
// pace; a bare command is answered by whichever device is on the line).
bool answer_paced(const Model& m, Addressing addressing = Addressing::addressed);

// "残り 2:41": the time left of a run, whole seconds rounded up; "残り -:--" when unknown.
std::string remaining_text(std::optional<int> ms);

}  // namespace tqv
