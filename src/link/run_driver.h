// Drives one run on one channel: the pace (a single-shot timer at the step tables' periods,
// or each step once the answer to the one before is in), the wait for the device the run
// asks for, the time left, the operator's stop, and signals for whoever shows it. Every
// front end (the dialogs, the glyph list, the push to every device, the command-line tool,
// show control) runs its runs here; none keeps a pace of its own.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

#include "core/observers.h"
#include "core/run.h"
#include "link/channel.h"

namespace tqv {

class RunDriver : public QObject {
    Q_OBJECT
  public:
    explicit RunDriver(Channel& channel, QObject* parent = nullptr);
    ~RunDriver() override;

    Channel& channel() { return channel_; }
    // Starts `steps` on the channel, paced by the answers when "高速転送" is on and someone
    // answers (answer_paced()). False when it cannot start (the run says why).
    bool start(std::unique_ptr<RunSteps> steps);
    bool start(std::unique_ptr<RunSteps> steps, bool answer_paced, bool quiet = false);
    // The operator's "中止".
    void stop();

    // From the start until the run has ended, including the wait for its last answers.
    bool running() const { return run_ != nullptr && run_->running(); }
    // The run of the last start, and its steps (nullptr before the first).
    const Run* run() const { return run_.get(); }
    RunSteps* steps() const { return steps_.get(); }
    // The time left, from the pace or from the answers so far.
    std::optional<int> remaining_ms() const;
    // The time until the next step may go, while the pace or a step's hold (a cue's wait)
    // holds it back; nullopt when nothing is counting down.
    std::optional<int> pace_left_ms() const;

    // The fixed pace's timer has fired; tests call it directly instead of waiting.
    void pace_elapsed();
    const QTimer& pace_timer() const { return pace_; }

  signals:
    void started(int total);
    // Step `step` of `total` is out; `percent` is -1 where the run shows none.
    void stepped(int step, int total, int percent);
    // The device has answered `answered` of the run's steps so far (told as each answer
    // is handled, not only when the next step goes out).
    void answered(int answered, int total);
    // The run has ended (before its message is shown), with its warning text if it ended
    // early (empty for a completed run).
    void ended(tqv::RunEnd why, const QString& closing_text);

  private:
    void try_step();
    void schedule_next();
    void settle_later();

    Channel& channel_;
    std::unique_ptr<RunSteps> steps_;
    std::unique_ptr<Run> run_;
    QTimer pace_;    // single shot: the fixed pace
    QTimer settle_;  // single shot, 0 ms: looks again once the device has answered
    bool due_ = false;
    int told_answered_ = 0;
    Subscription settled_;
    QElapsedTimer clock_;
};

}  // namespace tqv

Q_DECLARE_METATYPE(tqv::RunEnd)
