// One run on many devices at once: a part per device, each on its own channel at its own
// device's pace, with the step, total and outcome of each, and one end when the last has
// ended. A device that goes away ends its own part only. The program's push to every
// device and the command-line tool's parallel runs both run here; what they show of it
// stays theirs.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/run.h"
#include "link/fleet.h"

namespace tqv {

class RunDriver;

// One device's part of a fleet run. It reports its steps and its end through the calls
// below; the fleet run owns it and deletes it when the run is started anew, when its
// device's channel goes, or with the run.
class FleetPart {
  public:
    virtual ~FleetPart() = default;
    // Begins; a part that cannot begin reports its end from here.
    virtual void start() = 0;
    // The operator's "中止".
    virtual void stop() {}
    // The time it needs yet; nullopt when it cannot tell.
    virtual std::optional<int> remaining_ms() const { return std::nullopt; }

  protected:
    void report_step(int step, int total);
    // `step`, when given, is the step the end names (so a row and its text agree).
    void report_end(bool ok, const QString& text, std::optional<int> step = std::nullopt);

  private:
    friend class FleetRun;
    std::function<void(int, int)> on_step_;
    std::function<void(bool, const QString&, std::optional<int>)> on_end_;
};

// A part that drives a run of the core's steps on one channel (RunDriver), quietly: how it
// ended is its text, on one line, and never a box.
class DriverPart : public FleetPart {
  public:
    DriverPart(Channel& channel, std::unique_ptr<RunSteps> steps, bool answer_paced);
    ~DriverPart() override;
    void start() override;
    void stop() override;
    std::optional<int> remaining_ms() const override;

  private:
    Channel& channel_;
    std::unique_ptr<RunSteps> steps_;
    bool answer_paced_;
    std::unique_ptr<RunDriver> driver_;
};

class FleetRun : public QObject {
    Q_OBJECT
  public:
    struct Member {
        int number = 0;
        int entry = 0;
        QString address;
        int step = 0;
        int total = 0;
        QString outcome;  // the running text, then the completed text or how it ended
        bool done = false;
        bool ok = false;
    };
    // Makes device `member`'s part on `channel`; null when it cannot run there (the member
    // fails as not connected).
    using Factory =
        std::function<std::unique_ptr<FleetPart>(const Member& member, Channel& channel)>;
    // What a member's outcome says while it runs and once it has completed.
    struct Texts {
        QString running;
        QString completed;
    };

    explicit FleetRun(Fleet& fleet, Texts texts = {}, QObject* parent = nullptr);
    ~FleetRun() override;

    // The devices of the next start: the members anew (reset).
    void set_devices(const std::vector<FleetDevice>& devices);
    // A part on every member; a member whose device has no channel now fails at once.
    // False when there is no member or a run is under way.
    bool start(const Factory& factory);
    void stop();
    bool running() const { return running_; }
    const std::vector<Member>& members() const { return members_; }
    // Over all members: steps out, steps in all, and the time until the slowest is done.
    int steps_out() const;
    int steps_total() const;
    std::optional<int> remaining_ms() const;

  signals:
    void reset();
    // Member `index` stepped or ended.
    void changed(int index);
    void member_ended(int index);
    void finished(int completed, int failed);

  private:
    struct Slot;
    void ended(std::size_t index, bool ok, const QString& text, std::optional<int> step);
    void device_gone(int entry);

    Fleet& fleet_;
    Texts texts_;
    std::vector<Member> members_;
    std::vector<Slot> slots_;
    bool running_ = false;
};

}  // namespace tqv
