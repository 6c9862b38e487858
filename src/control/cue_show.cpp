#include "control/cue_show.h"

#include <QPointer>
#include <algorithm>

#include "core/run.h"
#include "core/send_path.h"

namespace tqv {

// One device's part of the cue under way.
struct CueShow::DeviceRun {
    int device = 1;
    Channel* channel = nullptr;
    RunDriver* driver = nullptr;  // driver_, or own; none once its run has ended
    std::unique_ptr<RunDriver> own;
    std::vector<std::size_t> origin;  // each step's place in the whole cue
    std::optional<CueOutcome> end;
    Subscription answers;  // of another device's channel, while the run is under way
};

CueShow::CueShow(Channel& channel, QObject* parent)
    : QObject(parent), channel_(channel), driver_(channel) {
    watch(driver_);
}

CueShow::~CueShow() {
    // A run still under way on another device's channel: nobody hears of its end any more.
    for (auto& r : runs_)
        if (r->own) r->own->disconnect(this);
}

void CueShow::watch(RunDriver& driver) {
    RunDriver* d = &driver;
    connect(d, &RunDriver::stepped, this, [this, d](int step, int, int) {
        // Each device sends its own steps of the cue: the cue is as far as the furthest.
        if (!shown_) return;
        const auto it = std::find_if(runs_.begin(), runs_.end(), [d](const auto& r) { return r->driver == d; });
        if (it == runs_.end() || step < 1 || std::size_t(step) > (*it)->origin.size()) return;
        const int whole = int((*it)->origin[std::size_t(step - 1)]) + 1;
        if (whole <= furthest_step_) return;
        furthest_step_ = whole;
        emit cue_stepped(int(*shown_), whole);
    });
    connect(d, &RunDriver::ended, this,
            [this, d](RunEnd why, const QString& text) { ended(*d, why, text); });
    // Told from inside the answer's dispatch: the rows are drawn once it has returned.
    connect(
        d, &RunDriver::answered, this,
        [this](int answered, int) {
            if (busy_ && shown_) emit cue_answered(int(*shown_), answered);
        },
        Qt::QueuedConnection);
}

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

CueShow::Go CueShow::go(const DeviceChoice& devices, Done done) {
    refusal_.clear();
    if (busy_) return Go::cue_running;
    if (!list_.next()) return Go::no_next;
    return start(*list_.next(), devices, std::move(done));
}

CueShow::Go CueShow::fire(std::size_t index, const DeviceChoice& devices, Done done) {
    refusal_.clear();
    if (busy_) return Go::cue_running;
    if (index >= list_.size()) return Go::no_next;
    return start(index, devices, std::move(done));
}

std::vector<CueDevice> CueShow::devices_of(const DeviceChoice& choice) const {
    if (resolve) return resolve(choice);
    // Without a fleet to ask: the one channel given is device 1.
    std::vector<CueDevice> out;
    const auto add = [&](int n) {
        CueDevice d{n, nullptr, "no device " + std::to_string(n)};
        if (n == 1) {
            d.channel = &channel_;
            d.down = channel_.reachable() ? "" : go_text(Go::link_down);
        }
        out.push_back(std::move(d));
    };
    if (!choice.given || choice.all) add(1);
    for (int n : choice.all ? std::vector<int>{} : choice.indexes) add(n);
    return out;
}

CueShow::Go CueShow::start(std::size_t index, const DeviceChoice& choice, Done done) {
    const Cue& cue = list_.cues()[index];
    // Every device the cue would reach: the GO's, then those its steps' columns name.
    std::vector<CueDevice> devices = devices_of(choice);
    const std::size_t named = devices.size();
    for (const CueStep& s : cue.steps) {
        if (!s.devices.given()) continue;
        DeviceChoice column;
        column.given = true;
        column.all = s.devices.all;
        column.indexes = s.devices.numbers;
        for (CueDevice& d : devices_of(column)) {
            const auto same = [&](const CueDevice& e) { return e.device == d.device; };
            if (std::none_of(devices.begin(), devices.end(), same)) devices.push_back(std::move(d));
        }
    }
    // Asked before anything moves, so that the same cue fires on the next GO; and here, so
    // that the run's own refusal (a box) never shows for a remote GO.
    for (const CueDevice& d : devices) {
        if (d.channel != nullptr && d.down.empty()) continue;
        refusal_ += (refusal_.empty() ? "" : "; ") + std::string("device ") +
                    std::to_string(d.device) + ": " + (d.down.empty() ? go_text(Go::link_down) : d.down);
    }
    if (devices.empty()) refusal_ = "no device chosen";
    if (!refusal_.empty()) return Go::link_down;
    for (const CueDevice& d : devices) {
        if (!d.channel->send_path().run_under_way()) continue;
        refusal_ = "device " + std::to_string(d.device) + ": " + go_text(Go::link_busy);
        return Go::link_busy;
    }

    list_.select_next(index);
    list_.go();
    busy_ = true;
    shown_ = index;
    waiting_.clear();
    if (done) waiting_.push_back(std::move(done));
    runs_.clear();
    furthest_step_ = 0;
    last_states_.assign(cue.steps.size(), StepState::pending);
    emit position_changed();
    // Every run is in the list before the first starts: a run may end inside its start.
    for (std::size_t i = 0; i < devices.size(); ++i) {
        auto r = std::make_unique<DeviceRun>();
        r->device = devices[i].device;
        r->channel = devices[i].channel;
        if (r->channel == &channel_) {
            r->driver = &driver_;
        } else {
            r->own = std::make_unique<RunDriver>(*r->channel);
            r->driver = r->own.get();
            watch(*r->driver);
            r->answers = Subscription(r->channel->send_path().run_command_answered,
                                      [this, device = r->device, channel = r->channel](const std::string& frame) {
                                          answered_elsewhere(device, *channel, frame);
                                      });
        }
        runs_.push_back(std::move(r));
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        DeviceRun& r = *runs_[i];
        CuePart part = cue_part(cue, r.device, i < named);
        r.origin = std::move(part.origin);
        if (r.driver->start(std::make_unique<CueSteps>(std::move(part.cue)),
                            answer_paced(r.channel->model()), true))
            continue;
        // Nothing went out: told as a refused cue, so that the caller hears of it.
        CueOutcome o;
        o.index = index;
        o.name = cue.name;
        o.end = RunEnd::refused;
        o.message = go_text(Go::link_busy);
        o.device = r.device;
        for (std::size_t k : r.origin) {
            o.steps.push_back(step_text(cue.steps[k]));
            o.states.push_back(StepState::not_sent);
        }
        r.end = std::move(o);
        r.driver = nullptr;
    }
    // Told once the runs exist, so that whoever draws the steps and the wait then draws
    // this run's.
    emit cue_started(int(index), int(cue.steps.size()));
    if (std::all_of(runs_.begin(), runs_.end(), [](const auto& r) { return r->end.has_value(); }))
        finish();
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

void CueShow::stop() {
    for (auto& r : runs_)
        if (r->driver != nullptr) r->driver->stop();
}

void CueShow::refused(const QString& source, Go why, int count) {
    refusals_ += count;
    emit go_refused(source, go_text(why), refusals_);
}

namespace {

// One step over several devices: a failure on any first, else the least advanced.
StepState merged(StepState a, StepState b) {
    constexpr StepState kOrder[] = {StepState::failed, StepState::stopped, StepState::not_sent,
                                    StepState::pending, StepState::sent, StepState::done};
    for (StepState s : kOrder)
        if (a == s || b == s) return s;
    return a;
}

}  // namespace

std::vector<StepState> CueShow::step_states() const {
    if (!busy_ || !shown_ || runs_.empty()) return last_states_;
    std::vector<StepState> out(list_.cues()[*shown_].steps.size(), StepState::pending);
    std::vector<bool> seen(out.size(), false);
    for (const auto& r : runs_) {
        const std::vector<StepState> states =
            r->end ? r->end->states
            : r->driver != nullptr && r->driver->run() != nullptr ? cue_step_states(*r->driver->run())
                                                                  : std::vector<StepState>{};
        for (std::size_t k = 0; k < states.size() && k < r->origin.size(); ++k) {
            const std::size_t at = r->origin[k];
            if (at >= out.size()) continue;
            out[at] = seen[at] ? merged(out[at], states[k]) : states[k];
            seen[at] = true;
        }
    }
    return out;
}

std::optional<int> CueShow::wait_left_ms() const {
    if (!busy_ || runs_.empty()) return std::nullopt;
    // The first device's pace is the cue's, as its steps are.
    const DeviceRun& r = *runs_.front();
    const Run* run = r.driver != nullptr ? r.driver->run() : nullptr;
    if (run == nullptr || !run->running()) return std::nullopt;
    // The wait step is the next one: it comes its seconds after the step before.
    const auto* steps = static_cast<const CueSteps*>(r.driver->steps());
    const std::size_t next = std::size_t(run->step());
    if (next >= steps->cue().steps.size() || steps->cue().steps[next].action != CueAction::wait)
        return std::nullopt;
    return r.driver->pace_left_ms();
}

// Told by a device's run from inside its end: its outcome is taken now; once every device
// has ended, the callers are told on the next pass of the loop (one may start the next
// cue), and GO stays refused until then.
void CueShow::ended(RunDriver& driver, RunEnd why, const QString& text) {
    if (!busy_ || !shown_ || driver.run() == nullptr) return;
    const auto it = std::find_if(runs_.begin(), runs_.end(),
                                 [&](const auto& r) { return r->driver == &driver && !r->end; });
    if (it == runs_.end()) return;
    DeviceRun& r = **it;
    auto* steps = static_cast<CueSteps*>(driver.steps());
    CueOutcome o;
    o.index = *shown_;
    o.name = steps->cue().name;
    o.end = why;
    o.message = text.toStdString();
    o.device = r.device;
    for (const CueStep& s : steps->cue().steps) o.steps.push_back(step_text(s));
    o.states = cue_step_states(*driver.run());
    r.end = std::move(o);
    r.driver = nullptr;
    r.answers.reset();
    // A device's own driver goes once its run has ended, before the channel may go (a
    // device that went away takes its channel along on a later pass of the loop).
    if (r.own) {
        r.own->disconnect(this);
        r.own.release()->deleteLater();
    }
    if (std::all_of(runs_.begin(), runs_.end(), [](const auto& e) { return e->end.has_value(); }))
        finish();
}

void CueShow::finish() {
    const Cue& cue = list_.cues()[*shown_];
    CueOutcome o;
    o.index = *shown_;
    o.name = cue.name;
    o.end = RunEnd::completed;
    for (const CueStep& s : cue.steps) o.steps.push_back(step_text(s));
    // A step no device took (the tool's run of one device, where another device's steps are
    // another run's) was not sent here.
    o.states.assign(cue.steps.size(), StepState::not_sent);
    std::vector<bool> seen(cue.steps.size(), false);
    for (const auto& r : runs_) {
        const CueOutcome& e = *r->end;
        if (!e.ok()) {
            if (o.ok()) o.end = e.end;
            // One device's message as it is; several say whose each is.
            const std::string whose = runs_.size() > 1 ? "device " + std::to_string(e.device) + ": " : "";
            o.message += (o.message.empty() ? "" : "\n") + whose + e.message;
        }
        for (std::size_t k = 0; k < e.states.size() && k < r->origin.size(); ++k) {
            const std::size_t at = r->origin[k];
            o.states[at] = seen[at] ? merged(o.states[at], e.states[k]) : e.states[k];
            seen[at] = true;
        }
        o.devices.push_back(e);
    }
    o.device = o.devices.empty() ? 1 : o.devices.front().device;
    last_states_ = o.states;
    QPointer<CueShow> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, o] {
            if (!self) return;
            self->busy_ = false;
            self->runs_.clear();
            // A cue that failed part-way stays current, marked; the next GO goes on after it.
            if (!o.ok() && self->list_.current() == o.index) {
                self->list_.mark_failed(o.message);
                emit self->position_changed();
            }
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
