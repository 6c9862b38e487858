#include "cue_runner.h"

#include "texts.h"

namespace tqv {

namespace {

// The link always says why; a report without text still names what happened.
std::string reason_of(const ExchangeEnd& end) {
    if (!end.answer.empty()) return end.answer;
    switch (end.kind) {
        case ExchangeEnd::Kind::timeout:
            return text::kAnswerTimeout;
        case ExchangeEnd::Kind::not_sent:
        case ExchangeEnd::Kind::lost:
            return text::kSocketNotConnected;
        default:
            return "error answer";
    }
}

}  // namespace

std::string CueOutcome::message() const {
    if (end == CueEnd::completed) return {};
    std::string s = std::string(text::kCue) + " \"" + cue + "\" " + text::kRunStep + " " +
                    std::to_string(step) + "/" + std::to_string(total) + " (" + what + ") で" +
                    (end == CueEnd::stopped ? text::kRunStoppedAt : text::kRunFaultAt) + "。";
    if (!reason.empty()) s += "\n" + reason;
    if (!not_sent.empty()) {
        s += std::string("\n") + text::kNotSent + " ";
        for (std::size_t i = 0; i < not_sent.size(); ++i) s += (i ? ", " : "") + not_sent[i];
    }
    return s;
}

bool CueRunner::start(const Cue& cue) {
    if (running_) return false;
    cue_ = cue;
    states_.assign(cue_.steps.size(), StepState::pending);
    k_ = 0;
    running_ = true;
    in_flight_.clear();
    wait_left_ms_ = 0;
    outcome_.reset();
    advance();
    return true;
}

// Sends steps until one has to be awaited. A sender that reports at once re-enters through
// command_ended; the flag keeps that from recursing once per step.
void CueRunner::advance() {
    if (advancing_) return;
    advancing_ = true;
    while (running_) {
        if (k_ == cue_.steps.size()) {
            finish(CueEnd::completed, {}, k_);
            break;
        }
        if (states_[k_] != StepState::pending) break;  // awaiting an answer or the time
        const CueStep& s = cue_.steps[k_];
        states_[k_] = StepState::under_way;
        if (s.action == CueAction::wait) {
            wait_left_ms_ = long(s.seconds) * 1000;
            if (wait_left_ms_ > 0) break;
            states_[k_++] = StepState::done;
            continue;
        }
        const std::string body = step_body(s);
        if (body.empty()) {
            states_[k_] = StepState::not_sent;
            finish(CueEnd::failed, text::kNotJis, k_);
            break;
        }
        in_flight_ = body;
        send_(body);
    }
    advancing_ = false;
}

bool CueRunner::command_ended(const ExchangeEnd& end) {
    if (!running_ || in_flight_.empty() || !end.frame.ends_with(in_flight_)) return false;
    in_flight_.clear();
    if (end.kind == ExchangeEnd::Kind::answered) {
        states_[k_++] = StepState::done;
        advance();
        return true;
    }
    const bool went_out = end.kind != ExchangeEnd::Kind::not_sent;
    states_[k_] = went_out ? StepState::failed : StepState::not_sent;
    finish(CueEnd::failed, reason_of(end), went_out ? k_ + 1 : k_);
    return true;
}

void CueRunner::tick(long elapsed_ms) {
    if (!running_ || wait_left_ms_ <= 0 || elapsed_ms <= 0) return;
    wait_left_ms_ -= elapsed_ms;
    if (wait_left_ms_ > 0) return;
    wait_left_ms_ = 0;
    states_[k_++] = StepState::done;
    advance();
}

void CueRunner::stop() {
    if (!running_) return;
    states_[k_] = StepState::stopped;
    finish(CueEnd::stopped, {}, k_ + 1);
}

void CueRunner::finish(CueEnd end, std::string reason, std::size_t first_not_sent) {
    CueOutcome o;
    o.end = end;
    o.cue = cue_.name;
    o.total = int(cue_.steps.size());
    if (end != CueEnd::completed) {
        o.step = int(k_) + 1;
        o.what = step_text(cue_.steps[k_]);
    }
    o.reason = std::move(reason);
    for (std::size_t i = first_not_sent; i < cue_.steps.size(); ++i) {
        o.not_sent.push_back(step_text(cue_.steps[i]));
        states_[i] = StepState::not_sent;
    }
    running_ = false;
    in_flight_.clear();
    wait_left_ms_ = 0;
    outcome_ = std::move(o);
}

GoResult cue_go(CueList& list, CueRunner& runner) {
    if (runner.running()) return GoResult::cue_running;
    const auto index = list.go();
    if (!index) return GoResult::no_next;
    runner.start(list.cues()[*index]);
    return GoResult::started;
}

GoResult cue_fire(CueList& list, CueRunner& runner, std::size_t index) {
    if (runner.running()) return GoResult::cue_running;
    if (!list.select_next(index)) return GoResult::no_next;
    return cue_go(list, runner);
}

}  // namespace tqv
