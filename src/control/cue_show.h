// The show's cue list, shared by everyone who fires it: the program's キューリスト window,
// the HTTP, OSC and WebSocket routes, RossTalk from a vision mixer, and the tool. It holds
// the loaded list and its position (current, next) and runs one cue at a time on the run
// engine of the link, quietly: whoever fired the cue gets its end, and shows its message.
//
// GO while a cue runs is refused, never queued: a vision mixer's repeated GO must not fire
// cues later, out of the operator's sight.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/cue_steps.h"
#include "core/cues.h"
#include "link/channel.h"
#include "link/run_driver.h"

namespace tqv {

// How one cue ended.
struct CueOutcome {
    std::size_t index = 0;  // its place in the list when it fired
    std::string name;
    RunEnd end = RunEnd::none;
    std::string message;  // the run's one message (empty when completed)
    std::vector<std::string> steps;  // step_text of each step
    std::vector<StepState> states;
    bool ok() const { return end == RunEnd::completed; }
};

class CueShow : public QObject {
    Q_OBJECT
  public:
    enum class Go { started, cue_running, no_next, link_busy, link_down };
    using Done = std::function<void(const CueOutcome&)>;

    explicit CueShow(Channel& channel, QObject* parent = nullptr);
    ~CueShow() override;

    const CueList& list() const { return list_; }
    // The channel the cues run on: its model is what is on air now.
    Channel& channel() const { return channel_; }
    // Replaces the list (current none, next the first cue); false while a cue runs.
    bool load(std::vector<Cue> cues);
    // A cue file's bytes; false with `why` (the row and column of the first bad row, or a
    // cue running) and the list unchanged.
    bool load_csv(std::string_view csv, std::string* why);
    // An edit of the window's, applied to the list; refused while a cue runs.
    bool edit(const std::function<bool(CueList&)>& change);

    // Fires the next cue and moves on; `done` gets its end (not called unless started).
    Go go(Done done = {});
    // Fires cue `index` (GPI n, the tool's --go N); out of range: no_next, list unchanged.
    Go fire(std::size_t index, Done done = {});
    bool back();
    bool select_next(std::size_t index);
    // The operator's 中止.
    void stop();
    // Counts `count` GOs that were refused, for the event that tells panels about them.
    void refused(const QString& source, Go why, int count = 1);

    bool running() const { return busy_; }
    // The cue under way or the last one fired, and its steps' states.
    std::optional<std::size_t> shown_index() const { return shown_; }
    std::vector<StepState> step_states() const;
    // While the cue under way waits in a `wait` step: the time until the wait is over.
    std::optional<int> wait_left_ms() const;
    RunDriver& driver() { return driver_; }

    static const char* go_text(Go go);  // "a cue is running", …

  signals:
    void list_changed();      // loaded or edited
    void position_changed();  // current or next moved
    // The cue's run has begun (its steps read as not yet sent): told after the run exists,
    // so that step_states() is this run's.
    void cue_started(int index, int total);
    void cue_stepped(int index, int step);
    // A step of the cue under way was answered (its state changed without a step going out).
    void cue_answered(int index, int answered);
    void cue_ended(const tqv::CueOutcome& outcome);
    void go_refused(const QString& source, const QString& why, int count);

  private:
    Go start(std::size_t index, Done done);
    void ended(RunEnd why, const QString& text);

    Channel& channel_;
    CueList list_;
    RunDriver driver_;
    bool busy_ = false;  // from the start until the end has been told
    std::optional<std::size_t> shown_;
    const Run* run_ = nullptr;  // the run of the cue under way (the driver keeps older ones)
    std::vector<Done> waiting_;  // for the cue under way
    std::vector<StepState> last_states_;
    int refusals_ = 0;
};

}  // namespace tqv

Q_DECLARE_METATYPE(tqv::CueOutcome)
