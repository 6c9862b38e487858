#include "cue_steps.h"

#include "model.h"
#include "send_path.h"
#include "texts.h"

namespace tqv {

const CueStep* CueSteps::step(int n) const {
    if (n < 1 || n > total()) return nullptr;
    return &cue_.steps[std::size_t(n - 1)];
}

StepResult CueSteps::send(SendPath& path, int n) {
    StepResult r;
    const CueStep* s = step(n);
    if (s == nullptr || s->action == CueAction::wait) return r;  // idle: the hold is the wait
    const ParsedOperation op = step_operation(*s, Language::japanese);
    if (!op.operation) {
        r.refused = true;
        r.refused_text = op.error;
        return r;
    }
    Model& m = path.model();
    apply_operation(m, *op.operation);
    // As the title dialog: the slot that holds the text is the one selected.
    if (s->action == CueAction::title) {
        m.selected_title_line = s->line;
        m.selected_page = s->page;
    }
    path.send_command(operation_body(*op.operation));
    r.sent = true;
    return r;
}

std::string CueSteps::label(const Model&, int n) const {
    // As the send path names a failed command: its head; a wait as written.
    const CueStep* s = step(n);
    if (s == nullptr) return {};
    return s->action == CueAction::wait ? step_text(*s) : command_label(step_body(*s));
}

int CueSteps::period_ms(int n) const {
    // GO is live: the first command goes at once.
    if (n <= 1) return 0;
    const CueStep* s = step(n);
    const CueStep* before = step(n - 1);
    // A wait is its own hold, and the step after it has been spaced by it already.
    if ((s != nullptr && s->action == CueAction::wait) ||
        (before != nullptr && before->action == CueAction::wait))
        return 0;
    return s != nullptr && s->action == CueAction::title && !s->memory ? 600 : 1000;
}

int CueSteps::hold_ms(int n) const {
    // The wait step itself comes its seconds after the step before, so a wait at the end
    // of a cue holds the cue's end (and the next GO) back as well.
    const CueStep* s = step(n);
    return s != nullptr && s->action == CueAction::wait ? s->seconds * 1000 : 0;
}

std::string CueSteps::closing_prefix() const {
    return std::string(text::kCue) + " \"" + cue_.name + "\" ";
}

std::string CueSteps::closing_suffix(int first_not_sent) const {
    std::string s;
    for (int n = std::max(first_not_sent, 1); n <= total(); ++n)
        s += (s.empty() ? std::string("\n") + text::kNotSent + " " : std::string(", ")) +
             step_text(*step(n));
    return s;
}

CuePart cue_part(const Cue& cue, int device, bool named_by_go) {
    CuePart part{{cue.name, {}}, {}};
    for (std::size_t i = 0; i < cue.steps.size(); ++i) {
        const CueStep& s = cue.steps[i];
        const bool takes = s.devices.given() ? s.devices.has(device)
                                             : named_by_go || s.action == CueAction::wait;
        if (!takes) continue;
        part.cue.steps.push_back(s);
        part.origin.push_back(i);
    }
    return part;
}

const char* step_state_name(StepState s) {
    switch (s) {
        case StepState::pending: return "pending";
        case StepState::sent: return "sent";
        case StepState::done: return "done";
        case StepState::failed: return "failed";
        case StepState::stopped: return "stopped";
        case StepState::not_sent: return "not sent";
    }
    return "";
}

std::vector<StepState> cue_step_states(const Run& run) {
    std::vector<StepState> out(std::size_t(std::max(run.total(), 0)), StepState::pending);
    const bool ended = run.ended();
    const int not_sent = ended ? run.first_not_sent() : run.step() + 1;
    for (int n = 1; n <= run.total(); ++n) {
        StepState& s = out[std::size_t(n - 1)];
        if (ended && run.end() == RunEnd::completed) {
            s = StepState::done;
        } else if (n <= run.answered()) {
            s = StepState::done;
        } else if (n >= not_sent) {
            s = ended ? StepState::not_sent : StepState::pending;
        } else {
            s = StepState::sent;
        }
        if (ended && n == run.end_step() && run.end() != RunEnd::completed && n < not_sent)
            s = run.end() == RunEnd::stopped ? StepState::stopped : StepState::failed;
    }
    return out;
}

}  // namespace tqv
