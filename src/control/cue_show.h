// The show's cue list, shared by everyone who fires it: the program's キューリスト window,
// the HTTP, OSC and WebSocket routes, RossTalk from a vision mixer, and the tool. It holds
// the loaded list and its position (current, next) and runs one cue at a time on the run
// engine of the link, quietly: whoever fired the cue gets its end, and shows its message.
//
// GO while a cue runs is refused, never queued: a vision mixer's repeated GO must not fire
// cues later, out of the operator's sight.
//
// A GO names the devices it is for (by default the link's target). The cue runs on each of
// them, and on the devices its steps' device column names, each device on its own channel
// at its own pace with a run driver of its own; the cue has ended when every device's run
// has. A GO when one of those devices is down, being connected again or absent is refused
// with nothing sent and the list not moved, so that the same cue fires on the next GO.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/control_parse.h"
#include "core/cue_steps.h"
#include "core/cues.h"
#include "link/channel.h"
#include "link/run_driver.h"

namespace tqv {

// How one cue ended: on the whole (its steps and their states over every device, the first
// failing device's end, the failing devices' messages), and on each device.
struct CueOutcome {
    std::size_t index = 0;  // its place in the list when it fired
    std::string name;
    RunEnd end = RunEnd::none;
    std::string message;  // the run's one message (empty when completed)
    std::vector<std::string> steps;  // step_text of each step
    std::vector<StepState> states;
    int device = 1;  // one device's outcome: which one
    // One per device the cue ran on, in the order named (the GO's first); their steps are
    // the part of the cue each device took.
    std::vector<CueOutcome> devices = {};
    bool ok() const { return end == RunEnd::completed; }
};

// A device a cue can be sent to, as the devices of a GO or a step's column are looked up.
struct CueDevice {
    int device = 1;              // the number requests name it by
    Channel* channel = nullptr;  // none when absent
    std::string down;            // why it cannot take a cue now; empty when it can
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

    // The devices a choice names (for a GO, or a step's column as all or numbers). By
    // default the channel given is device 1, the target; another number is absent.
    std::function<std::vector<CueDevice>(const DeviceChoice&)> resolve;

    // Fires the next cue on the devices of `devices` and moves on; `done` gets its end (not
    // called unless started).
    Go go(Done done = {}) { return go(DeviceChoice{}, std::move(done)); }
    Go go(const DeviceChoice& devices, Done done = {});
    // Fires cue `index` (GPI n, the tool's --go N); out of range: no_next, list unchanged.
    Go fire(std::size_t index, Done done = {}) { return fire(index, DeviceChoice{}, std::move(done)); }
    Go fire(std::size_t index, const DeviceChoice& devices, Done done = {});
    // Why the last GO was refused, the devices named ("device 2: the device is not
    // connected"); go_text() of its Go otherwise.
    const std::string& refusal() const { return refusal_; }
    bool back();
    bool select_next(std::size_t index);
    // The operator's 中止.
    void stop();
    // Counts `count` GOs that were refused, for the event that tells panels about them.
    void refused(const QString& source, Go why, int count = 1);

    bool running() const { return busy_; }
    // The cue under way or the last one fired, and its steps' states.
    std::optional<std::size_t> shown_index() const { return shown_; }
    // Over every device the cue runs on: a step shows the least advanced of its devices,
    // a failure on any of them first.
    std::vector<StepState> step_states() const;
    // While the cue under way waits in a `wait` step: the time until the wait is over.
    std::optional<int> wait_left_ms() const;
    // The driver on the channel given (the link's); a cue on other devices has one each.
    RunDriver& driver() { return driver_; }

    static const char* go_text(Go go);  // "a cue is running", …

    // A step's frame answered on the channel of another device than the link's own (device
    // number, its channel, the frame as sent): what it set is that device's now. The link's
    // own exchanges are heard on the link.
    Observers<int, Channel&, std::string_view> answered_elsewhere;

  signals:
    void list_changed();      // loaded or edited
    void position_changed();  // current or next moved
    // The cue's run has begun (its steps read as not yet sent): told after the run exists,
    // so that step_states() is this run's.
    void cue_started(int index, int total);
    // The furthest step of the cue any of its devices has sent (from 1).
    void cue_stepped(int index, int step);
    // A step of the cue under way was answered (its state changed without a step going out).
    void cue_answered(int index, int answered);
    void cue_ended(const tqv::CueOutcome& outcome);
    void go_refused(const QString& source, const QString& why, int count);

  private:
    struct DeviceRun;
    Go start(std::size_t index, const DeviceChoice& devices, Done done);
    std::vector<CueDevice> devices_of(const DeviceChoice& choice) const;
    void watch(RunDriver& driver);
    void ended(RunDriver& driver, RunEnd why, const QString& text);
    void finish();

    Channel& channel_;
    CueList list_;
    RunDriver driver_;
    bool busy_ = false;  // from the start until the end has been told
    std::optional<std::size_t> shown_;
    std::vector<Done> waiting_;  // for the cue under way
    std::vector<StepState> last_states_;
    int refusals_ = 0;
    std::vector<std::unique_ptr<DeviceRun>> runs_;  // of the cue under way, the first shown
    int furthest_step_ = 0;                         // told by cue_stepped
    std::string refusal_;
};

}  // namespace tqv

Q_DECLARE_METATYPE(tqv::CueOutcome)
