// One COMMAND against one device, driven by the event loop: a single command and its
// answer, or a paced bulk transfer whose steps come from the core (BulkTransfer, GlyphBulk).
//
// Pacing is the run driver's, as in the dialogs: their timer periods, or with --fast each
// step once the answer to the one before is in. A broadcast on the serial line gets no
// answer to wait for, so it keeps the dialogs' pace.
//
// The run stops at the first failure the system reports (error answer, time-out, refusal,
// failed send): the tool's result is then status 1 and nothing after it would change that.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "cli/cli_ui.h"
#include "cli/console.h"
#include "cli/options.h"
#include "core/bulk.h"
#include "link/channel.h"
#include "link/run_driver.h"

namespace tqv {
class CueShow;
}

namespace tqv::cli {

class CommandRun : public QObject {
    Q_OBJECT
  public:
    // `output_file`: where pull and glyphs pull save their result.
    CommandRun(const Options& options, Channel& link, CliUi& ui, Console& console,
               std::string output_file, QObject* parent = nullptr);
    ~CommandRun() override;

    void start();
    // The device this run is for, as a cue file's device column names it (default 1).
    void set_device_number(int number) { device_number_ = number; }
    // Something happened on the link (answer applied, box shown, bytes written): waits are
    // looked at again on the next pass of the event loop, never inside the core's call.
    void link_event();

  signals:
    void done(bool ok);

  private:
    void start_bulk(BulkKind kind, std::vector<SettingDifference> changes = {});
    // diff and push --changed-only, once the device has been read: prints the differences,
    // or sends them.
    void compared();
    void start_glyphs(bool registering);
    void start_run(std::unique_ptr<RunSteps> steps);
    // cue FILE --go N: the cue on the shared cue list's run, one line per step at its end.
    void start_cue();
    void send_single();
    void run_ended(bool completed);
    void show_progress(double fraction, const std::string& label);

    // Runs `then` once no command is waiting for its answer and no byte waits to be written.
    void await_idle(std::function<void()> then);
    bool exchange_idle() const;
    void evaluate();
    bool failed() const;
    void halt();
    void fail(const std::string& message);
    void complete();
    void end(bool ok);

    const Options& options_;
    Channel& link_;
    CliUi& ui_;
    Console& console_;
    std::string output_file_;
    bool fast_ = false;
    int device_number_ = 1;

    std::unique_ptr<RunDriver> driver_;
    std::unique_ptr<CueShow> cues_;
    QTimer guard_;  // bounds every wait for the link to settle
    std::function<void()> then_;
    int failures_at_start_ = 0;
    bool own_failure_ = false;
    bool halted_ = false;
    bool ended_ = false;
    bool evaluate_queued_ = false;
    bool comparing_ = false;  // the read of diff or push --changed-only is under way
};

}  // namespace tqv::cli
