#include "link/run_driver.h"

#include <algorithm>

#include "core/send_path.h"

namespace tqv {

RunDriver::RunDriver(Channel& channel, QObject* parent) : QObject(parent), channel_(channel) {
    pace_.setSingleShot(true);
    pace_.setTimerType(Qt::PreciseTimer);
    connect(&pace_, &QTimer::timeout, this, &RunDriver::pace_elapsed);
    // Never inside the dispatcher's or the send path's own call: a step sends, and may
    // open a box.
    settle_.setSingleShot(true);
    settle_.setInterval(0);
    connect(&settle_, &QTimer::timeout, this, &RunDriver::try_step);
    settled_ = Subscription(channel_.send_path().settled, [this] {
        if (run_ != nullptr && run_->answered() != told_answered_) {
            told_answered_ = run_->answered();
            emit answered(told_answered_, run_->total());
        }
        settle_later();
    });
}

RunDriver::~RunDriver() {
    // The run leaves nothing behind (run.h); nobody is told any more.
    if (run_ != nullptr) run_->ended_observers = {};
}

bool RunDriver::start(std::unique_ptr<RunSteps> steps) {
    const bool paced = answer_paced(channel_.model(), steps->addressing());
    return start(std::move(steps), paced);
}

bool RunDriver::start(std::unique_ptr<RunSteps> steps, bool answer_paced, bool quiet) {
    if (running()) return false;
    auto run = std::make_unique<Run>(channel_.send_path(), *steps);
    Run* r = run.get();
    run->ended_observers.add([this, r](RunEnd why) {
        pace_.stop();
        settle_.stop();
        due_ = false;
        channel_.run_news({RunNews::Kind::ended, r->step(), r->total(), why});
        emit ended(why, QString::fromStdString(r->closing_text()));
    });
    // The run (and its steps) of the last start stay until this one begins: a start that
    // is refused keeps what the last run left (a comparison's device values).
    Run* previous = run_.get();
    if (previous != nullptr) previous->ended_observers = {};
    auto old_run = std::move(run_);
    auto old_steps = std::move(steps_);
    run_ = std::move(run);
    steps_ = std::move(steps);
    if (!run_->start(answer_paced, quiet)) {
        run_ = std::move(old_run);
        steps_ = std::move(old_steps);
        return false;
    }
    clock_.start();
    due_ = false;
    told_answered_ = 0;
    // A run with nothing to send has ended inside start() and said so already.
    if (run_->running()) channel_.run_news({RunNews::Kind::started, 0, run_->total(), RunEnd::none});
    emit started(run_->total());
    if (!run_->running()) return true;  // nothing to send: ended at once
    schedule_next();
    return true;
}

void RunDriver::stop() {
    if (running()) run_->stop();
}

std::optional<int> RunDriver::remaining_ms() const {
    if (!running()) return std::nullopt;
    return run_->remaining_ms(clock_.elapsed());
}

std::optional<int> RunDriver::pace_left_ms() const {
    if (!running() || !pace_.isActive()) return std::nullopt;
    return pace_.remainingTime();
}

void RunDriver::pace_elapsed() {
    if (!running()) return;
    // The pace has run out, also when a test says so before the timer has fired.
    pace_.stop();
    due_ = true;
    try_step();
}

void RunDriver::settle_later() {
    if (running() && (due_ || run_->answer_paced())) settle_.start();
}

void RunDriver::schedule_next() {
    const int hold = run_->next_hold_ms();
    if (!run_->answer_paced()) {
        pace_.start(std::max(run_->next_period_ms(), hold));
    } else if (hold > 0) {
        pace_.start(hold);
    } else {
        // An idle step waits for nothing; a sent one for its answer (already in, maybe).
        settle_.start();
    }
}

void RunDriver::try_step() {
    // The pace (or a hold) has not run out yet.
    if (!running() || pace_.isActive()) return;
    if (!due_ && !run_->answer_paced()) return;
    const Run::Tick t = run_->tick();
    if (!t.stepped) return;  // the device has not answered yet: settled() comes back here
    due_ = false;
    // A run that completed within this step (its last answer came at once) has already
    // shown its end: the step's progress must not be drawn over it.
    if (run_->end() != RunEnd::completed) {
        channel_.run_news({RunNews::Kind::stepped, run_->step(), run_->total(), RunEnd::none});
        emit stepped(run_->step(), run_->total(), t.percent.value_or(-1));
    }
    if (!running() || run_->all_out()) return;  // the end comes with the last answer
    schedule_next();
}

}  // namespace tqv
