#include "control/cue_show.h"

#include <QPointer>

#include "core/run.h"
#include "core/send_path.h"

namespace tqv {

CueShow::CueShow(Channel& channel, QObject* parent)
    : QObject(parent), channel_(channel), driver_(channel) {
    connect(&driver_, &RunDriver::stepped, this, [this](int step, int, int) {
        if (shown_) emit cue_stepped(int(*shown_), step);
    });
    connect(&driver_, &RunDriver::ended, this, &CueShow::ended);
    // Told from inside the answer's dispatch: the rows are drawn once it has returned.
    connect(
        &driver_, &RunDriver::answered, this,
        [this](int answered, int) {
            if (busy_ && shown_) emit cue_answered(int(*shown_), answered);
        },
        Qt::QueuedConnection);
}

CueShow::~CueShow() = default;

bool CueShow::load(std::vector<Cue> cues) {
    if (busy_) return false;
    list_ = CueList(std::move(cues));
    shown_.reset();
    last_states_.clear();
    emit list_changed();
    emit position_changed();
    return true;
}

bool CueShow::load_csv(std::string_view csv, std::string* why) {
    if (busy_) {
        *why = go_text(Go::cue_running);
        return false;
    }
    std::vector<Cue> cues;
    CueFileError error;
    if (!parse_cue_csv(csv, cues, error)) {
        *why = error.message();
        return false;
    }
    return load(std::move(cues));
}

bool CueShow::edit(const std::function<bool(CueList&)>& change) {
    if (busy_) return false;
    const bool done = change(list_);
    shown_.reset();
    last_states_.clear();
    emit list_changed();
    emit position_changed();
    return done;
}

CueShow::Go CueShow::go(Done done) {
    if (busy_) return Go::cue_running;
    if (!list_.next()) return Go::no_next;
    return start(*list_.next(), std::move(done));
}

CueShow::Go CueShow::fire(std::size_t index, Done done) {
    if (busy_) return Go::cue_running;
    if (index >= list_.size()) return Go::no_next;
    return start(index, std::move(done));
}

CueShow::Go CueShow::start(std::size_t index, Done done) {
    SendPath& path = channel_.send_path();
    // Asked here so that the run's own refusal (a box) never shows for a remote GO.
    if (path.run_under_way()) return Go::link_busy;
    if (!path.link_ready()) return Go::link_down;
    list_.select_next(index);
    list_.go();
    busy_ = true;
    shown_ = index;
    waiting_.clear();
    if (done) waiting_.push_back(std::move(done));
    run_ = nullptr;
    const Cue& cue = list_.cues()[index];
    // Until the run has begun, the steps read as not yet sent, not as the last run left them.
    last_states_.assign(cue.steps.size(), StepState::pending);
    emit position_changed();
    const bool began = driver_.start(std::make_unique<CueSteps>(cue), answer_paced(channel_.model()), true);
    if (began) run_ = driver_.run();
    // Told once the run exists, so that whoever draws the steps then draws this run's.
    emit cue_started(int(index), int(cue.steps.size()));
    if (!began) {
        // Nothing went out: told as a refused cue, so that the caller hears of it.
        CueOutcome o{index, cue.name, RunEnd::refused, go_text(Go::link_busy), {}, {}};
        last_states_.assign(cue.steps.size(), StepState::not_sent);
        busy_ = false;
        for (const Done& d : std::exchange(waiting_, {})) d(o);
        emit cue_ended(o);
    }
    return Go::started;
}

bool CueShow::back() {
    if (!list_.back()) return false;
    emit position_changed();
    return true;
}

bool CueShow::select_next(std::size_t index) {
    if (!list_.select_next(index)) return false;
    emit position_changed();
    return true;
}

void CueShow::stop() { driver_.stop(); }

void CueShow::refused(const QString& source, Go why, int count) {
    refusals_ += count;
    emit go_refused(source, go_text(why), refusals_);
}

std::vector<StepState> CueShow::step_states() const {
    if (busy_ && run_ != nullptr && run_ == driver_.run()) return cue_step_states(*run_);
    return last_states_;
}

std::optional<int> CueShow::wait_left_ms() const {
    if (!busy_ || run_ == nullptr || run_ != driver_.run() || !run_->running()) return std::nullopt;
    // The wait step is the next one: it comes its seconds after the step before.
    const auto* steps = static_cast<const CueSteps*>(driver_.steps());
    const std::size_t next = std::size_t(run_->step());
    if (next >= steps->cue().steps.size() || steps->cue().steps[next].action != CueAction::wait)
        return std::nullopt;
    return driver_.pace_left_ms();
}

// Told by the run from inside its end: the outcome is taken now, the callers are told on
// the next pass of the loop (one may start the next cue), and GO stays refused until then.
void CueShow::ended(RunEnd why, const QString& text) {
    if (!busy_ || !shown_ || driver_.run() == nullptr) return;
    auto* steps = static_cast<CueSteps*>(driver_.steps());
    CueOutcome o;
    o.index = *shown_;
    o.name = steps->cue().name;
    o.end = why;
    o.message = text.toStdString();
    for (const CueStep& s : steps->cue().steps) o.steps.push_back(step_text(s));
    o.states = cue_step_states(*driver_.run());
    last_states_ = o.states;
    QPointer<CueShow> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, o] {
            if (!self) return;
            self->busy_ = false;
            for (const Done& d : std::exchange(self->waiting_, {})) d(o);
            emit self->cue_ended(o);
        },
        Qt::QueuedConnection);
}

const char* CueShow::go_text(Go go) {
    switch (go) {
        case Go::started: return "started";
        case Go::cue_running: return "a cue is running";
        case Go::no_next: return "no next cue";
        case Go::link_busy: return "a bulk run holds the link";
        case Go::link_down: return "the link is not connected";
    }
    return "";
}

}  // namespace tqv
