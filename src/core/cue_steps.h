// One cue as a run: its steps go through the run engine like any dialog's bulk transfer, so
// pacing, waiting for answers, 中止, 高速転送 and the one message at the end are the
// engine's. A title, page or start-up step sends the very command its dialog sends and
// updates the model as that dialog does; a `wait S` step sends nothing and comes S seconds
// after the step before, the step after it at once (a wait at the end holds the cue's end).
#pragma once

#include <string>
#include <vector>

#include "cues.h"
#include "run.h"

namespace tqv {

class CueSteps : public RunSteps {
public:
    explicit CueSteps(Cue cue) : cue_(std::move(cue)) {}
    const Cue& cue() const { return cue_; }

    int total() const override { return int(cue_.steps.size()); }
    StepResult send(SendPath& path, int n) override;
    // The head of the step's command ("P01T05"), a wait as written ("wait 3").
    std::string label(const Model& m, int n) const override;
    // At the fixed pace the first step goes at once, the others as fast as the title
    // dialog's bulk send.
    int period_ms(int n) const override;
    int hold_ms(int n) const override;
    std::optional<int> percent(int) const override { return std::nullopt; }
    std::string closing_prefix() const override;
    std::string closing_suffix(int first_not_sent) const override;

private:
    const CueStep* step(int n) const;
    Cue cue_;
};

// The part of a cue one device runs, when a GO sends it to several devices or a step names
// devices of its own: the steps whose device column names `device`, the steps without one
// when the GO named `device`, and every wait without one (the cue's timing holds on every
// device it runs on). `origin` holds each step's place in the whole cue.
struct CuePart {
    Cue cue;
    std::vector<std::size_t> origin;
};
CuePart cue_part(const Cue& cue, int device, bool named_by_go);

// What became of each step of a cue, for the list's rows and the tool's lines.
enum class StepState { pending, sent, done, failed, stopped, not_sent };
const char* step_state_name(StepState s);  // "pending", "sent", "done", …
// The steps' states of a cue's run, under way or ended: answers come in order, so the first
// answered() steps are done; at a fault the step named failed (or not sent when it never
// went out), and the steps from first_not_sent() on were not sent.
std::vector<StepState> cue_step_states(const Run& run);

}  // namespace tqv
