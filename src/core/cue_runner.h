// Runs one cue: its steps in order, each command handed to a sender and awaited, each wait
// counted down by the caller's ticks. A cue ends exactly one way: completed, stopped by the
// operator, or failed at a step (an error answer, a time-out, a command not sent, a lost
// link); it never goes on past a failed step.
//
// The runner knows no transport and no clock: whoever drives it (the run engine, a tool, a
// test) sends the bodies, reports how each command ended and says how much time passed.
// Its state can be read after every call; nothing happens between calls.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cues.h"
#include "send_path.h"

namespace tqv {

enum class CueEnd { completed, stopped, failed };
// stopped: under way when the operator stopped the cue (its command may still be answered).
enum class StepState { pending, under_way, done, failed, not_sent, stopped };

struct CueOutcome {
    CueEnd end = CueEnd::completed;
    std::string cue;
    int step = 0;   // 1-based: the step that failed or was under way when stopped; 0 completed
    int total = 0;  // steps of the cue
    std::string what;                   // step_text of that step
    std::string reason;                 // failed: the answer or the link's message
    std::vector<std::string> not_sent;  // step_text of every step that never went out
    // The one message for the operator (empty for a completed cue):
    //     キュー "Opening" ステップ 2/4 (page 1T 5) で中断しました。
    //     Answer が､きません
    //     送信されなかったコマンド: wait 3, page 1T AUTO
    std::string message() const;
};

class CueRunner {
public:
    // Hands one command body (CR LF included) to the link. It may report the command's end
    // before it returns (a link that is down).
    using Sender = std::function<void(const std::string& body)>;
    explicit CueRunner(Sender send) : send_(std::move(send)) {}

    // Starts a cue; false (nothing changes) while another cue runs: GO is refused then,
    // never queued. The first command goes out before start returns.
    bool start(const Cue& cue);
    bool running() const { return running_; }
    // The cue under way or last run, and each of its steps' state, for the list's rows.
    const std::string& cue_name() const { return cue_.name; }
    const std::vector<StepState>& steps() const { return states_; }
    // 1-based step under way (0 when idle); the body awaited, to match the link's reports.
    int step() const { return running_ ? int(k_) + 1 : 0; }
    const std::string& body_in_flight() const { return in_flight_; }
    // Milliseconds left of the wait under way (0 when none).
    long wait_left_ms() const { return wait_left_ms_; }

    // How a command ended. Reports for other commands (a frame that does not end with the
    // body in flight) and reports while nothing is awaited are ignored: returns false.
    bool command_ended(const ExchangeEnd& end);
    // Time passed since the last tick, in milliseconds; ends a wait that has run out.
    void tick(long elapsed_ms);
    // The operator's 中止: the cue ends at once; a command in flight is left to the link.
    void stop();

    // The end of the last cue, once per cue: set when it ends, cleared when read.
    std::optional<CueOutcome> take_outcome() { return std::exchange(outcome_, std::nullopt); }

private:
    void advance();
    void finish(CueEnd end, std::string reason, std::size_t first_not_sent);

    Sender send_;
    Cue cue_;
    std::vector<StepState> states_;
    std::size_t k_ = 0;  // the step under way
    bool running_ = false;
    bool advancing_ = false;  // inside advance(): a report from inside send waits for it
    std::string in_flight_;
    long wait_left_ms_ = 0;
    std::optional<CueOutcome> outcome_;
};

// GO from any front end: refused while a cue runs (the list's position stays), nothing to
// do without a next cue, else the next cue fires and the list moves on.
enum class GoResult { started, cue_running, no_next };
GoResult cue_go(CueList& list, CueRunner& runner);
// Fires cue `index` (a vision mixer's "GPI n"): cue_go() with that cue chosen as next first.
// Out of range: no_next, and the list is unchanged.
GoResult cue_fire(CueList& list, CueRunner& runner, std::size_t index);

}  // namespace tqv
